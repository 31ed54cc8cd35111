#ifndef KOVEX_CHECK_VERDICT_H_
#define KOVEX_CHECK_VERDICT_H_

// The verdict on one machine, decided once for every reader of the check's
// findings: the check's --remediation line and the fleet page. Plain values
// only, so that a reader of the JSON document or of a collector's CSV, which
// has no Findings, decides by the same rules.

// Who finishes the removal of one trace.
enum class TraceFate {
  kCleanup,       // running the cleanup again removes it
  kReboot,        // its removal waits for a reboot
  kManualRemoval  // the cleanup passes over it: a command of its own
};

// A trace whose removal waits for a reboot is the reboot's, whatever else it
// needs; one with a command of its own is the command's; any other is the
// cleanup's.
TraceFate FateOf(bool awaits_reboot, bool has_manual_removal);

enum class Verdict {
  kClean,     // every check ran and found nothing
  kNotClean,  // running the cleanup would remove something
  kPending,   // only reboots and removals by hand are left
  kUnknown,   // nothing the cleanup removes was found, but a check failed
};

// What one machine's findings add up to, trace by trace.
struct VerdictTally {
  bool cleanup_removes = false;
  bool reboot_or_manual = false;
  bool unchecked = false;

  void Add(TraceFate fate);
};

// NOT CLEAN as soon as the cleanup would remove something (whatever could
// not be checked), else PENDING when reboots or removals by hand are left,
// else UNKNOWN when a check could not run, else CLEAN.
Verdict VerdictOf(const VerdictTally& tally);

// "CLEAN", "NOT CLEAN", "PENDING", "UNKNOWN": how the --remediation line
// opens (followed by ':') and how the fleet page names it.
const char* VerdictName(Verdict verdict);

#endif  // KOVEX_CHECK_VERDICT_H_
