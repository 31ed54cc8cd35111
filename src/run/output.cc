#include "run/output.h"

#include <cstdarg>
#include <cstdio>
#include <cwchar>
#include <type_traits>

namespace {

void AppendWide(std::string* out, const wchar_t* text) {
  if (text == nullptr) text = L"(null)";
  for (; *text != L'\0'; ++text) {
    const unsigned long c = static_cast<std::make_unsigned_t<wchar_t>>(*text);
    out->push_back(c <= 0xFF ? static_cast<char>(c) : '?');
  }
}

std::string FormatArgs(const char* format, va_list args) {
  std::string out;
  for (const char* p = format; *p != '\0'; ++p) {
    if (*p != '%') {
      out.push_back(*p);
      continue;
    }
    ++p;
    switch (*p) {
      case 's': {
        const char* text = va_arg(args, const char*);
        out += text != nullptr ? text : "(null)";
        break;
      }
      case 'S':
        AppendWide(&out, va_arg(args, const wchar_t*));
        break;
      case 'd':
        out += std::to_string(va_arg(args, int));
        break;
      case '%':
        out.push_back('%');
        break;
      case '\0':
        // A lone '%' at the end of a format is kept as written.
        out.push_back('%');
        return out;
      default:
        // Not a conversion the tool uses: kept as written, no argument taken.
        out.push_back('%');
        out.push_back(*p);
        break;
    }
  }
  return out;
}

}  // namespace

std::string FormatLine(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string line = FormatArgs(format, args);
  va_end(args);
  return line;
}

void Print(const char* format, ...) {
  va_list args;
  va_start(args, format);
  const std::string line = FormatArgs(format, args);
  va_end(args);
  WriteOutput(line.data(), line.size());
}
