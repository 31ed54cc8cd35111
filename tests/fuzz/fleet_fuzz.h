#ifndef KOVEX_TESTS_FUZZ_FLEET_FUZZ_H_
#define KOVEX_TESTS_FUZZ_FLEET_FUZZ_H_

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <deque>
#include <string>
#include <vector>

#include "fleet_page/fleet_expect.h"
#include "fleet_page/fleet_input.h"
#include "fleet_page/fleet_page.h"
#include "tests/fuzz/fuzz_support.h"
#include "tests/unit/fleet_action_lists.h"

// The page made of `results` (and the machines `expected`): every machine
// that is not CLEAN in exactly one action list, once (ActionListFault).
inline void CheckActionLists(const std::vector<MachineResult>& results,
                             const std::vector<std::string>& expected = {}) {
  PageFacts facts;
  facts.made_at = 1796703089;  // 2026-12-08T04:11:29Z
  std::vector<FleetMachine> machines = GroupByMachine(results, facts.made_at);
  std::deque<MachineResult> placeholders;
  ApplyExpected(expected, &placeholders, &machines);
  Require(ActionListFault(machines, FleetPage(machines, facts)).empty(),
          "every machine that is not CLEAN is in exactly one action list, once");
}

// The fleet page's CSV readers against any rows after a given header: every
// record is a result or a record reported as not read, never more than the
// text has lines, each reported on a line the text has; and the grouping
// puts every result under exactly one machine.
inline void CheckCsvReading(const std::string& header, const std::uint8_t* data,
                            std::size_t size) {
  const std::string text = header + std::string(reinterpret_cast<const char*>(data), size);
  std::vector<MachineResult> results;
  std::vector<InputProblem> unread;
  ReadCsv(text, "fuzz.csv", &results, &unread);
  const long long lines = static_cast<long long>(std::count(text.begin(), text.end(), '\n')) + 1;
  Require(static_cast<long long>(results.size() + unread.size()) <= lines,
          "no more results and records not read than the text has lines");
  for (const InputProblem& problem : unread) {
    // Line 0: the whole file (an export whose date order cannot be told).
    Require(problem.line >= 0 && problem.line <= lines && !problem.reason.empty(),
            "a record not read is named by a line the text has, and why");
  }
  std::size_t grouped = 0;
  for (const FleetMachine& machine :
       GroupByMachine(results, static_cast<long long>(std::time(nullptr)))) {
    Require(machine.counted != nullptr, "every machine has the result that counts");
    grouped += 1 + machine.others.size();
  }
  Require(grouped == results.size(), "every result is under exactly one machine");
  CheckActionLists(results);
}

#endif  // KOVEX_TESTS_FUZZ_FLEET_FUZZ_H_
