#include "output/utf8.h"

#include <type_traits>

void AppendUtf8(std::string* out, unsigned long code_point) {
  if (code_point < 0x80) {
    out->push_back(static_cast<char>(code_point));
  } else if (code_point < 0x800) {
    out->push_back(static_cast<char>(0xC0 | (code_point >> 6)));
    out->push_back(static_cast<char>(0x80 | (code_point & 0x3F)));
  } else if (code_point < 0x10000) {
    out->push_back(static_cast<char>(0xE0 | (code_point >> 12)));
    out->push_back(static_cast<char>(0x80 | ((code_point >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (code_point & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xF0 | (code_point >> 18)));
    out->push_back(static_cast<char>(0x80 | ((code_point >> 12) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | ((code_point >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (code_point & 0x3F)));
  }
}

std::size_t Utf8SequenceAt(const unsigned char* bytes, std::size_t size, std::size_t at) {
  const unsigned char lead = bytes[at];
  if (lead < 0x80) return 1;
  std::size_t length = 0;
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (at + length > size) return 0;
  if (bytes[at + 1] < low || bytes[at + 1] > high) return 0;
  for (std::size_t i = 2; i < length; ++i) {
    if (bytes[at + i] < 0x80 || bytes[at + i] > 0xBF) return 0;
  }
  return length;
}

std::string WideToUtf8(const std::wstring& text) {
  const auto unit = [&text](std::size_t at) {
    return static_cast<unsigned long>(static_cast<std::make_unsigned_t<wchar_t>>(text[at]));
  };
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    unsigned long c = unit(i);
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size()) {
      const unsigned long next = unit(i + 1);
      if (next >= 0xDC00 && next <= 0xDFFF) {
        c = 0x10000 + ((c - 0xD800) << 10) + (next - 0xDC00);
        ++i;
      }
    }
    if ((c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) c = 0xFFFD;
    AppendUtf8(&out, c);
  }
  return out;
}

std::wstring Utf8ToWide(const std::string& text) {
  const unsigned char* bytes = reinterpret_cast<const unsigned char*>(text.data());
  std::wstring out;
  out.reserve(text.size());
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t length = Utf8SequenceAt(bytes, text.size(), at);
    if (length == 0) {
      out.push_back(static_cast<wchar_t>(0xFFFD));
      ++at;
      continue;
    }
    unsigned long code = length == 1 ? bytes[at] : bytes[at] & (0x7Fu >> length);
    for (std::size_t i = 1; i < length; ++i) code = (code << 6) | (bytes[at + i] & 0x3Fu);
    if (code >= 0x10000) {
      code -= 0x10000;
      out.push_back(static_cast<wchar_t>(0xD800 + (code >> 10)));
      out.push_back(static_cast<wchar_t>(0xDC00 + (code & 0x3FF)));
    } else {
      out.push_back(static_cast<wchar_t>(code));
    }
    at += length;
  }
  return out;
}
