// The check's JSON text at the edges of UTF-8: what a fleet's collector
// reads for listing bytes and for the system's names.
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "check/report.h"
#include "gtest/gtest.h"
#include "output/utf8.h"

namespace {

std::wstring Bytes(const std::string& bytes) {
  std::wstring text;
  for (char c : bytes) text.push_back(static_cast<wchar_t>(static_cast<unsigned char>(c)));
  return text;
}

std::wstring Units(std::initializer_list<unsigned> units) {
  std::wstring text;
  for (unsigned unit : units) text.push_back(static_cast<wchar_t>(unit));
  return text;
}

}  // namespace

TEST(ListingTextToUtf8, SequencesAtTheEdgesOfValidUtf8) {
  // The first and last character of each length, either side of the
  // surrogates, and a character ending the text: taken as UTF-8.
  for (const char* valid :
       {"\xC2\x80", "\xDF\xBF", "\xE0\xA0\x80", "\xED\x9F\xBF", "\xEE\x80\x80",
        "\xEF\xBF\xBF", "\xF0\x90\x80\x80", "\xF4\x8F\xBF\xBF", "Kopfh\xC3\xB6"}) {
    EXPECT_EQ(valid, ListingTextToUtf8(Bytes(valid))) << valid;
  }

  // Just outside: overlong three- and four-byte forms, beyond U+10FFFF, a
  // lead byte that UTF-8 never uses, an ASCII byte where the second or the
  // last continuation byte belongs, and the byte FF. Each byte is then its
  // Latin-1 character, so the text stays readable and the JSON valid.
  const std::vector<std::pair<std::string, std::string>> invalid = {
      {"\xE0\x9F\xBF", "\xC3\xA0\xC2\x9F\xC2\xBF"},
      {"\xF0\x8F\xBF\xBF", "\xC3\xB0\xC2\x8F\xC2\xBF\xC2\xBF"},
      {"\xF4\x90\x80\x80", "\xC3\xB4\xC2\x90\xC2\x80\xC2\x80"},
      {"\xF5\x80\x80\x80", "\xC3\xB5\xC2\x80\xC2\x80\xC2\x80"},
      {"\xE2\x82" "A", "\xC3\xA2\xC2\x82" "A"},
      {"\xF0\x9F\x98" "A", "\xC3\xB0\xC2\x9F\xC2\x98" "A"},
      {"Pad \xFF", "Pad \xC3\xBF"},
  };
  for (const auto& [bytes, utf8] : invalid) {
    EXPECT_EQ(utf8, ListingTextToUtf8(Bytes(bytes))) << bytes;
  }
}

TEST(WideToUtf8, CharactersAtTheEdgesOfEachLength) {
  EXPECT_EQ("\x7F", WideToUtf8(Units({0x7F})));
  EXPECT_EQ("\xDF\xBF", WideToUtf8(Units({0x7FF})));
  EXPECT_EQ("\xE0\xA0\x80", WideToUtf8(Units({0x800})));
  EXPECT_EQ("\xEF\xBF\xBF", WideToUtf8(Units({0xFFFF})));
  // U+10000 and U+10FFFF, as UTF-16 pairs in a file or key name.
  EXPECT_EQ("\xF0\x90\x80\x80", WideToUtf8(Units({0xD800, 0xDC00})));
  EXPECT_EQ("\xF4\x8F\xBF\xBF", WideToUtf8(Units({0xDBFF, 0xDFFF})));
  // A high surrogate with no low one after it, at the end or not.
  EXPECT_EQ("\xEF\xBF\xBD", WideToUtf8(Units({0xD800})));
  EXPECT_EQ("\xEF\xBF\xBD" "x", WideToUtf8(Units({0xDBFF, 'x'})));
}

// A path's UTF-8 as the UTF-16 units Windows opens it by.
TEST(Utf8ToWide, UnitsOfEachLengthBadBytesAsReplacement) {
  const std::pair<std::string, std::wstring> cases[] = {
      {"\x7F", Units({0x7F})},
      {"\xDF\xBF", Units({0x7FF})},
      {"\xE0\xA0\x80", Units({0x800})},
      {"\xEF\xBF\xBF", Units({0xFFFF})},
      {"\xF0\x90\x80\x80", Units({0xD800, 0xDC00})},
      {"\xF4\x8F\xBF\xBF", Units({0xDBFF, 0xDFFF})},
      // An overlong form and a stray continuation byte: one U+FFFD a byte.
      {"a\xC0\x80z", Units({'a', 0xFFFD, 0xFFFD, 'z'})},
  };
  for (const auto& [utf8, units] : cases) {
    EXPECT_EQ(units, Utf8ToWide(utf8)) << utf8;
    if (units.find(static_cast<wchar_t>(0xFFFD)) == std::wstring::npos) {
      EXPECT_EQ(utf8, WideToUtf8(Utf8ToWide(utf8))) << utf8;
    }
  }
}
