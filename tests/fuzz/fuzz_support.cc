#include "tests/fuzz/fuzz_support.h"

#include <cstdio>
#include <cstdlib>

#include "listing/capture_listing.h"
#include "nlohmann/json.hpp"
#include "tests/unit/fakes.h"

std::vector<std::string> ListedLines(const std::string& bytes) {
  std::vector<std::string> lines;
  std::string::size_type start = 0;
  while (start < bytes.size()) {
    const std::string::size_type feed = bytes.find('\n', start);
    if (feed == std::string::npos) {
      lines.push_back(bytes.substr(start));
      break;
    }
    std::string line = bytes.substr(start, feed - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
    start = feed + 1;
  }
  return lines;
}

std::string Bytes(const std::wstring& text) {
  std::string bytes(text.size(), '\0');
  bool one_byte_each = true;
  for (std::size_t i = 0; i < text.size(); ++i) {
    one_byte_each = one_byte_each && text[i] >= 0 && text[i] <= 0xFF;
    bytes[i] = static_cast<char>(text[i]);
  }
  Require(one_byte_each, "every character read comes from one byte");
  return bytes;
}

std::vector<std::string> ParametersOf(const wchar_t* program) {
  std::vector<std::string> parameters;
  for (const RecordedRun& run : fake_runner.runs) {
    if (run.program == program) parameters.push_back(Bytes(run.parameters));
  }
  return parameters;
}

bool PrintedStartsWith(const std::string& text) {
  return printed.compare(0, text.size(), text) == 0;
}

std::size_t PrintedLinesStartingWith(const std::string& prefix) {
  std::size_t count = 0;
  std::string::size_type start = 0;
  while (start < printed.size()) {
    if (printed.compare(start, prefix.size(), prefix) == 0) ++count;
    const std::string::size_type feed = printed.find('\n', start);
    if (feed == std::string::npos) break;
    start = feed + 1;
  }
  return count;
}

void ResetFakes() {
  fake_runner = FakeRunner();
  StartCaptures();
  fake_registry = FakeRegistry();
  fake_files = FakeFiles();
  printed.clear();
  printed_errors.clear();
}

void ScriptListing(const wchar_t* command, const std::string& listing,
                   bool unicode) {
  if (!unicode) {
    fake_runner.devcon_knows_unicode = false;
    fake_runner.listings[command] = listing;
    return;
  }
  std::string units;
  for (const char byte : listing) {
    units.push_back(byte);
    units.push_back('\0');
  }
  fake_runner.listings[std::wstring(L"-u ") + command] = units;
}

std::wstring CaptureParameters(const wchar_t* rest, bool unicode) {
  return std::wstring(L" /D /C devcon ") + (unicode ? L"-u " : L"") + rest;
}

void RequireRemovalReports(const char* heading, std::size_t removals,
                           bool devcon_missing) {
  Require(PrintedStartsWith(heading), "the heading comes first");
  const std::size_t removed = PrintedLinesStartingWith("\t Removed : ");
  const std::size_t failed = PrintedLinesStartingWith("\t !!! Remove FAILED : ");
  Require(removed + failed == removals, "each removal reports its result once");
  Require(!devcon_missing || removed == 0,
          "a removal that could not start is never reported as done");
}

bool IsStrictJson(const std::string& text) {
  return nlohmann::json::accept(text);
}

void Require(bool holds, const char* property) {
  if (holds) return;
  std::fprintf(stderr, "property broken: %s\n", property);
  std::abort();
}

void SplitAtNul(const std::string& input, std::string* first,
                std::string* second) {
  const std::string::size_type nul = input.find('\0');
  *first = input.substr(0, nul);
  *second = nul == std::string::npos ? std::string() : input.substr(nul + 1);
}
