// The simulated machine: its state file, read and written, and which devices an argument selects.
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <string>

#include "sim/commands.h"
#include "sim/sim.h"

namespace devcon_sim {

char FoldCase(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

std::string ToLower(const std::string& s) {
  std::string result = s;
  for (char& c : result) c = FoldCase(c);
  return result;
}

bool EqualsIgnoreCase(const std::string& a, const std::string& b) {
  return ToLower(a) == ToLower(b);
}

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

bool ParseLong(const std::string& text, long& value) {
  if (text.empty()) return false;
  errno = 0;
  char* end = nullptr;
  value = std::strtol(text.c_str(), &end, 10);
  return errno == 0 && *end == '\0' && !IsBlank(text[0]);
}

// Splits "keyword value" at the first blank; the value is kept exactly, a missing one is empty.
void SplitKeyword(const std::string& text, std::string& keyword, std::string& value,
                  bool& has_value) {
  size_t blank = text.find(' ');
  has_value = blank != std::string::npos;
  keyword = has_value ? text.substr(0, blank) : text;
  value = has_value ? text.substr(blank + 1) : std::string();
}

bool SetOnce(std::optional<std::string>& field, const std::string& value) {
  if (field) return false;
  field = value;
  return true;
}

bool SetFlag(bool& flag) {
  if (flag) return false;
  flag = true;
  return true;
}

// "<command>[:<argument>] <action>", the action being "exit N", "crash", "sleep MS" or
// "scan-fails". The action is taken from the end so an argument may contain blanks.
bool ParseFault(const std::string& text, Fault& fault, std::string& error) {
  size_t blank = text.rfind(' ');
  if (blank == std::string::npos) {
    error = "fault needs a command and an action";
    return false;
  }
  std::string last = text.substr(blank + 1);
  std::string key = text.substr(0, blank);
  if (last == "crash") {
    fault.action = FaultAction::kCrash;
  } else if (last == "scan-fails") {
    fault.action = FaultAction::kScanFails;
  } else {
    size_t verb_start = key.rfind(' ');
    if (verb_start == std::string::npos) {
      error = "unknown fault action '" + last + "'";
      return false;
    }
    std::string verb = key.substr(verb_start + 1);
    key.resize(verb_start);
    if (verb == "exit") {
      fault.action = FaultAction::kExit;
    } else if (verb == "sleep") {
      fault.action = FaultAction::kSleep;
    } else {
      error = "unknown fault action '" + verb + " " + last + "'";
      return false;
    }
    long lowest = fault.action == FaultAction::kSleep ? 0 : INT_MIN;
    if (!ParseLong(last, fault.value) || fault.value < lowest || fault.value > INT_MAX) {
      error = "bad number '" + last + "' in fault action";
      return false;
    }
  }

  size_t colon = key.find(':');
  fault.command = key.substr(0, colon);
  if (colon != std::string::npos) fault.argument = key.substr(colon + 1);
  if (fault.command.empty() || fault.command.find_first_of(" \t") != std::string::npos) {
    error = "bad fault command '" + fault.command + "'";
    return false;
  }
  if (fault.action == FaultAction::kScanFails && !EqualsIgnoreCase(fault.command, "rescan")) {
    error = "scan-fails applies to rescan only";
    return false;
  }
  return true;
}

// Problem codes are those of Windows: 1 to 99, shown with two digits at least.
bool SetProblem(Device& device, const std::string& value) {
  long code = 0;
  if (device.problem != 0 || !ParseLong(value, code) || code < 1 || code > 99) return false;
  device.problem = static_cast<int>(code);
  return true;
}

bool ParseDeviceProperty(const std::string& keyword, const std::string& value, bool has_value,
                         Device& device) {
  if (keyword == "description") return SetOnce(device.description, value);
  if (keyword == "hardware") {
    device.hardware_ids.push_back(value);
    return true;
  }
  if (keyword == "compatible") {
    device.compatible_ids.push_back(value);
    return true;
  }
  if (keyword == "problem") return SetProblem(device, value);
  if (keyword == "parent") return !value.empty() && SetOnce(device.parent, value);
  if (keyword == "rescan-description") return SetOnce(device.rescan_description, value);
  if (keyword == "rescan-driver") return !value.empty() && SetOnce(device.rescan_driver, value);
  if (has_value) return false;
  if (keyword == "absent") return !device.removed && SetFlag(device.absent);
  if (keyword == "running") return SetFlag(device.running);
  if (keyword == "stopped") return SetFlag(device.stopped);
  if (keyword == "driver-problem") return SetFlag(device.driver_problem);
  if (keyword == "status-unreadable") return SetFlag(device.status_unreadable);
  if (keyword == "fail-remove") return SetFlag(device.fail_remove);
  if (keyword == "remove-on-reboot") return SetFlag(device.remove_on_reboot);
  return false;
}

bool ParsePackageProperty(const std::string& keyword, const std::string& value, bool has_value,
                          Package& package) {
  if (keyword == "provider") return SetOnce(package.provider, value);
  if (keyword == "class") return SetOnce(package.class_name, value);
  if (has_value) return false;
  if (keyword == "in-use") return SetFlag(package.in_use);
  if (keyword == "fail-delete") return SetFlag(package.fail_delete);
  if (keyword == "unreadable") return SetFlag(package.unreadable);
  return false;
}

// `running` belongs to a device with a problem, `stopped` to one without.
std::string CheckDevice(const Device& device) {
  if (device.running && device.problem == 0) return "'running' needs a problem";
  if (device.stopped && device.problem != 0) return "'stopped' with a problem";
  return "";
}

void AppendOptional(std::string& text, const char* keyword,
                    const std::optional<std::string>& value) {
  if (value) text += std::string("  ") + keyword + " " + *value + "\n";
}

void AppendFlag(std::string& text, const char* keyword, bool set) {
  if (set) text += std::string("  ") + keyword + "\n";
}

std::string FaultActionText(const Fault& fault) {
  switch (fault.action) {
    case FaultAction::kExit: return "exit " + std::to_string(fault.value);
    case FaultAction::kCrash: return "crash";
    case FaultAction::kSleep: return "sleep " + std::to_string(fault.value);
    case FaultAction::kScanFails: return "scan-fails";
  }
  return "";
}

}  // namespace

bool IsPresent(const Device& device) { return !device.absent && !device.removed; }

bool operator==(const Device& a, const Device& b) {
  return a.instance_id == b.instance_id && a.description == b.description &&
         a.hardware_ids == b.hardware_ids && a.compatible_ids == b.compatible_ids &&
         a.absent == b.absent && a.removed == b.removed && a.problem == b.problem &&
         a.running == b.running && a.stopped == b.stopped &&
         a.driver_problem == b.driver_problem && a.status_unreadable == b.status_unreadable &&
         a.parent == b.parent && a.rescan_description == b.rescan_description &&
         a.rescan_driver == b.rescan_driver && a.fail_remove == b.fail_remove &&
         a.remove_on_reboot == b.remove_on_reboot;
}

bool operator==(const Package& a, const Package& b) {
  return a.published_name == b.published_name && a.provider == b.provider &&
         a.class_name == b.class_name && a.in_use == b.in_use &&
         a.fail_delete == b.fail_delete && a.unreadable == b.unreadable;
}

bool operator==(const Fault& a, const Fault& b) {
  return a.command == b.command && a.argument == b.argument && a.action == b.action &&
         a.value == b.value;
}

bool operator==(const Machine& a, const Machine& b) {
  return a.strict_remove == b.strict_remove && a.devices == b.devices &&
         a.packages == b.packages && a.faults == b.faults;
}

bool ParseMachine(const std::string& text, Machine& machine, std::string& error) {
  machine = Machine();
  enum class Section { kNone, kDevice, kPackage } section = Section::kNone;
  size_t start = (text.compare(0, 3, "\xEF\xBB\xBF") == 0) ? 3 : 0;
  int line_number = 0;
  int device_line = 0;
  auto device_done = [&]() {
    std::string problem;
    if (section == Section::kDevice) problem = CheckDevice(machine.devices.back());
    if (!problem.empty()) error = "line " + std::to_string(device_line) + ": " + problem;
    return problem.empty();
  };
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    start = end + 1;
    ++line_number;
    if (!line.empty() && line.back() == '\r') line.pop_back();

    size_t first = 0;
    while (first < line.size() && IsBlank(line[first])) ++first;
    if (first == line.size() || line[first] == '#') continue;

    std::string keyword, value;
    bool has_value = false;
    SplitKeyword(line.substr(first), keyword, value, has_value);
    std::string problem;
    if (first > 0) {
      bool ok = false;
      if (section == Section::kDevice) {
        ok = ParseDeviceProperty(keyword, value, has_value, machine.devices.back());
      } else if (section == Section::kPackage) {
        ok = ParsePackageProperty(keyword, value, has_value, machine.packages.back());
      }
      if (!ok) problem = "unexpected, repeated or bad '" + keyword + "' here";
    } else if (!device_done()) {
      return false;
    } else if ((keyword == "device" || keyword == "removed" || keyword == "package") &&
               value.empty()) {
      problem = keyword + " needs a name";
    } else if (keyword == "device" || keyword == "removed") {
      machine.devices.push_back(Device());
      machine.devices.back().instance_id = value;
      machine.devices.back().removed = keyword == "removed";
      section = Section::kDevice;
      device_line = line_number;
    } else if (keyword == "package") {
      machine.packages.push_back(Package());
      machine.packages.back().published_name = value;
      section = Section::kPackage;
    } else if (keyword == "strict-remove" && !has_value) {
      if (!SetFlag(machine.strict_remove)) problem = "repeated 'strict-remove'";
      section = Section::kNone;
    } else if (keyword == "fault") {
      Fault fault;
      if (ParseFault(value, fault, problem)) machine.faults.push_back(fault);
      section = Section::kNone;
    } else {
      problem = "unknown entry '" + keyword + "'";
    }
    if (!problem.empty()) {
      error = "line " + std::to_string(line_number) + ": " + problem;
      return false;
    }
  }
  return device_done();
}

std::string SerialiseMachine(const Machine& machine) {
  std::string text;
  if (machine.strict_remove) text += "strict-remove\n";
  for (const Device& device : machine.devices) {
    text += (device.removed ? "removed " : "device ") + device.instance_id + "\n";
    AppendOptional(text, "description", device.description);
    for (const std::string& id : device.hardware_ids) text += "  hardware " + id + "\n";
    for (const std::string& id : device.compatible_ids) text += "  compatible " + id + "\n";
    AppendFlag(text, "absent", device.absent);
    if (device.problem != 0) text += "  problem " + std::to_string(device.problem) + "\n";
    AppendFlag(text, "running", device.running);
    AppendFlag(text, "stopped", device.stopped);
    AppendFlag(text, "driver-problem", device.driver_problem);
    AppendFlag(text, "status-unreadable", device.status_unreadable);
    AppendOptional(text, "parent", device.parent);
    AppendOptional(text, "rescan-description", device.rescan_description);
    AppendOptional(text, "rescan-driver", device.rescan_driver);
    AppendFlag(text, "fail-remove", device.fail_remove);
    AppendFlag(text, "remove-on-reboot", device.remove_on_reboot);
  }
  for (const Package& package : machine.packages) {
    text += "package " + package.published_name + "\n";
    AppendOptional(text, "provider", package.provider);
    AppendOptional(text, "class", package.class_name);
    AppendFlag(text, "in-use", package.in_use);
    AppendFlag(text, "fail-delete", package.fail_delete);
    AppendFlag(text, "unreadable", package.unreadable);
  }
  for (const Fault& fault : machine.faults) {
    text += "fault " + fault.command;
    if (fault.argument) text += ":" + *fault.argument;
    text += " " + FaultActionText(fault) + "\n";
  }
  return text;
}

bool WildcardMatch(const std::string& pattern, const std::string& text) {
  size_t p = 0;
  size_t t = 0;
  size_t star = std::string::npos;  // position of the last '*' seen in the pattern
  size_t resume = 0;                // text position that '*' currently stretches to
  while (t < text.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      resume = t;
    } else if (p < pattern.size() && FoldCase(pattern[p]) == FoldCase(text[t])) {
      ++p;
      ++t;
    } else if (star != std::string::npos) {
      p = star + 1;
      t = ++resume;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

bool DeviceMatches(const Device& device, const std::string& argument, bool include_absent) {
  if (device.removed) return false;
  if (!argument.empty() && argument[0] == '@') {
    std::string pattern = argument.substr(1);
    if (pattern.find('*') == std::string::npos) {
      return EqualsIgnoreCase(pattern, device.instance_id);
    }
    return (include_absent || !device.absent) && WildcardMatch(pattern, device.instance_id);
  }
  if (device.absent && !include_absent) return false;
  for (const std::string& id : device.hardware_ids) {
    if (WildcardMatch(argument, id)) return true;
  }
  for (const std::string& id : device.compatible_ids) {
    if (WildcardMatch(argument, id)) return true;
  }
  return false;
}

}  // namespace devcon_sim
