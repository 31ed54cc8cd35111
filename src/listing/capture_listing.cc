#include "listing/capture_listing.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "exec/files.h"
#include "exec/runner.h"
#include "exec/tools.h"
#include "listing/unicode_option.h"

namespace {

void AppendAscii(std::wstring* text, const char* ascii) {
  for (; *ascii != '\0'; ++ascii) text->push_back(static_cast<wchar_t>(*ascii));
}

bool FileIsThere(const char* file_name) {
  std::FILE* file = std::fopen(file_name, "rb");
  if (file == nullptr) return false;
  static_cast<void>(std::fclose(file));  // opened for reading only
  return true;
}

// The run's one answer to whether the tool takes -u.
UnicodeOption& RunsUnicodeOption() {
  static UnicodeOption option;
  return option;
}

std::wstring CaptureParameters(const wchar_t* listing, bool with_unicode,
                               const char* redirection, const char* file_name) {
  std::wstring parameters = L" /D /C devcon ";
  if (with_unicode) parameters += L"-u ";
  parameters += listing;
  parameters += L' ';
  AppendAscii(&parameters, redirection);
  parameters += L' ';
  AppendAscii(&parameters, file_name);
  return parameters;
}

}  // namespace

void StartCaptures() { RunsUnicodeOption() = UnicodeOption(); }

std::optional<ListingEncoding> CaptureListing(const wchar_t* listing,
                                              const char* redirection,
                                              const char* file_name) {
  // A run that may not act leaves the file alone: another cleanup's it may
  // be. Its capture is then not started either.
  if (std::strcmp(redirection, ">") == 0 && RunMayAct() &&
      DeleteWorkingFile(file_name) != 0) {
    return std::nullopt;
  }
  int status = 0;
  const ListingEncoding encoding =
      RunsUnicodeOption().Run([&](bool with_unicode) {
        status = RunProgram(CommandInterpreterPath(),
                            CaptureParameters(listing, with_unicode,
                                              redirection, file_name));
        return status == kDevconUsageStatus;
      });
  if (status != 0 || !FileIsThere(file_name)) return std::nullopt;
  return encoding;
}
