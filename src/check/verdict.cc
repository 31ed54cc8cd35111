#include "check/verdict.h"

TraceFate FateOf(bool awaits_reboot, bool has_manual_removal) {
  if (awaits_reboot) return TraceFate::kReboot;
  if (has_manual_removal) return TraceFate::kManualRemoval;
  return TraceFate::kCleanup;
}

void VerdictTally::Add(TraceFate fate) {
  if (fate == TraceFate::kCleanup) {
    cleanup_removes = true;
  } else {
    reboot_or_manual = true;
  }
}

Verdict VerdictOf(const VerdictTally& tally) {
  if (tally.cleanup_removes) return Verdict::kNotClean;
  if (tally.reboot_or_manual) return Verdict::kPending;
  if (tally.unchecked) return Verdict::kUnknown;
  return Verdict::kClean;
}

const char* VerdictName(Verdict verdict) {
  switch (verdict) {
    case Verdict::kClean:
      return "CLEAN";
    case Verdict::kNotClean:
      return "NOT CLEAN";
    case Verdict::kPending:
      return "PENDING";
    case Verdict::kUnknown:
      return "UNKNOWN";
  }
  return "UNKNOWN";
}
