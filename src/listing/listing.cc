#include "listing/listing.h"

#include <cstdio>
#include <cstring>
#include <utility>

ListingReader::ListingReader(ListingEncoding encoding, Body body)
    : encoding_(encoding), body_(std::move(body)) {}

void ListingReader::Feed(const char* bytes, std::size_t size) {
  if (encoding_ == ListingEncoding::kBytes) {
    FeedBytes(bytes, size);
    return;
  }
  std::size_t at = 0;
  if (has_low_byte_ && size > 0) {
    has_low_byte_ = false;
    AddUnit(low_byte_, static_cast<unsigned char>(bytes[0]));
    at = 1;
  }
  for (; at + 1 < size; at += 2) {
    AddUnit(static_cast<unsigned char>(bytes[at]),
            static_cast<unsigned char>(bytes[at + 1]));
  }
  if (at < size) {
    low_byte_ = static_cast<unsigned char>(bytes[at]);
    has_low_byte_ = true;
  }
}

// Each byte becomes the wide character of the same value.
void ListingReader::FeedBytes(const char* bytes, std::size_t size) {
  const char* start = bytes;
  const char* const end = bytes + size;
  while (start < end) {
    const void* found =
        std::memchr(start, '\n', static_cast<std::size_t>(end - start));
    const char* stop = found != nullptr ? static_cast<const char*>(found) : end;
    for (const char* at = start; at < stop; ++at) {
      line_.push_back(static_cast<wchar_t>(static_cast<unsigned char>(*at)));
    }
    if (found == nullptr) return;
    Deliver(true);
    start = stop + 1;
  }
}

// A code unit, whatever the width of wchar_t: where it is 32 bits, a
// surrogate pair stays two units, as the system's own text would.
void ListingReader::AddUnit(unsigned char low, unsigned char high) {
  const auto unit = static_cast<wchar_t>(static_cast<unsigned int>(low) |
                                         (static_cast<unsigned int>(high) << 8));
  if (unit == L'\n') {
    Deliver(true);
  } else {
    line_.push_back(unit);
  }
}

void ListingReader::Finish() {
  if (has_low_byte_) {
    has_low_byte_ = false;
    line_.push_back(static_cast<wchar_t>(0xFFFD));
  }
  if (!line_.empty()) Deliver(false);
}

void ListingReader::Deliver(bool had_line_feed) {
  if (had_line_feed && !line_.empty() && line_.back() == L'\r') line_.pop_back();
  body_(line_);
  line_.clear();
}

void ReadLines(const char* file_name, ListingEncoding encoding,
               const std::function<void(const std::wstring& line)>& body) {
  std::FILE* file = std::fopen(file_name, "rb");
  if (file == nullptr) return;

  ListingReader lines(encoding, body);
  char buffer[64 * 1024];
  bool error = false;
  for (;;) {
    const std::size_t got = std::fread(buffer, 1, sizeof(buffer), file);
    if (got == 0) {
      error = std::ferror(file) != 0;
      break;
    }
    lines.Feed(buffer, got);
  }
  // A read error ends the lines where it struck: no partial last line.
  if (!error) lines.Finish();
  static_cast<void>(std::fclose(file));  // read only: nothing to lose
}

bool ReadNumber(const std::wstring& text, unsigned long* number) {
  if (text.empty() || text.size() > 9) return false;
  unsigned long value = 0;
  for (wchar_t c : text) {
    if (c < L'0' || c > L'9') return false;
    value = value * 10 + static_cast<unsigned long>(c - L'0');
  }
  *number = value;
  return true;
}

bool ReadCountLine(const std::wstring& line, unsigned long* count) {
  if (line == L"No matching devices found.") {
    *count = 0;
    return true;
  }
  const std::wstring suffix = L" matching device(s) found.";
  if (line.size() <= suffix.size() ||
      line.compare(line.size() - suffix.size(), suffix.size(), suffix) != 0) {
    return false;
  }
  return ReadNumber(line.substr(0, line.size() - suffix.size()), count);
}

bool Contains(const std::wstring& line, const wchar_t* text) {
  return line.find(text) != std::wstring::npos;
}

std::wstring OwnPartOfDeviceLine(const std::wstring& line) {
  const std::wstring::size_type colon = line.find(L':');
  if (colon == std::wstring::npos) return line;
  return line.substr(0, line.find(L'\\', colon));
}

bool SplitDeviceLine(const std::wstring& line, std::wstring* instance_id,
                     std::wstring* description) {
  const std::wstring::size_type colon = line.find(L':');
  if (colon == std::wstring::npos) return false;
  instance_id->assign(line, 0, colon);
  description->assign(line, colon + 1, std::wstring::npos);
  return true;
}
