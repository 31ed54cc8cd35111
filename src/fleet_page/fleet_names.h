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

// What `name` looks like, for comparing names: ASCII case folded, the
// Cyrillic and Greek letters that look like Latin ones (а е о р с у х і ј
// ѕ ԁ ӏ, α ο ρ τ υ ν κ ι and their capitals) and fullwidth ASCII as the
// Latin letters they look like, '0' as 'o' and '1' as 'l', invisible
// characters dropped. Two names with one skeleton look alike. A small
// table of the look-alikes that matter for host names, not Unicode's whole
// confusables list.
std::string NameSkeleton(const std::string& name);

// Whether `name` has Cyrillic or Greek letters beside letters of another
// script (Latin, or any other).
bool MixesScripts(const std::string& name);

// The machine `name` names, for telling machines apart wherever a name
// comes from (a result, an inventory, a list): blanks, no-break spaces and
// byte-order marks around it, an inventory's port (":5986") and a final
// dot taken off, a DNS name cut to its first label ("pc07" of
// "PC07.corp.example.com"), ASCII case folded. An IP address is kept whole.
// The page shows the source's own name; this is only the key.
std::string MachineKey(const std::string& name);

#endif  // KOVEX_FLEET_PAGE_FLEET_NAMES_H_
