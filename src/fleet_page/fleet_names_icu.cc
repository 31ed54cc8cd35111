#include "fleet_page/fleet_names_icu.h"

#include <unicode/uchar.h>
#include <unicode/uscript.h>
#include <unicode/uspoof.h>
#include <unicode/ustring.h>
#include <unicode/utf8.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace {

std::string Utf8Of(const UChar* text, int32_t length) {
  std::string out(static_cast<std::size_t>(length) * 4 + 4, '\0');
  int32_t written = 0;
  UErrorCode status = U_ZERO_ERROR;
  u_strToUTF8(out.data(), static_cast<int32_t>(out.size()), &written, text, length, &status);
  out.resize(U_SUCCESS(status) ? static_cast<std::size_t>(written) : 0);
  return out;
}

// Full case folding of UTF-16 text.
std::vector<UChar> Folded(const std::vector<UChar>& text) {
  std::vector<UChar> out(text.size() * 3 + 4);
  UErrorCode status = U_ZERO_ERROR;
  const int32_t length = u_strFoldCase(out.data(), static_cast<int32_t>(out.size()), text.data(),
                                       static_cast<int32_t>(text.size()), U_FOLD_CASE_DEFAULT,
                                       &status);
  out.resize(U_SUCCESS(status) ? static_cast<std::size_t>(length) : 0);
  return out;
}

// A C++ string literal's content: printable ASCII as it is, every other
// byte in octal (three digits, so that no following character joins it).
std::string Escaped(const std::string& utf8) {
  std::string out;
  char octal[8];
  for (const char c : utf8) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte < 0x7F && c != '"' && c != '\\' && c != '?') {
      out.push_back(c);
    } else {
      (void)std::snprintf(octal, sizeof octal, "\\%03o", byte);
      out += octal;
    }
  }
  return out;
}

}  // namespace

std::string NamesTableFromIcu() {
  UErrorCode status = U_ZERO_ERROR;
  std::unique_ptr<USpoofChecker, void (*)(USpoofChecker*)> checker(uspoof_open(&status),
                                                                   uspoof_close);
  if (U_FAILURE(status)) return std::string();
  std::string text =
      "// Written by kovex-fleet-names-table from ICU " U_ICU_VERSION
      " (its UTS #39 confusables and\n// script property); the host tests check it is "
      "ICU's. Do not edit.\n\n// Each character whose skeleton, case folded, is other "
      "than itself.\nconstexpr NameLookAlike kNameLookAlikes[] = {\n";
  for (UChar32 c = 0; c <= 0x10FFFF; ++c) {
    if ((c >= 0xD800 && c <= 0xDFFF) || !u_isdefined(c)) continue;
    std::vector<UChar> one(2);
    int32_t length = 0;
    U16_APPEND_UNSAFE(one.data(), length, c);
    one.resize(static_cast<std::size_t>(length));
    std::vector<UChar> skeleton(64);
    status = U_ZERO_ERROR;
    const int32_t size = uspoof_getSkeleton(checker.get(), 0, one.data(), length,
                                            skeleton.data(), 64, &status);
    if (U_FAILURE(status)) continue;
    skeleton.resize(static_cast<std::size_t>(size));
    const std::vector<UChar> folded = Folded(skeleton);
    if (folded == one) continue;
    text += "    {0x" + [c] {
      char hex[16];
      (void)std::snprintf(hex, sizeof hex, "%04X", static_cast<unsigned>(c));
      return std::string(hex);
    }() + ", \"" + Escaped(Utf8Of(folded.data(), static_cast<int32_t>(folded.size()))) +
            "\"},\n";
  }
  text += "};\n\n// Ranges of one script (ICU's UScriptCode), Common, Inherited and "
          "unassigned left out.\nconstexpr NameScriptRange kNameScripts[] = {\n";
  UChar32 first = 0;
  int previous = -1;
  auto close = [&text, &first, &previous](UChar32 end) {
    if (previous > USCRIPT_INHERITED) {
      char line[64];
      (void)std::snprintf(line, sizeof line, "    {0x%04X, 0x%04X, %d},\n", static_cast<unsigned>(first),
                    static_cast<unsigned>(end), previous);
      text += line;
    }
  };
  for (UChar32 c = 0; c <= 0x110000; ++c) {
    int script = -1;
    if (c <= 0x10FFFF) {
      status = U_ZERO_ERROR;
      script = u_isdefined(c) ? static_cast<int>(uscript_getScript(c, &status)) : -1;
      if (script == USCRIPT_UNKNOWN) script = -1;
    }
    if (script != previous) {
      close(c - 1);
      first = c;
      previous = script;
    }
  }
  char constants[256];
  (void)std::snprintf(constants, sizeof constants,
                "};\n\nconstexpr int kScriptLatin = %d, kScriptCyrillic = %d, kScriptGreek = %d, "
                "kScriptHan = %d,\n    kScriptHiragana = %d, kScriptKatakana = %d, kScriptHangul "
                "= %d, kScriptBopomofo = %d;\n",
                USCRIPT_LATIN, USCRIPT_CYRILLIC, USCRIPT_GREEK, USCRIPT_HAN, USCRIPT_HIRAGANA,
                USCRIPT_KATAKANA, USCRIPT_HANGUL, USCRIPT_BOPOMOFO);
  text += constants;
  return text;
}
