#include "output/output.h"

#include <cstdio>

#include <windows.h>

bool StandardOutputIsConsole() {
  // Only a console handle has a console mode: a file or a pipe has none.
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) != 0;
}

void WriteConsoleText(const wchar_t* text, std::size_t length) {
  const HANDLE console = GetStdHandle(STD_OUTPUT_HANDLE);
  while (length > 0) {
    // In pieces the console takes whole, whatever the line's length.
    const DWORD piece = length < 8192 ? static_cast<DWORD>(length) : 8192;
    DWORD written = 0;
    // A failed write to the console has no one to report to.
    if (!WriteConsoleW(console, text, piece, &written, nullptr) ||
        written == 0) {
      return;
    }
    text += written;
    length -= written;
  }
}

// Flushed at once: a run that is stopped (a deployment engine ends it past
// its time) keeps every line it printed in its redirected output.
void WriteOutput(const char* bytes, std::size_t size) {
  // A failed write to standard output has no one to report to.
  static_cast<void>(std::fwrite(bytes, 1, size, stdout));
  static_cast<void>(std::fflush(stdout));
}

void WriteErrorOutput(const char* bytes, std::size_t size) {
  static_cast<void>(std::fwrite(bytes, 1, size, stderr));
}
