#include <string>

#include "output/output.h"

// Standard output, recorded: a console, or bytes for a file or a pipe.
bool output_is_console = false;
std::wstring printed_on_console;
std::string printed;

bool StandardOutputIsConsole() { return output_is_console; }

void WriteConsoleText(const wchar_t* text, std::size_t length) {
  printed_on_console.append(text, length);
}

void WriteOutput(const char* bytes, std::size_t size) {
  printed.append(bytes, size);
}

// Standard error, recorded.
std::string printed_errors;

void WriteErrorOutput(const char* bytes, std::size_t size) {
  printed_errors.append(bytes, size);
}
