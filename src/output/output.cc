#include "output/output.h"

#include <cstdarg>
#include <cstdio>
#include <cwchar>
#include <type_traits>

namespace {

void AppendNarrow(std::wstring* out, const char* text) {
  if (text == nullptr) text = "(null)";
  for (; *text != '\0'; ++text) {
    out->push_back(static_cast<wchar_t>(static_cast<unsigned char>(*text)));
  }
}

std::wstring FormatArgs(const char* format, va_list args) {
  std::wstring out;
  for (const char* p = format; *p != '\0'; ++p) {
    if (*p != '%') {
      out.push_back(static_cast<wchar_t>(static_cast<unsigned char>(*p)));
      continue;
    }
    ++p;
    switch (*p) {
      case 's':
        AppendNarrow(&out, va_arg(args, const char*));
        break;
      case 'S': {
        const wchar_t* text = va_arg(args, const wchar_t*);
        out += text != nullptr ? text : L"(null)";
        break;
      }
      case 'd':
        out += std::to_wstring(va_arg(args, int));
        break;
      case '%':
        out.push_back(L'%');
        break;
      case '\0':
        // A lone '%' at the end of a format is kept as written.
        out.push_back(L'%');
        return out;
      default:
        // Not a conversion the tool uses: kept as written, no argument taken.
        out.push_back(L'%');
        out.push_back(static_cast<wchar_t>(static_cast<unsigned char>(*p)));
        break;
    }
  }
  return out;
}

std::string OneBytePerCharacter(const std::wstring& text) {
  std::string bytes;
  bytes.reserve(text.size());
  for (const wchar_t c : text) {
    const unsigned long code = static_cast<std::make_unsigned_t<wchar_t>>(c);
    bytes.push_back(code <= 0xFF ? static_cast<char>(code) : '?');
  }
  return bytes;
}

}  // namespace

std::string FormatLine(const char* format, ...) {
  va_list args;
  va_start(args, format);
  const std::wstring line = FormatArgs(format, args);
  va_end(args);
  return OneBytePerCharacter(line);
}

void Print(const char* format, ...) {
  va_list args;
  va_start(args, format);
  const std::wstring line = FormatArgs(format, args);
  va_end(args);
  if (StandardOutputIsConsole()) {
    WriteConsoleText(line.data(), line.size());
    return;
  }
  const std::string bytes = OneBytePerCharacter(line);
  WriteOutput(bytes.data(), bytes.size());
}
