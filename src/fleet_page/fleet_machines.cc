#include "fleet_page/fleet_machines.h"

#include <algorithm>
#include <map>
#include <tuple>
#include <utility>

#include "fleet_page/fleet_names.h"

namespace {

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

// How a result's time ranks: any real time above no time, and a time the
// page cannot have seen yet below both, so that it never wins.
enum TimeClass { kFuture = 0, kNoTime = 1, kRealTime = 2 };

}  // namespace

bool IsFutureTime(long long time, long long made_at) {
  return time != kUnknownTime && made_at != kUnknownTime &&
         time > made_at + kClockSkewSeconds;
}

std::vector<FleetMachine> GroupByMachine(const std::vector<MachineResult>& results,
                                         long long made_at) {
  auto time_of = [&results, made_at](std::size_t i) {
    const long long time = results[i].time;
    if (time == kUnknownTime) return std::make_pair(int{kNoTime}, 0LL);
    if (IsFutureTime(time, made_at)) return std::make_pair(int{kFuture}, 0LL);
    return std::make_pair(int{kRealTime}, time);
  };
  // Ranks a result: its time, then whether it has a verdict, then its place.
  auto rank = [&results, &time_of](std::size_t i) {
    return std::make_tuple(time_of(i), results[i].has_verdict, i);
  };
  std::map<std::string, std::vector<std::size_t>> by_name;
  std::map<std::string, std::string> shown_name;
  for (std::size_t i = 0; i < results.size(); ++i) {
    const std::string name = results[i].machine.empty() ? results[i].source : results[i].machine;
    const std::string key = MachineKey(name);
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
  FlagNames(std::vector<bool>(machines.size(), true), &machines);
  return machines;
}

void FlagNames(const std::vector<bool>& fresh, std::vector<FleetMachine>* machines) {
  std::map<std::string, std::vector<std::size_t>> by_look;
  for (std::size_t i = 0; i < machines->size(); ++i) {
    by_look[NameSkeleton(MachineKey((*machines)[i].name))].push_back(i);
  }
  for (std::size_t i = 0; i < machines->size(); ++i) {
    FleetMachine& machine = (*machines)[i];
    if (fresh[i]) {
      if (VisibleName(machine.name) != machine.name) {
        machine.flags.push_back("holds invisible or direction-changing characters");
      }
      if (MixesScripts(machine.name)) machine.flags.push_back("mixes scripts");
      if (PosesAsLatin(machine.name)) {
        machine.flags.push_back("written with characters that look like Latin ones");
      }
    }
    for (const std::size_t other : by_look[NameSkeleton(MachineKey(machine.name))]) {
      if (other == i || !(fresh[i] || fresh[other])) continue;
      machine.flags.push_back("name looks like " + VisibleName((*machines)[other].name));
    }
  }
}

ActionList ActionOf(const MachineResult& result) {
  if (!result.has_verdict) return ActionList::kNoResult;
  switch (result.verdict) {
    case Verdict::kNotClean:
      return ActionList::kCleanup;
    case Verdict::kPending:
      for (const FleetTrace& trace : result.traces) {
        if (trace.awaits_reboot) return ActionList::kReboot;
      }
      return ActionList::kByHand;
    case Verdict::kUnknown:
      return ActionList::kUnknown;
    case Verdict::kClean:
      break;
  }
  return ActionList::kNone;
}

std::string UnknownReason(const MachineResult& result) {
  std::string reason;
  auto add = [&reason](const std::string& part) {
    if (part.empty() || reason.find(part) != std::string::npos) return;
    reason += (reason.empty() ? "" : "; ") + part;
  };
  for (const std::string& flag : result.flags) {
    if (flag.compare(0, 11, "contradicts") == 0) add(flag);
  }
  // The checks a reason kept from running are named beside it, so that one
  // reason for three checks reads once.
  for (const FleetUnchecked& entry : result.unchecked) add(entry.reason);
  if (reason.empty()) reason = "the result says UNKNOWN and gives no reason";
  return reason;
}

bool CleanupUnfinished(const MachineResult& result) {
  return !result.cleanup.empty() &&
         result.cleanup.compare(0, 26, "The cleanup ran to its end") != 0;
}
