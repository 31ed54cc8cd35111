// A console program for the tests to start in place of devcon: it tells how
// it was started, or writes a long listing.
//
//   started_program window [file]  how its window was asked to show and
//                                  whether it has a console window, on
//                                  standard output or into `file`
//   started_program long <lines>   <lines> numbered lines ending in CR LF,
//                                  then "last" with no line end
//   started_program job            "in-job=yes" or "in-job=no": whether it
//                                  is in a job, asked before anything else
//   started_program stdin          "stdin=eof" when its standard input reads
//                                  as empty (the null device), else the error
//   started_program late-errors    closes standard output, then writes a line
//                                  to standard error 300 ms later; exit code 3
//   started_program linger         closes both outputs, then stays 20 s
//   started_program flood          writes a line every millisecond for 20 s
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

void WriteTo(DWORD which, const std::string& bytes) {
  DWORD written = 0;
  WriteFile(GetStdHandle(which), bytes.data(), static_cast<DWORD>(bytes.size()),
            &written, nullptr);
}

}  // namespace

int main(int argc, char** argv) {
  // First of all: a program is put into its job while it is still suspended,
  // or not at all.
  BOOL in_job = FALSE;
  const BOOL asked = IsProcessInJob(GetCurrentProcess(), nullptr, &in_job);
  const std::string mode = argc >= 2 ? argv[1] : "";
  if (mode == "job") {
    Write(!asked ? "in-job=unknown" : in_job ? "in-job=yes" : "in-job=no");
    return 0;
  }
  if (mode == "stdin") {
    char one = 0;
    DWORD got = 0;
    if (ReadFile(GetStdHandle(STD_INPUT_HANDLE), &one, 1, &got, nullptr) && got == 0) {
      Write("stdin=eof");
    } else {
      Write("stdin=error " + std::to_string(GetLastError()));
    }
    return 0;
  }
  if (mode == "late-errors") {
    CloseHandle(GetStdHandle(STD_OUTPUT_HANDLE));
    Sleep(300);
    WriteTo(STD_ERROR_HANDLE, "usage, after the output ended\r\n");
    return 3;
  }
  if (mode == "linger") {
    CloseHandle(GetStdHandle(STD_OUTPUT_HANDLE));
    CloseHandle(GetStdHandle(STD_ERROR_HANDLE));
    Sleep(20000);
    return 0;
  }
  if (mode == "flood") {
    const ULONGLONG end = GetTickCount64() + 20000;
    while (GetTickCount64() < end) {
      Write("line\r\n");
      Sleep(1);
    }
    return 0;
  }
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
  std::fputs("started_program: unknown mode\n", stderr);
  return 9;
}
