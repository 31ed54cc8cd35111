#include "listing/listing.h"

#include <cstdio>
#include <cstring>

#include "exec/runner.h"
#include "exec/tools.h"

int CaptureListing(const wchar_t* parameters) {
  return RunProgram(kCommandInterpreter, parameters);
}

namespace {

void Widen(const std::string& bytes, std::wstring* line) {
  line->resize(bytes.size());
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    (*line)[i] = static_cast<wchar_t>(static_cast<unsigned char>(bytes[i]));
  }
}

void DeliverLine(std::string* bytes, bool had_line_feed, std::wstring* line,
                 const std::function<void(const std::wstring&)>& body) {
  if (had_line_feed && !bytes->empty() && bytes->back() == '\r') {
    bytes->pop_back();
  }
  Widen(*bytes, line);
  bytes->clear();
  body(*line);
}

}  // namespace

void ReadLines(const char* file_name,
               const std::function<void(const std::wstring& line)>& body) {
  std::FILE* file = std::fopen(file_name, "rb");
  if (file == nullptr) return;

  char buffer[64 * 1024];
  std::string pending;  // bytes of the line being read
  std::wstring line;
  bool error = false;
  for (;;) {
    const std::size_t got = std::fread(buffer, 1, sizeof(buffer), file);
    if (got == 0) {
      error = std::ferror(file) != 0;
      break;
    }
    const char* start = buffer;
    const char* end = buffer + got;
    while (start < end) {
      const void* found = std::memchr(start, '\n', static_cast<std::size_t>(end - start));
      if (found == nullptr) {
        pending.append(start, end);
        break;
      }
      const char* feed = static_cast<const char*>(found);
      pending.append(start, feed);
      DeliverLine(&pending, true, &line, body);
      start = feed + 1;
    }
  }
  if (!error && !pending.empty()) DeliverLine(&pending, false, &line, body);
  static_cast<void>(std::fclose(file));  // read only: nothing to lose
}

bool Contains(const std::wstring& line, const wchar_t* text) {
  return line.find(text) != std::wstring::npos;
}

bool SplitDeviceLine(const std::wstring& line, std::wstring* instance_id,
                     std::wstring* description) {
  const std::wstring::size_type colon = line.find(L':');
  if (colon == std::wstring::npos) return false;
  instance_id->assign(line, 0, colon);
  description->assign(line, colon + 1, std::wstring::npos);
  return true;
}
