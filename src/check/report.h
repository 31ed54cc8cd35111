#ifndef KOVEX_CHECK_REPORT_H_
#define KOVEX_CHECK_REPORT_H_

#include <string>

#include "check/findings.h"

// The check's exit status: 1 when any trace was found (even when some check
// could not run), 2 when nothing was found but some check could not run, 0
// when every check ran and found nothing.
int CheckStatus(const Findings& findings);

// The report for a person: a heading per kind of trace and a line per trace,
// the command for each trace the cleanup passes over, each check that could
// not run with its reason, the maker's devices plugged in now, what to do,
// and the verdict as the last line.
void PrintReport(const Findings& findings);

// The findings as one JSON document, for collection across a fleet:
// {"clean", "complete", "traces": [{"kind", "id", "description"}],
//  "unchecked": [{"check", "reason"}],
//  "attached": [{"kind", "id", "description", "status"}]}. Always valid UTF-8, whatever bytes
// the listings held (see ListingTextToUtf8).
std::string JsonReport(const Findings& findings);

// Listing text, kept one wide character per byte, as UTF-8: the bytes that
// form valid UTF-8 are taken as such, every other byte as the character of
// the same value (ISO 8859-1). Text in plain ASCII comes out unchanged.
std::string ListingTextToUtf8(const std::wstring& text);

// The system's wide text as UTF-8; an unpaired surrogate becomes U+FFFD.
std::string WideToUtf8(const std::wstring& text);

#endif  // KOVEX_CHECK_REPORT_H_
