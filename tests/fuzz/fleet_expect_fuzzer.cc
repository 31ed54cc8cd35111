// The fleet page's reading of the machines expected (--expect), any bytes
// an administrator could hand it: a list, an INI inventory, the JSON of
// ansible-inventory, a CSV. Every name is one a host could have (never a
// line of words, a variable or a group), a range stays within its bound,
// what is not read says where and why, and the page of those machines
// keeps its action lists.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fleet_page/fleet_expect.h"
#include "fleet_page/fleet_names.h"
#include "tests/fuzz/fleet_fuzz.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  const ExpectedList list = ReadExpected(bytes, "machines.txt");
  Require(list.names.size() <= kRangeLimit * (size + 1), "ranges stay within their bound");
  for (const std::string& name : list.names) {
    Require(!name.empty() && name.find_first_of(" \t\r\n\"=,[]") == std::string::npos,
            "a name holds no blank, line end, quote, variable, list or range");
    Require(!MachineKey(name).empty(), "every name names a machine");
  }
  for (const InputProblem& problem : list.unread) {
    Require(problem.source == "machines.txt" && !problem.reason.empty(),
            "what is not read names its file and says why");
  }
  // One machine that reported, the rest never did.
  std::vector<MachineResult> results(1);
  results[0].machine = list.names.empty() ? "PC-01" : list.names[0];
  results[0].has_verdict = true;
  results[0].verdict = Verdict::kNotClean;
  std::vector<std::string> names = list.names;
  if (names.size() > 2000) names.resize(2000);
  CheckActionLists(results, names);
  Require(DistinctMachines(list.names) <= list.names.size(), "no machine counted twice");
  return 0;
}
