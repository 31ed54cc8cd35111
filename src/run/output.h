#ifndef KOVEX_RUN_OUTPUT_H_
#define KOVEX_RUN_OUTPUT_H_

#include <cstddef>
#include <string>

// Every line the tool prints goes through Print: a printf-style format with
// the conversions %s (narrow string), %S (wide string), %d (int) and %%.
//
// Wide arguments are written one byte per character: characters 1-255 as the
// byte of the same value, anything wider as '?'. The C runtimes disagree on
// what %S does under the classic locale (glibc and MSVC stop the whole line at
// the first character they cannot convert), and a listing's bytes read back
// and printed must come out as they stood in the file.
void Print(const char* format, ...);

// Formats as Print does, into a string, without writing it.
std::string FormatLine(const char* format, ...);

// Writes formatted bytes to the tool's standard output. Defined apart from
// Print so that tests link a version that records what was printed.
void WriteOutput(const char* bytes, std::size_t size);

// Writes bytes to standard error, for the check's usage on a bad command
// line.
void WriteErrorOutput(const char* bytes, std::size_t size);

#endif  // KOVEX_RUN_OUTPUT_H_
