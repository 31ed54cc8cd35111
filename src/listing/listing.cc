#include "listing/listing.h"

#include <cstdio>
#include <cstring>

void LineSplitter::Feed(const char* bytes, std::size_t size) {
  const char* start = bytes;
  const char* const end = bytes + size;
  while (start < end) {
    const void* found =
        std::memchr(start, '\n', static_cast<std::size_t>(end - start));
    if (found == nullptr) {
      pending_.append(start, end);
      return;
    }
    const char* feed = static_cast<const char*>(found);
    pending_.append(start, feed);
    Deliver(true);
    start = feed + 1;
  }
}

void LineSplitter::Finish() {
  if (!pending_.empty()) Deliver(false);
}

// Each byte becomes the wide character of the same value.
void LineSplitter::Deliver(bool had_line_feed) {
  if (had_line_feed && !pending_.empty() && pending_.back() == '\r') {
    pending_.pop_back();
  }
  line_.resize(pending_.size());
  for (std::size_t i = 0; i < pending_.size(); ++i) {
    line_[i] = static_cast<wchar_t>(static_cast<unsigned char>(pending_[i]));
  }
  pending_.clear();
  body_(line_);
}

void ReadLines(const char* file_name,
               const std::function<void(const std::wstring& line)>& body) {
  std::FILE* file = std::fopen(file_name, "rb");
  if (file == nullptr) return;

  LineSplitter lines(body);
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
