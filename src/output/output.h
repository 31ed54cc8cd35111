#ifndef KOVEX_OUTPUT_OUTPUT_H_
#define KOVEX_OUTPUT_OUTPUT_H_

#include <cstddef>
#include <string>

// Every line either program prints goes through Print: a printf-style format
// with the conversions %s (narrow string, a byte per character), %S (wide
// string), %d (int) and %%.
//
// On a console the line is written as wide characters, so that every name
// shows as it is (a trademark sign, an umlaut, Cyrillic or CJK), whatever
// the console's code page. Redirected to a file or a pipe, it is written one
// byte per character: characters 1-255 as the byte of the same value,
// anything wider as '?', the bytes scripts and logs have always had. The C
// runtimes disagree on what %S does under the classic locale (glibc and
// MSVC stop the whole line at the first character they cannot convert), and
// a listing's bytes read back and printed must come out as they stood.
//
// Each line reaches the file or pipe before Print returns, so that a run
// that is stopped keeps every line it printed.
void Print(const char* format, ...);

// Formats as Print does, into the bytes it writes when redirected.
std::string FormatLine(const char* format, ...);

// The platform's standard streams, apart from Print so that tests link
// versions that record what was written: the Windows one in
// output-win32.cc, and a fake for the host's tests.

// True when standard output is a console, not a file or a pipe.
bool StandardOutputIsConsole();

// Writes wide text to the console of standard output.
void WriteConsoleText(const wchar_t* text, std::size_t length);

// Writes bytes to standard output, and flushes them.
void WriteOutput(const char* bytes, std::size_t size);

// Writes bytes to standard error, for the check's usage on a bad command
// line.
void WriteErrorOutput(const char* bytes, std::size_t size);

#endif  // KOVEX_OUTPUT_OUTPUT_H_
