#include "listing/capture_listing.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "exec/files.h"
#include "exec/runner.h"
#include "exec/tools.h"

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

}  // namespace

bool CaptureListing(const wchar_t* listing, const char* redirection,
                    const char* file_name) {
  if (std::strcmp(redirection, ">") == 0 && DeleteWorkingFile(file_name) != 0) {
    return false;
  }
  std::wstring parameters = L" /D /C devcon ";
  parameters += listing;
  parameters += L' ';
  AppendAscii(&parameters, redirection);
  parameters += L' ';
  AppendAscii(&parameters, file_name);
  if (RunProgram(CommandInterpreterPath(), parameters) != 0) return false;
  return FileIsThere(file_name);
}
