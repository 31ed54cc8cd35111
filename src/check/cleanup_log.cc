#include "check/cleanup_log.h"

#include <filesystem>
#include <fstream>
#include <system_error>
#include <vector>

#include "exec/run_lines.h"
#include "output/output.h"

namespace {

// How much of a line a reason shows: the line stays one line of the
// engines' consoles.
constexpr std::size_t kShownChars = 300;

// What one read of the log takes.
constexpr std::size_t kReadBytes = std::size_t{64} * 1024;

bool StartsWith(const std::wstring& line, const char* prefix) {
  std::size_t at = 0;
  for (; prefix[at] != '\0'; ++at) {
    if (at >= line.size() ||
        line[at] != static_cast<wchar_t>(static_cast<unsigned char>(prefix[at]))) {
      return false;
    }
  }
  return true;
}

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\r'; }

// The line without the blanks around it.
std::wstring Trimmed(const std::wstring& line) {
  std::size_t begin = 0;
  std::size_t end = line.size();
  while (begin < end && IsBlank(line[begin])) ++begin;
  while (end > begin && IsBlank(line[end - 1])) --end;
  return line.substr(begin, end - begin);
}

// A line of the log as a reason shows it: trimmed, every control character
// a blank, cut with "..." past kShownChars.
std::wstring Shown(const std::wstring& line) {
  std::wstring shown = Trimmed(line);
  for (wchar_t& c : shown) {
    if (c < 0x20 || c == 0x7F) c = L' ';
  }
  if (shown.size() > kShownChars) {
    shown.resize(kShownChars);
    shown += L"...";
  }
  return shown;
}

}  // namespace

CleanupLogReader::CleanupLogReader()
    : reader_(ListingEncoding::kBytes, [this](const std::wstring& line) { Line(line); }) {}

void CleanupLogReader::Feed(const char* bytes, std::size_t size) {
  if (encoding_known_) {
    reader_.Feed(bytes, size);
    return;
  }
  head_.append(bytes, size);
  if (head_.size() >= 3) DecideEncoding();
}

void CleanupLogReader::DecideEncoding() {
  encoding_known_ = true;
  std::size_t mark = 0;
  if (head_.compare(0, 2, "\xFF\xFE") == 0) {
    mark = 2;
    reader_ = ListingReader(ListingEncoding::kUtf16,
                            [this](const std::wstring& line) { Line(line); });
  } else if (head_.compare(0, 3, "\xEF\xBB\xBF") == 0) {
    // UTF-8: the words the decision looks for are ASCII, the same bytes.
    mark = 3;
  }
  reader_.Feed(head_.data() + mark, head_.size() - mark);
  head_.clear();
}

void CleanupLogReader::Line(const std::wstring& line) {
  const std::wstring trimmed = Trimmed(line);
  if (trimmed.empty()) return;
  last_line_ = trimmed;
  if (!first_cut_.empty()) return;
  if (StartsWith(line, kNotStartedLine)) {
    first_cut_ = L"a program was not started (" + Shown(line) + L")";
  } else if (StartsWith(line, kNotFinishedLine)) {
    first_cut_ = L"a program was ended unfinished (" + Shown(line) + L")";
  } else if (StartsWith(line, kLaunchFailedLine)) {
    first_cut_ = L"a program could not be launched (" + Shown(line) + L")";
  }
}

bool CleanupLogReader::RanToItsEnd(std::wstring* reason) {
  if (!encoding_known_) DecideEncoding();
  reader_.Finish();
  if (last_line_.empty()) {
    *reason = L"its log is empty";
  } else if (!first_cut_.empty()) {
    *reason = first_cut_;
  } else if (last_line_ != L"Done.") {
    *reason = L"its last line is not \"Done.\" (" + Shown(last_line_) + L")";
  } else {
    return true;
  }
  return false;
}

int CheckCleanupLog(const std::string& path) {
  namespace fs = std::filesystem;
  fs::path where;
  std::wstring shown(path.begin(), path.end());  // until it is read as UTF-8
  bool readable = false;
  CleanupLogReader log;
  try {
    where = fs::u8path(path);
    shown = where.wstring();
    std::error_code error;
    std::ifstream in;
    if (!fs::is_directory(where, error)) in.open(where, std::ios::binary);
    readable = in.is_open();
    std::vector<char> buffer(kReadBytes);
    while (readable && in) {
      in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
      log.Feed(buffer.data(), static_cast<std::size_t>(in.gcount()));
    }
    if (in.bad()) readable = false;
  } catch (const std::exception&) {
    readable = false;  // a name that is no path, or a stream that threw
  }
  if (!readable) {
    Print("The cleanup's log cannot be read: %S\n", shown.c_str());
    return 2;
  }
  std::wstring reason;
  if (log.RanToItsEnd(&reason)) {
    Print("The cleanup ran to its end.\n");
    return 0;
  }
  Print("The cleanup did not run to its end: %S\n", reason.c_str());
  return 1;
}
