#include "listing/capture_listing.h"

#include <string>

#include "exec/runner.h"
#include "exec/tools.h"

namespace {

void AppendAscii(std::wstring* text, const char* ascii) {
  for (; *ascii != '\0'; ++ascii) text->push_back(static_cast<wchar_t>(*ascii));
}

}  // namespace

int CaptureListing(const wchar_t* listing, const char* redirection,
                   const char* file_name) {
  std::wstring parameters = L" /C devcon ";
  parameters += listing;
  parameters += L' ';
  AppendAscii(&parameters, redirection);
  parameters += L' ';
  AppendAscii(&parameters, file_name);
  return RunProgram(CommandInterpreterPath(), parameters);
}
