#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "listing/listing.h"
#include "tests/unit/fakes.h"

namespace {

class ReadLinesTest : public FakeSystemTest {
 protected:
  static std::vector<std::wstring> Read(const char* name) {
    std::vector<std::wstring> lines;
    ReadLines(name, [&lines](const std::wstring& line) {
      lines.push_back(line);
    });
    return lines;
  }
};

using Lines = std::vector<std::wstring>;

}  // namespace

TEST_F(ReadLinesTest, CrLfAndLfEndLinesAlike) {
  WriteFile("l.txt", "one\r\ntwo\nthree\r\n");
  EXPECT_EQ((Lines{L"one", L"two", L"three"}), Read("l.txt"));
}

TEST_F(ReadLinesTest, LastLineWithoutLineFeedAndEmptyLines) {
  WriteFile("l.txt", "\n\r\nmiddle\n\nlast");
  EXPECT_EQ((Lines{L"", L"", L"middle", L"", L"last"}), Read("l.txt"));
}

TEST_F(ReadLinesTest, CarriageReturnNotBeforeLineFeedStays) {
  WriteFile("l.txt", "a\rb\r\nend\r");
  EXPECT_EQ((Lines{L"a\rb", L"end\r"}), Read("l.txt"));
}

TEST_F(ReadLinesTest, HighBytesAndNulWidenToTheSameValue) {
  WriteFile("l.txt", std::string("\x80\xe9\xff", 3) + std::string("x\0y", 3));
  const Lines lines = Read("l.txt");
  ASSERT_EQ(1u, lines.size());
  EXPECT_EQ(std::wstring(L"\u0080\u00e9\u00ffx\0y", 6), lines[0]);
}

TEST_F(ReadLinesTest, MissingFileDeliversNothing) {
  EXPECT_TRUE(Read("absent.txt").empty());
}

TEST_F(ReadLinesTest, LinesLongerThanTheReadBufferAndSplitCrLf) {
  // A megabyte line, then a CR LF pair split across two reads.
  std::string big(1 << 20, 'k');
  std::string tail(64 * 1024 - 1, 'z');
  WriteFile("l.txt", big + "\n" + tail + "\r\n" + "after");
  const Lines lines = Read("l.txt");
  ASSERT_EQ(3u, lines.size());
  EXPECT_EQ(std::wstring(big.size(), L'k'), lines[0]);
  EXPECT_EQ(std::wstring(tail.size(), L'z'), lines[1]);
  EXPECT_EQ(L"after", lines[2]);
}

TEST(Contains, CaseSensitiveAnywhere) {
  EXPECT_TRUE(Contains(L"    Provider: Kovex Inc", L"Kovex Inc"));
  EXPECT_TRUE(Contains(L"QZV", L"QZV"));
  EXPECT_FALSE(Contains(L"kovex inc", L"Kovex Inc"));
  EXPECT_FALSE(Contains(L"Kovex In", L"Kovex Inc"));
  EXPECT_FALSE(Contains(L"", L"QZV"));
}

TEST(SplitDeviceLine, DescriptionKeepsItsLeadingBlank) {
  std::wstring id, description;
  ASSERT_TRUE(SplitDeviceLine(L"USB\\VID_3F7C&PID_0A01\\1   : Kovex Headset",
                              &id, &description));
  EXPECT_EQ(L"USB\\VID_3F7C&PID_0A01\\1   ", id);
  EXPECT_EQ(L" Kovex Headset", description);
}

TEST(SplitDeviceLine, SecondColonStaysInDescription) {
  std::wstring id, description;
  ASSERT_TRUE(SplitDeviceLine(L"ID: Speakers (Kovex: Pro)", &id, &description));
  EXPECT_EQ(L"ID", id);
  EXPECT_EQ(L" Speakers (Kovex: Pro)", description);
}

TEST(SplitDeviceLine, NoColonIsNoDeviceLine) {
  std::wstring id = L"kept", description = L"kept";
  EXPECT_FALSE(SplitDeviceLine(L"2 matching device(s) found.", &id, &description));
  EXPECT_EQ(L"kept", id);
  EXPECT_EQ(L"kept", description);
}
