// The listing reader on the Windows C runtime (under Wine in the build),
// whose text mode would end a file at a 0x1A byte and take CR LF apart.
#include <cstdio>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "listing/listing.h"

TEST(ReadLines, KeepsEveryByteOfTheListingFileOnWindows) {
  // A 0x1A in a description (an end-of-file mark to a text-mode read), a
  // lone CR, CR LF and LF line ends, and a last line with no line end.
  const std::string bytes =
      "USB\\VID_3F7C&PID_0A01\\1: Kovex \x1A Pad\r\n"
      "SWD\\MMDEVAPI\\{a}: Speakers\r(Kovex)\r\n"
      "plain\n"
      "last\r";
  std::FILE* file = std::fopen("listing-win32-test.txt", "wb");
  ASSERT_NE(nullptr, file);
  std::fwrite(bytes.data(), 1, bytes.size(), file);
  std::fclose(file);

  std::vector<std::wstring> lines;
  ReadLines("listing-win32-test.txt", ListingEncoding::kBytes,
            [&lines](const std::wstring& line) { lines.push_back(line); });
  std::remove("listing-win32-test.txt");

  EXPECT_EQ((std::vector<std::wstring>{L"USB\\VID_3F7C&PID_0A01\\1: Kovex \x1A Pad",
                                       L"SWD\\MMDEVAPI\\{a}: Speakers\r(Kovex)",
                                       L"plain", L"last\r"}),
            lines);
}
