#include "fleet_page/fleet_expect.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <set>
#include <utility>

#include "fleet_page/fleet_csv.h"
#include "fleet_page/fleet_machines.h"
#include "fleet_page/fleet_names.h"
#include "fleet_page/fleet_read.h"
#include "nlohmann/json.hpp"

const char kNeverReported[] = "never reported";

namespace {

// The header names of a machine column in an administrator's CSV, as
// Columns keys them.
// The collector's CSV names a machine by "computer" (how it was reached)
// before "machine" (what it calls itself).
const char* const kMachineColumns[] = {"name",     "computername", "computer", "machine",
                                       "devicename", "host",       "hostname", "dnshostname"};

struct Reading {
  std::string source;
  ExpectedList* list;
  void Problem(long long line, const std::string& why) {
    list->unread.push_back({source, line, why});
  }
};

// A host name as an inventory or a list may give it: one that names a
// machine (MachineKey), without a blank, control character, quote or
// character no host name or pattern holds.
bool CanBeMachine(const std::string& name) {
  if (MachineKey(name).empty()) return false;
  for (const char c : name) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F || c == ' ' || c == '"' || c == '\'' || c == '=' || c == ',' ||
        c == '<' || c == '>' || c == '|' || c == '*' || c == '?' || c == '/' || c == '\\' ||
        c == '{' || c == '}' || c == '[' || c == ']') {
      return false;
    }
  }
  return true;
}

bool AllDigits(const std::string& text) {
  return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
}

// Expands the first "[begin:end]" or "[begin:end:step]" of `pattern` and
// the rest in turn, as Ansible reads an INI inventory's host ranges:
// numbers keep the width of a begin written with leading zeros (and then
// the end must have it too), letters go from one letter to another. False,
// with `why`, for a range that does not read or names too many machines.
bool Expand(const std::string& pattern, std::vector<std::string>* names, std::string* why) {
  const std::size_t open = pattern.find('[');
  if (open == std::string::npos) {
    if (!CanBeMachine(pattern)) {
      *why = "not a machine name";
      return false;
    }
    names->push_back(pattern);
    return true;
  }
  const std::size_t close = pattern.find(']', open);
  if (close == std::string::npos) {
    *why = "a range that is not closed";
    return false;
  }
  std::vector<std::string> parts;
  const std::string inside = pattern.substr(open + 1, close - open - 1);
  for (std::size_t at = 0;;) {
    const std::size_t colon = inside.find(':', at);
    parts.push_back(inside.substr(at, colon == std::string::npos ? colon : colon - at));
    if (colon == std::string::npos) break;
    at = colon + 1;
  }
  if (parts.size() < 2 || parts.size() > 3 || parts[1].empty()) {
    *why = "a range that is not [begin:end] or [begin:end:step]";
    return false;
  }
  std::string begin = parts[0].empty() ? "0" : parts[0];
  const std::string& end = parts[1];
  long long step = 1;
  if (parts.size() == 3) {
    if (!AllDigits(parts[2]) || parts[2].size() > 6 || std::stoll(parts[2]) == 0) {
      *why = "a range whose step is not a whole number above 0";
      return false;
    }
    step = std::stoll(parts[2]);
  }
  std::vector<std::string> values;
  if (AllDigits(begin) && AllDigits(end) && begin.size() <= 9 && end.size() <= 9) {
    const std::size_t width = begin.size() > 1 && begin[0] == '0' ? begin.size() : 0;
    if (width != 0 && width != end.size()) {
      *why = "a range whose begin and end are not written with the same number of digits";
      return false;
    }
    const long long first = std::stoll(begin);
    const long long last = std::stoll(end);
    if (first > last || static_cast<std::size_t>((last - first) / step) >= kRangeLimit) {
      *why = first > last ? "a range that ends before it begins"
                          : "a range of more than " + std::to_string(kRangeLimit) + " machines";
      return false;
    }
    for (long long n = first; n <= last; n += step) {
      std::string text = std::to_string(n);
      if (text.size() < width) text.insert(0, width - text.size(), '0');
      values.push_back(text);
    }
  } else if (begin.size() == 1 && end.size() == 1 && std::isalpha(static_cast<unsigned char>(begin[0])) &&
             std::isalpha(static_cast<unsigned char>(end[0])) && begin[0] <= end[0]) {
    const int first = static_cast<unsigned char>(begin[0]);
    const int last = static_cast<unsigned char>(end[0]);
    for (int c = first; c <= last; c += static_cast<int>(std::min<long long>(step, 64))) {
      values.emplace_back(1, static_cast<char>(c));
    }
  } else {
    *why = "a range that is neither of numbers nor of letters";
    return false;
  }
  const std::string head = pattern.substr(0, open);
  const std::string tail = pattern.substr(close + 1);
  for (const std::string& value : values) {
    if (names->size() >= kRangeLimit) {
      *why = "ranges of more than " + std::to_string(kRangeLimit) + " machines";
      return false;
    }
    std::string expanded = head;
    expanded += value;
    expanded += tail;
    if (!Expand(expanded, names, why)) return false;
  }
  return true;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  for (std::size_t at = 0; at <= text.size();) {
    std::size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(at, end - at);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
    at = end + 1;
  }
  return lines;
}

bool Comment(const std::string& line) {
  return line.empty() || line[0] == '#' || line[0] == ';';
}

// One name a line, or an INI inventory.
void ReadLines(const std::vector<std::string>& lines, Reading* reading) {
  bool hosts = true;  // false in [group:vars] and [group:children]
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const std::string line = Trim(lines[i]);
    const long long number = static_cast<long long>(i) + 1;
    if (Comment(line)) continue;
    if (line[0] == '[' && line.back() == ']') {
      hosts = line.find(':') == std::string::npos;
      continue;
    }
    if (!hosts) continue;
    std::vector<std::string> words;
    for (std::size_t at = 0; at < line.size();) {
      const std::size_t start = line.find_first_not_of(" \t", at);
      if (start == std::string::npos) break;
      std::size_t end = line.find_first_of(" \t", start);
      if (end == std::string::npos) end = line.size();
      words.push_back(line.substr(start, end - start));
      at = end;
    }
    bool variables = true;
    for (std::size_t w = 1; w < words.size(); ++w) {
      if (words[w][0] == '#') break;
      if (words[w].find('=') == std::string::npos) variables = false;
    }
    std::vector<std::string> names;
    std::string why;
    if (!variables) {
      reading->Problem(number, "not a machine: words after the first are not variables (a=b)");
    } else if (words[0].find('=') != std::string::npos) {
      reading->Problem(number, "a variable outside a [group:vars] section, not a machine");
    } else if (!Expand(words[0], &names, &why)) {
      reading->Problem(number, why + ": " + words[0].substr(0, 200));
    } else {
      reading->list->names.insert(reading->list->names.end(), names.begin(), names.end());
    }
  }
}

// The JSON `ansible-inventory --list` writes.
void ReadInventoryJson(const std::string& text, Reading* reading) {
  const nlohmann::json inventory = nlohmann::json::parse(text, nullptr, false);
  if (inventory.is_discarded() || !inventory.is_object()) {
    reading->Problem(0, "not the JSON ansible-inventory --list writes");
    return;
  }
  std::set<std::string> seen;
  auto add = [&seen, reading](const std::string& name) {
    if (!CanBeMachine(name)) {
      reading->Problem(0, "a host that is not a machine name: " + name.substr(0, 200));
    } else if (seen.insert(name).second) {
      reading->list->names.push_back(name);
    }
  };
  for (const auto& group : inventory.items()) {
    // A group may be its hosts' list alone ("web": ["pc01", "pc02"]).
    if (group.value().is_array()) {
      for (const nlohmann::json& host : group.value()) {
        if (host.is_string()) add(host.get<std::string>());
      }
      continue;
    }
    if (!group.value().is_object()) continue;
    if (group.key() == "_meta") {
      const auto vars = group.value().find("hostvars");
      if (vars != group.value().end() && vars->is_object()) {
        for (const auto& host : vars->items()) add(host.key());
      }
      continue;
    }
    const auto hosts = group.value().find("hosts");
    if (hosts == group.value().end()) continue;
    if (!hosts->is_array()) {
      reading->Problem(0, "group \"" + group.key().substr(0, 200) + "\": its hosts are no list");
      continue;
    }
    for (const nlohmann::json& host : *hosts) {
      if (host.is_string()) {
        add(host.get<std::string>());
      } else {
        reading->Problem(0, "group \"" + group.key().substr(0, 200) + "\": a host that is no text");
      }
    }
  }
}

// The column of `header` that names machines, or -1.
long MachineColumn(const std::vector<std::string>& header) {
  const Columns columns(header);
  for (const char* key : kMachineColumns) {
    const long found = columns.Find({key});
    if (found >= 0) return found;
  }
  return -1;
}

void ReadCsvList(const std::string& text, std::size_t header_line, Reading* reading) {
  CsvReader reader(text, SeparatorOf(text), kCsvRowByteLimit);
  std::vector<std::string> header;
  std::string why;
  if (reader.Next(&header, &why) != CsvReader::Result::kRecord) return;
  const long column = MachineColumn(header);
  std::vector<std::string> row;
  for (;;) {
    const CsvReader::Result read = reader.Next(&row, &why);
    if (read == CsvReader::Result::kEnd) break;
    const long long line = reader.line() + static_cast<long long>(header_line);
    if (read == CsvReader::Result::kBad) {
      reading->Problem(line, why);
      continue;
    }
    if (row == header) continue;  // two files joined
    const std::string name = Trim(Field(row, column));
    if (!CanBeMachine(name)) {
      reading->Problem(line, "not a machine name: " + name.substr(0, 200));
    } else {
      reading->list->names.push_back(name);
    }
  }
}

}  // namespace

ExpectedList ReadExpected(const std::string& bytes, const std::string& source) {
  ExpectedList list;
  Reading reading{source, &list};
  bool marked = false;
  const std::string text = DecodeText(bytes, &marked);
  const std::vector<std::string> lines = Lines(text);
  std::size_t first = 0;
  while (first < lines.size() && Comment(Trim(lines[first])) &&
         !StartsWith(Trim(lines[first]), "#TYPE ")) {
    ++first;
  }
  if (first >= lines.size()) return list;
  const std::string opening = Trim(lines[first]);
  if (opening[0] == '{') {
    ReadInventoryJson(text, &reading);
    return list;
  }
  if (opening == "---" || opening.back() == ':' || opening.find(": ") != std::string::npos) {
    reading.Problem(0,
                    "a YAML inventory is not read as it is: give the list Ansible makes of it, "
                    "ansible-inventory -i " + source + " --list > inventory.json, then --expect "
                    "inventory.json");
    return list;
  }
  std::size_t header = first;
  if (StartsWith(opening, "#TYPE ")) ++header;
  if (header < lines.size()) {
    std::vector<std::string> fields;
    std::string why;
    const std::string& line = lines[header];
    CsvReader reader(line, SeparatorOf(line), kCsvRowByteLimit);
    if (reader.Next(&fields, &why) == CsvReader::Result::kRecord &&
        MachineColumn(fields) >= 0) {
      std::size_t at = 0;
      for (std::size_t i = 0; i < header; ++i) at = text.find('\n', at) + 1;
      ReadCsvList(text.substr(at), header, &reading);
      return list;
    }
  }
  ReadLines(lines, &reading);
  return list;
}

std::size_t DistinctMachines(const std::vector<std::string>& expected) {
  std::set<std::string> keys;
  for (const std::string& name : expected) keys.insert(MachineKey(name));
  return keys.size();
}

void ApplyExpected(const std::vector<std::string>& expected,
                   std::deque<MachineResult>* placeholders,
                   std::vector<FleetMachine>* machines) {
  if (expected.empty()) return;
  std::set<std::string> wanted;
  for (const std::string& name : expected) wanted.insert(MachineKey(name));
  std::set<std::string> present;
  for (FleetMachine& machine : *machines) {
    const std::string key = MachineKey(machine.name);
    present.insert(key);
    if (wanted.count(key) == 0) machine.flags.emplace_back("not expected");
  }
  std::set<std::string> added;
  std::vector<bool> fresh(machines->size(), false);
  for (const std::string& name : expected) {
    const std::string key = MachineKey(name);
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
    fresh.push_back(true);
  }
  FlagNames(fresh, machines);
  std::vector<std::size_t> order(machines->size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::stable_sort(order.begin(), order.end(), [machines](std::size_t a, std::size_t b) {
    return MachineKey((*machines)[a].name) < MachineKey((*machines)[b].name);
  });
  std::vector<FleetMachine> sorted;
  sorted.reserve(order.size());
  for (const std::size_t i : order) sorted.push_back(std::move((*machines)[i]));
  *machines = std::move(sorted);
}
