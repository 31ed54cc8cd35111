#ifndef KOVEX_OUTPUT_UTF8_H_
#define KOVEX_OUTPUT_UTF8_H_

#include <cstddef>
#include <string>

// UTF-8 as both the check's JSON and the fleet page write and read it.

// The length of the well-formed UTF-8 sequence at `at` of the `size` bytes,
// 1 for ASCII, 0 where none starts there: no overlong forms, no surrogates,
// nothing above U+10FFFF.
std::size_t Utf8SequenceAt(const unsigned char* bytes, std::size_t size, std::size_t at);

// Appends a code point (at most U+10FFFF) in UTF-8.
void AppendUtf8(std::string* out, unsigned long code_point);

// The system's wide text (UTF-16 on Windows) as UTF-8: a surrogate pair is
// one code point, an unpaired surrogate becomes U+FFFD.
std::string WideToUtf8(const std::wstring& text);

// UTF-8 (as the fleet page's paths are) to UTF-16 units, as Windows takes
// them whatever the width of wchar_t; a byte that starts no well-formed
// sequence becomes U+FFFD, which names no file.
std::wstring Utf8ToWide(const std::string& text);

#endif  // KOVEX_OUTPUT_UTF8_H_
