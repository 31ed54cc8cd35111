#ifndef KOVEX_FLEET_PAGE_FLEET_NAMES_H_
#define KOVEX_FLEET_PAGE_FLEET_NAMES_H_

#include <string>

// Machine names as a person reads them. A machine names itself, and a name
// can hold characters that show nothing or turn the text's direction, or
// letters of another script that look like Latin ones: five machines could
// all read "PC-0042".

// `name` (UTF-8) with every character that shows nothing or changes the
// direction of text written visibly as "<U+200B>" (controls, format
// characters such as zero-width spaces and joiners, the byte-order mark,
// the bidirectional embeddings, overrides, isolates and marks, the soft
// hyphen, spaces other than U+0020, variation selectors and tags), and
// each byte that is not UTF-8 as "<0xE9>". Every other character is kept.
// The page shows and searches a name in this form.
std::string VisibleName(const std::string& name);

// What `name` looks like, for comparing names: Unicode's skeleton (UTS #39,
// the confusables ICU's spoof checker uses: "K" for the Kelvin sign, "l"
// for "I", "1" and Roman numeral one, "o" for "0" and Armenian "o", Latin
// letters for Cyrillic, Greek, Cherokee and mathematical ones) of each
// character, case folded; invisible characters dropped. Two names with one
// skeleton look alike. Each character's skeleton is ICU's own (a generated
// table, fleet_names_table.inc); the combining marks of neighbours are not
// reordered as ICU's skeleton of a whole string reorders them.
std::string NameSkeleton(const std::string& name);

// Whether `name` mixes scripts beyond UTS #39's "moderately restrictive"
// level: Latin beside one other script (a place's name and "PC1"), or
// Latin with Han and Japanese or Korean, passes; Cyrillic or Greek beside
// Latin, or three scripts, does not. Common and inherited characters
// (digits, '-') belong to none.
bool MixesScripts(const std::string& name);

// Whether `name` is not ASCII but its skeleton is: written wholly with
// characters that look like Latin letters and digits ("𝗉𝖼-01", "РС-01").
bool PosesAsLatin(const std::string& name);

// The machine `name` names, for telling machines apart wherever a name
// comes from (a result, an inventory, a list): blanks, no-break spaces and
// byte-order marks around it, an inventory's port (":5986") and a final
// dot taken off, a DNS name cut to its first label ("pc07" of
// "PC07.corp.example.com"), ASCII case folded. An IP address is kept whole.
// The page shows the source's own name; this is only the key.
std::string MachineKey(const std::string& name);

#endif  // KOVEX_FLEET_PAGE_FLEET_NAMES_H_
