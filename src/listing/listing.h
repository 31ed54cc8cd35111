#ifndef KOVEX_LISTING_LISTING_H_
#define KOVEX_LISTING_LISTING_H_

#include <cstddef>
#include <functional>
#include <string>

// A device console listing reaches the cleanup through a text file in the
// working directory (see capture_listing.h), and the check through a pipe;
// both read it with the reader and the line operations here.

// How the device console tool wrote its output. With -u it writes UTF-16LE
// and every character arrives. Without it, one byte per character (the
// character of the same value, Latin-1); at the first character it cannot
// write so it drops the rest of that line and its line end, and the next
// line is glued onto what is left.
enum class ListingEncoding { kUtf16, kBytes };

// Cuts the tool's output into lines, whatever the size of the pieces it is
// fed, and delivers each one, without its line end, to `body`: a line ends
// at a line feed, and a carriage return right before it is part of the line
// end. UTF-16LE is taken as 16-bit code units (a surrogate pair stays two);
// an odd byte left at the end, half a character, becomes U+FFFD. A last
// line without a line feed is delivered unless it is empty. Memory stays
// bounded by the longest line.
class ListingReader {
 public:
  using Body = std::function<void(const std::wstring& line)>;
  ListingReader(ListingEncoding encoding, Body body);

  void Feed(const char* bytes, std::size_t size);
  // Delivers a last line that had no line feed, if any.
  void Finish();

 private:
  void FeedBytes(const char* bytes, std::size_t size);
  void AddUnit(unsigned char low, unsigned char high);
  void Deliver(bool had_line_feed);

  ListingEncoding encoding_;
  Body body_;
  std::wstring line_;  // the line being read
  bool has_low_byte_ = false;  // a UTF-16 unit's first byte, fed alone
  unsigned char low_byte_ = 0;
};

// Delivers the lines of `file_name`, written in `encoding`, to `body` one at
// a time, in file order, as ListingReader cuts them, whatever the C
// runtime's locale. A file that cannot be opened delivers nothing,
// silently; a read error ends the lines there.
void ReadLines(const char* file_name, ListingEncoding encoding,
               const std::function<void(const std::wstring& line)>& body);

// The tool's closing count line of a device listing: "N matching device(s)
// found." (`count` N) or "No matching devices found." (`count` 0).
bool ReadCountLine(const std::wstring& line, unsigned long* count);

// A decimal number of digits alone, nothing else, of at most nine digits.
bool ReadNumber(const std::wstring& text, unsigned long* number);

// True when `text` occurs anywhere in `line`; exact, case-sensitive.
bool Contains(const std::wstring& line, const wchar_t* text);

// Splits a device listing line at its first colon into the instance ID before
// it and the description after it, neither trimmed (so the description
// usually starts with a blank). Returns false, leaving both untouched, for a
// line with no colon: that is no device line.
bool SplitDeviceLine(const std::wstring& line, std::wstring* instance_id,
                     std::wstring* description);

// The part of a device listing line in bytes that speaks of the instance it
// begins with: the whole line, unless a backslash follows its first colon.
// Where the tool cut a line and glued the next one onto it, that next line
// begins with an instance ID, which always holds a backslash; a description
// practically never does. The part then ends right before that backslash,
// so it may keep the glued ID's first segment (its enumerator, "SWD"), which
// names no maker.
std::wstring OwnPartOfDeviceLine(const std::wstring& line);

#endif  // KOVEX_LISTING_LISTING_H_
