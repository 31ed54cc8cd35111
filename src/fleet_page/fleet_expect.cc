#include "fleet_page/fleet_expect.h"

#include <algorithm>
#include <set>
#include <utility>

const char kNeverReported[] = "never reported";

namespace {

std::string Lower(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

bool Blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

}  // namespace

std::vector<std::string> ReadExpected(std::istream& in) {
  std::vector<std::string> names;
  std::string line;
  bool first = true;
  bool hosts = true;  // false in an INI inventory's [group:vars] or [group:children]
  while (std::getline(in, line)) {
    if (first && line.compare(0, 3, "\xEF\xBB\xBF") == 0) line.erase(0, 3);
    first = false;
    std::size_t start = 0;
    while (start < line.size() && Blank(line[start])) ++start;
    std::size_t end = start;
    while (end < line.size() && !Blank(line[end])) ++end;
    const std::string word = line.substr(start, end - start);
    if (!word.empty() && word[0] == '[') {
      hosts = word.find(':') == std::string::npos;
      continue;
    }
    if (!hosts || word.empty() || word[0] == '#' || word[0] == ';' ||
        word.find('=') != std::string::npos) {
      continue;
    }
    names.push_back(word);
  }
  return names;
}

void ApplyExpected(const std::vector<std::string>& expected,
                   std::deque<MachineResult>* placeholders,
                   std::vector<FleetMachine>* machines) {
  if (expected.empty()) return;
  std::set<std::string> wanted;
  for (const std::string& name : expected) wanted.insert(Lower(name));
  std::set<std::string> present;
  for (FleetMachine& machine : *machines) {
    const std::string key = Lower(machine.name);
    present.insert(key);
    if (wanted.count(key) == 0) machine.flags.emplace_back("not expected");
  }
  std::set<std::string> added;
  for (const std::string& name : expected) {
    const std::string key = Lower(name);
    if (present.count(key) != 0 || !added.insert(key).second) continue;
    MachineResult& result = placeholders->emplace_back();
    result.machine = name;
    result.source = "the expected machines";
    result.engine = "none";
    result.problem = kNeverReported;
    FleetMachine machine;
    machine.name = name;
    machine.counted = &result;
    machines->push_back(std::move(machine));
  }
  std::stable_sort(machines->begin(), machines->end(),
                   [](const FleetMachine& a, const FleetMachine& b) {
                     return Lower(a.name) < Lower(b.name);
                   });
}
