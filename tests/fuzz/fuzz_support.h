#ifndef KOVEX_TESTS_FUZZ_FUZZ_SUPPORT_H_
#define KOVEX_TESTS_FUZZ_FUZZ_SUPPORT_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// What the fuzzers share: an independent reading of a listing's bytes into
// lines, the recorded runs as bytes, and a check that stops the fuzzer with
// the failed property's name (libFuzzer then saves the input).
//
// The fuzzers drive the real steps through the recording fakes of the unit
// tests; the fakes write each scripted listing into the working directory, so
// the fuzzers run best with it on a memory file system.

// The lines a listing's bytes hold: split at each line feed, a carriage
// return right before a line feed dropped, a last line without a line feed
// kept unless it is empty.
std::vector<std::string> ListedLines(const std::string& bytes);

// A line the reader delivered, back as bytes; stops the fuzzer when a
// character does not fit in one byte, since every character came from one.
std::string Bytes(const std::wstring& text);

// The parameters of every recorded run of `program`, in order, as bytes.
std::vector<std::string> ParametersOf(const wchar_t* program);

// Whether the printed output begins with `text`.
bool PrintedStartsWith(const std::string& text);

// How many printed lines begin with `prefix`.
std::size_t PrintedLinesStartingWith(const std::string& prefix);

// Empties the recording fakes for the next input.
void ResetFakes();

// Scripts devcon's listing for `command` (such as "/dp_enum") as the
// cleanup captures it. With `unicode`, devcon takes -u and writes each byte
// of `listing` as one UTF-16LE unit, so the lines read are those of the
// bytes; without, devcon knows no -u and writes the bytes as they are.
void ScriptListing(const wchar_t* command, const std::string& listing,
                   bool unicode);

// The parameters of the capture that stands: " /D /C devcon " with "-u "
// when `unicode`, then `rest` (the command and its redirection).
std::wstring CaptureParameters(const wchar_t* rest, bool unicode);

// What a step that removes listed devices printed: its heading first, one
// result line per removal, and no removal reported done when the device
// console could not be started.
void RequireRemovalReports(const char* heading, std::size_t removals,
                           bool devcon_missing);

// Whether `text` parses as JSON that is valid UTF-8 throughout.
bool IsStrictJson(const std::string& text);

// Stops the process, naming the property, when `holds` is false.
void Require(bool holds, const char* property);

// The input split at its first NUL byte; without one, all of it is `first`.
void SplitAtNul(const std::string& input, std::string* first,
                std::string* second);

#endif  // KOVEX_TESTS_FUZZ_FUZZ_SUPPORT_H_
