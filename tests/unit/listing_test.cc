#include <algorithm>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "listing/listing.h"
#include "tests/unit/fakes.h"

namespace {

class ReadLinesTest : public FakeSystemTest {
 protected:
  static std::vector<std::wstring> Read(
      const char* name, ListingEncoding encoding = ListingEncoding::kBytes) {
    std::vector<std::wstring> lines;
    ReadLines(name, encoding, [&lines](const std::wstring& line) {
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

TEST_F(ReadLinesTest, Utf16LineLongerThanTheReadBufferAndOddLastByte) {
  // 40,000 units, 80,000 bytes: more than one read of 64 KiB.
  std::string wide;
  for (int i = 0; i < 40000; ++i) wide += std::string("k\0", 2);
  WriteFile("l.txt", wide + std::string("\r\0\n\0\x14\x04:\0\r\0\n\0x", 13));
  const Lines lines = Read("l.txt", ListingEncoding::kUtf16);
  ASSERT_EQ(3u, lines.size());
  EXPECT_EQ(std::wstring(40000, L'k'), lines[0]);
  EXPECT_EQ(std::wstring(L"\u0414:"), lines[1]);
  EXPECT_EQ(std::wstring(1, wchar_t(0xFFFD)), lines[2]);
}

TEST(ListingReader, EveryCharacterArrivesWhateverThePieces) {
  struct Case {
    ListingEncoding encoding;
    std::string bytes;
    Lines lines;
  };
  const wchar_t trademark = 0x2122;
  const Case cases[] = {
      {ListingEncoding::kUtf16,
       std::string("A\0:\0 \0\x22\x21\r\0\n\0B\0", 14),
       {std::wstring(L"A: ") + trademark, L"B"}},
      // A unit whose low byte is a line feed, U+0D0A, is no line end.
      {ListingEncoding::kUtf16, std::string("\x0A\x0D\n\0", 4),
       {std::wstring(1, wchar_t(0x0D0A))}},
      // A lone carriage return stays; a surrogate pair stays two units.
      {ListingEncoding::kUtf16, std::string("a\0\r\0b\0\x3D\xD8\x00\xDE", 10),
       {std::wstring{L'a', L'\r', L'b', wchar_t(0xD83D), wchar_t(0xDE00)}}},
      // Half a character at the end is no character.
      {ListingEncoding::kUtf16, std::string("A\0\r\0\n\0B", 7),
       {L"A", std::wstring(1, wchar_t(0xFFFD))}},
      {ListingEncoding::kUtf16, std::string("\r\0\n\0\r\0\n\0", 8), {L"", L""}},
      {ListingEncoding::kUtf16, std::string(), {}},
      {ListingEncoding::kBytes, "A\x99\r\nB\r\r\n", {L"A\x99", L"B\r"}},
  };
  for (const Case& c : cases) {
    for (std::size_t piece : {std::size_t{1}, std::size_t{3}, c.bytes.size() + 1}) {
      Lines lines;
      ListingReader reader(c.encoding, [&lines](const std::wstring& line) {
        lines.push_back(line);
      });
      for (std::size_t at = 0; at < c.bytes.size(); at += piece) {
        reader.Feed(c.bytes.data() + at, std::min(piece, c.bytes.size() - at));
      }
      reader.Finish();
      EXPECT_EQ(c.lines, lines) << c.bytes.size() << " bytes in pieces of " << piece;
    }
  }
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
