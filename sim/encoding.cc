// The bytes the real program writes: its C runtime converts every character of a line on the
// way out, to one byte by default, to UTF-16LE under -u.
#include <cstddef>
#include <string>

#include "sim/sim.h"

namespace devcon_sim {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool IsContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// The character that starts at `text[at]`, advancing `at` past it. A byte that does not start a
// well-formed UTF-8 sequence is one U+FFFD.
char32_t NextCharacter(const std::string& text, size_t& at) {
  auto byte = static_cast<unsigned char>(text[at]);
  size_t length = 0;
  char32_t value = 0;
  char32_t lowest = 0;
  if (byte < 0x80) {
    ++at;
    return byte;
  }
  if ((byte & 0xE0) == 0xC0) {
    length = 2;
    value = byte & 0x1Fu;
    lowest = 0x80;
  } else if ((byte & 0xF0) == 0xE0) {
    length = 3;
    value = byte & 0x0Fu;
    lowest = 0x800;
  } else if ((byte & 0xF8) == 0xF0) {
    length = 4;
    value = byte & 0x07u;
    lowest = 0x10000;
  } else {
    ++at;
    return kReplacement;
  }
  if (at + length > text.size()) {
    ++at;
    return kReplacement;
  }
  for (size_t i = 1; i < length; ++i) {
    auto next = static_cast<unsigned char>(text[at + i]);
    if (!IsContinuation(next)) {
      ++at;
      return kReplacement;
    }
    value = (value << 6) | (next & 0x3Fu);
  }
  if (value < lowest || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
    ++at;
    return kReplacement;
  }
  at += length;
  return value;
}

void AppendUnit(std::string& bytes, char32_t unit) {
  bytes += static_cast<char>(unit & 0xFFu);
  bytes += static_cast<char>((unit >> 8) & 0xFFu);
}

std::string Utf16Le(const std::string& text) {
  std::string bytes;
  size_t at = 0;
  while (at < text.size()) {
    char32_t c = NextCharacter(text, at);
    if (c == U'\n') {
      AppendUnit(bytes, U'\r');
      AppendUnit(bytes, U'\n');
    } else if (c > 0xFFFF) {
      c -= 0x10000;
      AppendUnit(bytes, 0xD800 + (c >> 10));
      AppendUnit(bytes, 0xDC00 + (c & 0x3FFu));
    } else {
      AppendUnit(bytes, c);
    }
  }
  return bytes;
}

// One byte per character; the first character beyond one byte ends the line's output, its
// line end included.
std::string Latin1(const std::string& text) {
  std::string bytes;
  size_t at = 0;
  while (at < text.size()) {
    char32_t c = NextCharacter(text, at);
    if (c == U'\n') {
      bytes += "\r\n";
    } else if (c <= 0xFF) {
      bytes += static_cast<char>(static_cast<unsigned char>(c));
    } else {
      size_t end = text.find('\n', at);
      at = end == std::string::npos ? text.size() : end + 1;
    }
  }
  return bytes;
}

}  // namespace

std::string EncodeOutput(const std::string& text, bool unicode) {
  return unicode ? Utf16Le(text) : Latin1(text);
}

}  // namespace devcon_sim
