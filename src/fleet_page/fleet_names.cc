#include "fleet_page/fleet_names.h"

#include <algorithm>
#include <cstdio>
#include <initializer_list>
#include <iterator>
#include <set>

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

struct NameLookAlike {
  long code_point;
  const char* skeleton;  // UTF-8
};
struct NameScriptRange {
  long first;
  long last;
  int script;
};

// Generated from ICU (fleet_names_icu.cc): the same data on every build,
// the Windows ones included, which cannot link ICU.
#include "fleet_page/fleet_names_table.inc"

// The skeleton of one character, case folded; null when it is itself.
const char* LookAlikeOf(long c) {
  const NameLookAlike* end = kNameLookAlikes + std::size(kNameLookAlikes);
  const NameLookAlike* found = std::lower_bound(
      kNameLookAlikes, end, c,
      [](const NameLookAlike& entry, long code_point) { return entry.code_point < code_point; });
  return found != end && found->code_point == c ? found->skeleton : nullptr;
}

// The script of a character (ICU's UScriptCode), or -1 for Common,
// Inherited and unassigned ones.
int ScriptOf(long c) {
  const NameScriptRange* end = kNameScripts + std::size(kNameScripts);
  const NameScriptRange* found = std::lower_bound(
      kNameScripts, end, c,
      [](const NameScriptRange& range, long code_point) { return range.last < code_point; });
  return found != end && found->first <= c ? found->script : -1;
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
    const char* skeleton = c >= 0 ? LookAlikeOf(c) : nullptr;
    if (skeleton != nullptr) {
      out += skeleton;
    } else {
      out.append(name, at, length);
    }
  });
  return out;
}

bool MixesScripts(const std::string& name) {
  std::set<int> scripts;
  ForEachCharacter(name, [&scripts](long c, std::size_t, std::size_t) {
    const int script = c >= 0 ? ScriptOf(c) : -1;
    if (script >= 0) scripts.insert(script);
  });
  if (scripts.size() <= 1) return false;
  // UTS #39's "highly restrictive" sets: Latin with the scripts Japanese,
  // Chinese or Korean text mixes.
  auto within = [&scripts](std::initializer_list<int> allowed) {
    for (const int script : scripts) {
      if (std::find(allowed.begin(), allowed.end(), script) == allowed.end()) return false;
    }
    return true;
  };
  if (within({kScriptLatin, kScriptHan, kScriptHiragana, kScriptKatakana}) ||
      within({kScriptLatin, kScriptHan, kScriptBopomofo}) ||
      within({kScriptLatin, kScriptHan, kScriptHangul})) {
    return false;
  }
  // "Moderately restrictive": Latin and one other script, but Cyrillic or
  // Greek, whose letters are Latin's look-alikes.
  return !(scripts.size() == 2 && scripts.count(kScriptLatin) != 0 &&
           scripts.count(kScriptCyrillic) == 0 && scripts.count(kScriptGreek) == 0);
}

bool PosesAsLatin(const std::string& name) {
  bool ascii = true;
  for (const char c : name) ascii = ascii && static_cast<unsigned char>(c) < 0x80;
  if (ascii) return false;
  const std::string skeleton = NameSkeleton(name);
  for (const char c : skeleton) {
    if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7F) {
      return false;
    }
  }
  return !skeleton.empty();
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
  if (!address && key.find('.') != std::string::npos) key.resize(key.find('.'));
  for (char& c : key) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return key;
}
