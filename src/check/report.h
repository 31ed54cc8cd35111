#ifndef KOVEX_CHECK_REPORT_H_
#define KOVEX_CHECK_REPORT_H_

#include <cstddef>
#include <string>

#include "check/findings.h"
#include "check/verdict.h"

// The check's exit status: 1 when any trace was found (even when some check
// could not run), 2 when nothing was found but some check could not run, 0
// when every check ran and found nothing.
int CheckStatus(const Findings& findings);

// Whether running the cleanup again would remove some trace: one that neither
// waits for a reboot nor needs a command of its own.
bool CleanupRemovesAny(const Findings& findings);

// Whether the removal of some trace waits for a reboot.
bool AwaitsReboot(const Findings& findings);

// The exit status an installer gives for a soft reboot, which Intune and
// Configuration Manager map to "restart needed" by default.
constexpr int kSoftRebootStatus = 3010;

// The one line a scheduled detection shows in the engine's console, pure
// ASCII and at most kRemediationLineLimit characters (cut with "..."): the
// verdict, then the traces the cleanup removes, the removals waiting for a
// reboot, the commands for what it passes over, and each check that could
// not run. Its status is RemediationStatus: 1 only when running the cleanup
// would remove something, so that a machine left with only a pending reboot,
// a manual command or an unreadable listing does not run it again and again.
constexpr std::size_t kRemediationLineLimit = 2048;
std::string RemediationLine(const Findings& findings);
// The verdict the line opens with (see VerdictOf).
Verdict RemediationVerdict(const Findings& findings);
int RemediationStatus(const Findings& findings);

// The report for a person: a heading per kind of trace and a line per trace,
// the command for each trace the cleanup passes over, each check that could
// not run with its reason, the maker's devices plugged in now, what to do,
// and the verdict as the last line.
void PrintReport(const Findings& findings);

// The findings as one JSON document, for collection across a fleet:
// {"clean", "complete", "traces": [{"kind", "id", "description",
//  "awaits_reboot", "manual_removal" (only where there is one)}],
//  "unchecked": [{"check", "reason"}],
//  "attached": [{"kind", "id", "description", "status"}],
//  "computer", "checked_at", "version"}: the machine's DNS host name, when it
// was checked (UTC, "2026-12-08T04:11:29Z") and the check's version, so that
// a folder of documents tells whose each is and how old. Always valid UTF-8,
// whatever bytes the listings held (see ListingTextToUtf8).
std::string JsonReport(const Findings& findings);

// Listing text, kept one wide character per byte, as UTF-8: the bytes that
// form valid UTF-8 are taken as such, every other byte as the character of
// the same value (ISO 8859-1). Text in plain ASCII comes out unchanged.
std::string ListingTextToUtf8(const std::wstring& text);

#endif  // KOVEX_CHECK_REPORT_H_
