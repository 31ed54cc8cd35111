#ifndef KOVEX_LISTING_LISTING_H_
#define KOVEX_LISTING_LISTING_H_

#include <cstddef>
#include <functional>
#include <string>
#include <utility>

// A device console listing reaches the cleanup through a text file in the
// working directory (see capture_listing.h), and the check through a pipe;
// both read it with the line operations here.

// Cuts a stream of listing bytes into lines as ReadLines delivers them,
// whatever the size of the pieces it is fed: for the tool reading a file,
// and for the check reading a pipe.
class LineSplitter {
 public:
  using Body = std::function<void(const std::wstring& line)>;
  explicit LineSplitter(Body body) : body_(std::move(body)) {}

  void Feed(const char* bytes, std::size_t size);
  // Delivers a last line that had no line feed, if any.
  void Finish();

 private:
  void Deliver(bool had_line_feed);

  Body body_;
  std::string pending_;  // bytes of the line being read
  std::wstring line_;
};

// Delivers the lines of `file_name` to `body` one at a time, in file order,
// without their line ends. A carriage return right before a line feed is part
// of the line end. Each byte becomes the wide character of the same value,
// whatever the C runtime's locale. An empty line comes as an empty string; a
// last line without a line feed is still delivered. A file that cannot be
// opened delivers nothing, silently; a read error ends the lines there.
// Memory stays bounded by the longest line, whatever the file's size.
void ReadLines(const char* file_name,
               const std::function<void(const std::wstring& line)>& body);

// True when `text` occurs anywhere in `line`; exact, case-sensitive.
bool Contains(const std::wstring& line, const wchar_t* text);

// Splits a device listing line at its first colon into the instance ID before
// it and the description after it, neither trimmed (so the description
// usually starts with a blank). Returns false, leaving both untouched, for a
// line with no colon: that is no device line.
bool SplitDeviceLine(const std::wstring& line, std::wstring* instance_id,
                     std::wstring* description);

// The part of a device listing line that speaks of the instance it begins
// with: the whole line, unless a backslash follows its first colon. The
// device console tool cuts a line at the first character it cannot write
// as one byte and glues the next line onto it, and that next line begins
// with an instance ID, which always holds a backslash; a description
// practically never does. The part then ends right before that backslash,
// so it may keep the glued ID's first segment (its enumerator, "SWD"), which
// names no maker.
std::wstring OwnPartOfDeviceLine(const std::wstring& line);

#endif  // KOVEX_LISTING_LISTING_H_
