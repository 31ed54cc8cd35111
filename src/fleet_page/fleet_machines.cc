#include "fleet_page/fleet_machines.h"

#include <algorithm>
#include <map>
#include <tuple>
#include <utility>

#include "fleet_page/fleet_names.h"

namespace {

std::string LowerAscii(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

// How bad a verdict is, for a tie between results: NOT CLEAN worst, in the
// page's order.
int Severity(Verdict verdict) {
  switch (verdict) {
    case Verdict::kNotClean:
      return 3;
    case Verdict::kPending:
      return 2;
    case Verdict::kUnknown:
      return 1;
    case Verdict::kClean:
      break;
  }
  return 0;
}

// Below every real time and below no time at all: a future time never wins.
constexpr long long kFutureRank = kUnknownTime - 1;

}  // namespace

bool IsFutureTime(long long time, long long made_at) {
  return time != kUnknownTime && made_at != kUnknownTime &&
         time > made_at + kClockSkewSeconds;
}

std::vector<FleetMachine> GroupByMachine(const std::vector<MachineResult>& results,
                                         long long made_at) {
  auto time_of = [&results, made_at](std::size_t i) {
    return IsFutureTime(results[i].time, made_at) ? kFutureRank : results[i].time;
  };
  // Ranks a result: its time, then whether it has a verdict, then its place.
  auto rank = [&results, &time_of](std::size_t i) {
    return std::make_tuple(time_of(i), results[i].has_verdict, i);
  };
  std::map<std::string, std::vector<std::size_t>> by_name;
  std::map<std::string, std::string> shown_name;
  for (std::size_t i = 0; i < results.size(); ++i) {
    const std::string name = results[i].machine.empty() ? results[i].source : results[i].machine;
    const std::string key = LowerAscii(name);
    by_name[key].push_back(i);
    shown_name.emplace(key, name);
  }
  std::vector<FleetMachine> machines;
  machines.reserve(by_name.size());
  for (auto& entry : by_name) {
    std::vector<std::size_t>& list = entry.second;
    std::sort(list.begin(), list.end(),
              [&rank](std::size_t a, std::size_t b) { return rank(a) > rank(b); });
    FleetMachine machine;
    // Results of one time that disagree: neither order of the inputs nor
    // chance decides, the worse verdict counts.
    const std::size_t top = list.front();
    if (results[top].has_verdict) {
      std::size_t worst = 0;
      bool conflict = false;
      for (std::size_t i = 1; i < list.size() && time_of(list[i]) == time_of(top) &&
                              results[list[i]].has_verdict;
           ++i) {
        if (results[list[i]].verdict != results[top].verdict) conflict = true;
        if (Severity(results[list[i]].verdict) > Severity(results[list[worst]].verdict)) {
          worst = i;
        }
      }
      if (conflict) {
        std::rotate(list.begin(), list.begin() + static_cast<std::ptrdiff_t>(worst),
                    list.begin() + static_cast<std::ptrdiff_t>(worst) + 1);
        machine.flags.push_back("conflicting results");
      }
    }
    for (const std::size_t i : list) {
      if (IsFutureTime(results[i].time, made_at)) {
        machine.flags.push_back("dated after the page was made (" + results[i].checked_at +
                                ", " + results[i].source + ")");
      }
    }
    machine.counted = &results[list.front()];
    machine.name = machine.counted->machine.empty() ? shown_name[entry.first]
                                                     : machine.counted->machine;
    for (std::size_t i = 1; i < list.size(); ++i) machine.others.push_back(&results[list[i]]);
    machines.push_back(std::move(machine));
  }
  // Names that show something other than they are, or look like another's.
  std::map<std::string, std::vector<std::size_t>> by_look;
  for (std::size_t i = 0; i < machines.size(); ++i) {
    by_look[NameSkeleton(machines[i].name)].push_back(i);
  }
  for (FleetMachine& machine : machines) {
    if (VisibleName(machine.name) != machine.name) {
      machine.flags.push_back("holds invisible or direction-changing characters");
    }
    if (MixesScripts(machine.name)) machine.flags.push_back("mixes scripts");
    for (const std::size_t other : by_look[NameSkeleton(machine.name)]) {
      if (&machines[other] == &machine) continue;
      machine.flags.push_back("name looks like " + VisibleName(machines[other].name));
    }
  }
  return machines;
}
