// A console program for the tests to start in place of devcon: it tells how
// it was started, or writes a long listing.
//
//   started_program window [file]  how its window was asked to show and
//                                  whether it has a console window, on
//                                  standard output or into `file`
//   started_program long <lines>   <lines> numbered lines ending in CR LF,
//                                  then "last" with no line end
//   started_program tree           starts `started_program hang`, and never
//                                  ends
//   started_program hang           never ends
//   anything else                  a line on standard error, exit code 9
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// "show=<SW_ value or none> console=<yes|no> window=<yes|no>": a console
// attached to the process, and whether that console has a window.
std::string HowStarted() {
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  GetStartupInfoW(&startup);
  std::string text = "show=";
  text += (startup.dwFlags & STARTF_USESHOWWINDOW) != 0
              ? std::to_string(startup.wShowWindow)
              : "none";
  text += GetConsoleCP() != 0 ? " console=yes" : " console=no";
  text += GetConsoleWindow() != nullptr ? " window=yes" : " window=no";
  return text + "\n";
}

// Writes the bytes as they are, with no text-mode line end translation.
void Write(const std::string& bytes) {
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), bytes.data(),
            static_cast<DWORD>(bytes.size()), &written, nullptr);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 2 && std::strcmp(argv[1], "window") == 0) {
    const std::string text = HowStarted();
    if (argc < 3) {
      Write(text);
      return 0;
    }
    std::FILE* out = std::fopen(argv[2], "wb");
    if (out == nullptr) return 8;
    std::fwrite(text.data(), 1, text.size(), out);
    std::fclose(out);
    return 0;
  }
  if (argc >= 3 && std::strcmp(argv[1], "long") == 0) {
    const long lines = std::strtol(argv[2], nullptr, 10);
    std::string listing;
    char line[32];
    for (long i = 0; i < lines; ++i) {
      std::snprintf(line, sizeof(line), "line %06ld\r\n", i);
      listing += line;
    }
    Write(listing + "last");
    return 0;
  }
  if (argc >= 2 && std::strcmp(argv[1], "tree") == 0) {
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring command_line = L"\"" + std::wstring(self) + L"\" hang";
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION child = {};
    if (!CreateProcessW(self, command_line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &startup, &child)) {
      return 7;
    }
    CloseHandle(child.hThread);
    CloseHandle(child.hProcess);
  }
  if (argc >= 2 && (std::strcmp(argv[1], "tree") == 0 || std::strcmp(argv[1], "hang") == 0)) {
    for (;;) Sleep(60000);
  }
  std::fputs("started_program: unknown mode\n", stderr);
  return 9;
}
