#include "fleet_page/fleet_names.h"

#include <cstdio>

#include "output/utf8.h"

namespace {

// Calls `each(code_point, length)` for every character of `text`, with
// code_point -1 for a byte that starts no UTF-8 sequence (length 1).
template <typename Each>
void ForEachCharacter(const std::string& text, Each each) {
  const unsigned char* bytes = reinterpret_cast<const unsigned char*>(text.data());
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t length = Utf8SequenceAt(bytes, text.size(), at);
    if (length == 0) {
      each(-1L, at, std::size_t{1});
      ++at;
      continue;
    }
    long code_point = length == 1 ? bytes[at] : bytes[at] & (0x7F >> length);
    for (std::size_t i = 1; i < length; ++i) code_point = (code_point << 6) | (bytes[at + i] & 0x3F);
    each(code_point, at, length);
    at += length;
  }
}

bool Invisible(long c) {
  return c < 0x20 || c == 0x7F || (c >= 0x80 && c <= 0xA0) || c == 0xAD || c == 0x34F ||
         c == 0x61C || c == 0x115F || c == 0x1160 || c == 0x17B4 || c == 0x17B5 ||
         (c >= 0x180B && c <= 0x180F) || (c >= 0x2000 && c <= 0x200F) ||
         (c >= 0x2028 && c <= 0x202F) || (c >= 0x205F && c <= 0x206F) || c == 0x3000 ||
         c == 0x3164 || (c >= 0xFE00 && c <= 0xFE0F) || c == 0xFEFF || c == 0xFFA0 ||
         (c >= 0xFFF9 && c <= 0xFFFB) || (c >= 0x1D173 && c <= 0x1D17A) ||
         (c >= 0xE0000 && c <= 0xE0FFF);
}

// The Latin letter a Cyrillic or Greek one looks like, or 0.
char LatinLookAlike(long c) {
  struct LookAlike {
    long code_point;
    char latin;
  };
  static const LookAlike kTable[] = {
      // Cyrillic
      {0x0430, 'a'}, {0x0435, 'e'}, {0x043E, 'o'}, {0x0440, 'p'}, {0x0441, 'c'},
      {0x0443, 'y'}, {0x0445, 'x'}, {0x0456, 'i'}, {0x0458, 'j'}, {0x0455, 's'},
      {0x0501, 'd'}, {0x04CF, 'l'}, {0x0410, 'a'}, {0x0412, 'b'}, {0x0415, 'e'},
      {0x041A, 'k'}, {0x041C, 'm'}, {0x041D, 'h'}, {0x041E, 'o'}, {0x0420, 'p'},
      {0x0421, 'c'}, {0x0422, 't'}, {0x0423, 'y'}, {0x0425, 'x'}, {0x0406, 'i'},
      {0x0408, 'j'}, {0x0405, 's'}, {0x04C0, 'l'},
      // Greek
      {0x03B1, 'a'}, {0x03BF, 'o'}, {0x03C1, 'p'}, {0x03C4, 't'}, {0x03C5, 'u'},
      {0x03BD, 'v'}, {0x03BA, 'k'}, {0x03B9, 'i'}, {0x0391, 'a'}, {0x0392, 'b'},
      {0x0395, 'e'}, {0x0396, 'z'}, {0x0397, 'h'}, {0x0399, 'i'}, {0x039A, 'k'},
      {0x039C, 'm'}, {0x039D, 'n'}, {0x039F, 'o'}, {0x03A1, 'p'}, {0x03A4, 't'},
      {0x03A5, 'y'}, {0x03A7, 'x'},
  };
  for (const LookAlike& entry : kTable) {
    if (entry.code_point == c) return entry.latin;
  }
  return 0;
}

enum Script { kNone = 0, kLatin = 1, kCyrillic = 2, kGreek = 4, kOther = 8 };

int ScriptOf(long c) {
  if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
      (c >= 0xC0 && c <= 0x24F && c != 0xD7 && c != 0xF7) || (c >= 0xFF21 && c <= 0xFF3A) ||
      (c >= 0xFF41 && c <= 0xFF5A)) {
    return kLatin;
  }
  if (c >= 0x400 && c <= 0x52F) return kCyrillic;
  if (c >= 0x370 && c <= 0x3FF) return kGreek;
  if (c >= 0x530 && !Invisible(c) && !(c >= 0x2000 && c <= 0x2BFF) &&
      !(c >= 0x3000 && c <= 0x303F) && !(c >= 0xFF00 && c <= 0xFF20)) {
    return kOther;
  }
  return kNone;
}

}  // namespace

std::string VisibleName(const std::string& name) {
  std::string out;
  out.reserve(name.size());
  ForEachCharacter(name, [&name, &out](long c, std::size_t at, std::size_t length) {
    char text[32];
    if (c < 0) {
      static_cast<void>(std::snprintf(text, sizeof text, "<0x%02X>",
                                      static_cast<unsigned char>(name[at])));
      out += text;
    } else if (Invisible(c)) {
      static_cast<void>(std::snprintf(text, sizeof text, "<U+%04lX>", c));
      out += text;
    } else {
      out.append(name, at, length);
    }
  });
  return out;
}

std::string NameSkeleton(const std::string& name) {
  std::string out;
  ForEachCharacter(name, [&name, &out](long c, std::size_t at, std::size_t length) {
    if (c >= 0 && Invisible(c)) return;
    if (c >= 0xFF01 && c <= 0xFF5E) c -= 0xFEE0;
    const char latin = c >= 0 ? LatinLookAlike(c) : '\0';
    if (latin != 0) {
      out.push_back(latin);
    } else if (c >= 0 && c < 0x80) {
      char ascii = static_cast<char>(c);
      if (ascii >= 'A' && ascii <= 'Z') ascii = static_cast<char>(ascii - 'A' + 'a');
      if (ascii == '0') ascii = 'o';
      if (ascii == '1') ascii = 'l';
      out.push_back(ascii);
    } else {
      out.append(name, at, length);
    }
  });
  return out;
}

bool MixesScripts(const std::string& name) {
  int scripts = kNone;
  ForEachCharacter(name, [&scripts](long c, std::size_t, std::size_t) {
    if (c >= 0) scripts |= ScriptOf(c);
  });
  // Latin beside another script is common in host names (a place's name
  // and "PC1"); Cyrillic or Greek beside anything is how look-alikes come.
  return (scripts & (scripts - 1)) != 0 && (scripts & (kCyrillic | kGreek)) != 0;
}

std::string MachineKey(const std::string& name) {
  // Blanks and what shows as one: the no-break spaces and the byte-order
  // mark a copied list carries.
  static const char* const kBlanks[] = {" ", "\t", "\r", "\n", "\xC2\xA0", "\xE2\x80\xAF",
                                        "\xEF\xBB\xBF", "\xE2\x80\x87"};
  std::size_t begin = 0;
  std::size_t end = name.size();
  for (bool cut = true; cut;) {
    cut = false;
    for (const char* blank : kBlanks) {
      const std::string text(blank);
      if (end - begin >= text.size() && name.compare(begin, text.size(), text) == 0) {
        begin += text.size();
        cut = true;
      }
      if (end - begin >= text.size() && name.compare(end - text.size(), text.size(), text) == 0) {
        end -= text.size();
        cut = true;
      }
    }
  }
  std::string key = name.substr(begin, end - begin);
  const std::size_t colon = key.find(':');
  if (colon != std::string::npos && key.find(':', colon + 1) == std::string::npos &&
      colon + 1 < key.size() && key.find_first_not_of("0123456789", colon + 1) == std::string::npos) {
    key.resize(colon);
  }
  if (!key.empty() && key.back() == '.') key.pop_back();
  const bool address = key.find(':') != std::string::npos ||
                       key.find_first_not_of("0123456789.") == std::string::npos;
  if (!address) key = key.substr(0, key.find('.'));
  for (char& c : key) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return key;
}
