#ifndef KOVEX_FLEET_PAGE_FLEET_PAGE_H_
#define KOVEX_FLEET_PAGE_FLEET_PAGE_H_

#include <cstddef>
#include <string>
#include <vector>

#include "fleet_page/fleet_input.h"

// One machine of the page: the result that counts (the newest) and the
// others found for the same name.
struct FleetMachine {
  std::string name;
  const MachineResult* counted = nullptr;
  std::vector<const MachineResult*> others;  // newest first
  // What the page says of the machine as a whole ("conflicting results",
  // "not expected"), shown beside its verdict as plain text.
  std::vector<std::string> flags;
};

// What the page tells of itself beside the machines.
struct PageFacts {
  long long made_at = kUnknownTime;  // the page's making, seconds since 1970
  std::vector<std::string> inputs;   // the paths it was made from, as given
  std::vector<InputProblem> unread;  // what was not read whole
  // A result checked more than this many days before made_at is stale.
  long long stale_after_days = 7;
  // The machines expected (--expect), or 0 when no list was given.
  std::size_t expected = 0;
};

// Whether the result counted for a machine is older than the page allows.
bool IsStale(const MachineResult& result, const PageFacts& facts);

// The machines in `results`, one per name (compared without regard to
// ASCII case, as Windows compares host names), in name order. A result
// without a name is named by its source. The result that counts is the one
// with the latest time; a result with a time beats one without, a verdict
// beats a NO RESULT of the same time; of results of one time that disagree
// the worse verdict counts and the machine is flagged "conflicting
// results". A time later than `made_at` (the page's making, a few minutes'
// skew aside; kUnknownTime: none is) is flagged and beats no other.
// Names that hold invisible characters, mix scripts or look like another
// machine's are flagged. `results` must outlive the machines
// (fleet_machines.cc).
std::vector<FleetMachine> GroupByMachine(const std::vector<MachineResult>& results,
                                         long long made_at);

// The one list of what needs doing a machine is in, by its counted result:
// NOT CLEAN "Run the cleanup"; PENDING "Reboot" when a removal waits for a
// reboot, else "Remove by hand"; UNKNOWN "Could not be decided", under its
// reason; NO RESULT "Without a result", under its problem; CLEAN none. A
// PENDING machine with both a reboot and a command by hand is in
// "Reboot"; the commands by hand name it again under each command, as how
// to do the rest, which is no second list (a reboot does not remove what
// the commands do, and the check after both tells).
enum class ActionList { kNone, kCleanup, kReboot, kByHand, kUnknown, kNoResult };
ActionList ActionOf(const MachineResult& result);

// Why an UNKNOWN result could not be decided, as its source gave it: what
// it contradicts in itself, why its checks could not run (each reason
// once; the page names the checks beside it), or the detection's own words.
std::string UnknownReason(const MachineResult& result);

// Whether the collector says the cleanup it ran did not run to its end (or
// cannot tell whether it did).
bool CleanupUnfinished(const MachineResult& result);

// "N machines: a CLEAN, b NOT CLEAN, c PENDING, d UNKNOWN, e NO RESULT".
std::string SummaryLine(const std::vector<FleetMachine>& machines);

// Text for HTML element content or a double-quoted attribute value: & < > "
// ' as references, bytes that are not valid UTF-8 and control characters
// (but tab and line feed) as U+FFFD.
std::string EscapeHtml(const std::string& text);

// The whole page: self-contained HTML (inline style and script, allowed by
// their hashes in a Content Security Policy that allows nothing else). What
// needs doing (the lists of machines for each action, the commands by hand)
// and every machine's line (its element with data-machine and data-verdict)
// are plain HTML, readable without the script; the script draws the
// sortable table and each machine's details from the page's JSON blocks.
std::string FleetPage(const std::vector<FleetMachine>& machines, const PageFacts& facts);

#endif  // KOVEX_FLEET_PAGE_FLEET_PAGE_H_
