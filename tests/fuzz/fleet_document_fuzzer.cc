// The fleet page's reading of one check document, any bytes a machine could
// save: the result is always the machine's its file names, and a verdict
// the document's lists do not give is flagged as a contradiction.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fleet_page/fleet_input.h"
#include "tests/fuzz/fleet_fuzz.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  const MachineResult result = ReadCheckDocument(bytes, "PC-01", "PC-01.json");
  Require(result.machine == "PC-01", "a document cannot rename its machine");
  Require(result.has_verdict || !result.problem.empty(), "a NO RESULT says why");
  CheckActionLists({result});
  if (!result.has_verdict) return 0;
  bool contradicts = false;
  for (const std::string& flag : result.flags) {
    contradicts = contradicts || flag.rfind("contradicts itself", 0) == 0;
  }
  VerdictTally tally;
  for (const FleetTrace& trace : result.traces) {
    tally.Add(FateOf(trace.awaits_reboot, !trace.manual_removal.empty()));
  }
  tally.unchecked = !result.unchecked.empty();
  Require(contradicts ? result.verdict == Verdict::kUnknown
                      : result.verdict == VerdictOf(tally),
          "the verdict is the lists' own, or UNKNOWN where the document contradicts them");
  Require(contradicts || result.verdict != Verdict::kClean ||
              (result.traces.empty() && result.unchecked.empty()),
          "CLEAN only with no trace and every check run");
  return 0;
}
