#include "sim/sim.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#ifdef _WIN32
#include <windows.h>
#else
#include <time.h>
#endif

namespace devcon_sim {

namespace {

namespace fs = std::filesystem;

const char kFailedPrefix[] = "devcon: command ";
const char kDeleteFailed[] = "Deleting the specified driver package from the machine failed";

// ---------------------------------------------------------------------------------------------
// Small text helpers

char FoldCase(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

std::string ToLower(const std::string& s) {
  std::string result = s;
  for (char& c : result) c = FoldCase(c);
  return result;
}

bool EqualsIgnoreCase(const std::string& a, const std::string& b) {
  return ToLower(a) == ToLower(b);
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// Characters, not bytes: the real program pads wide strings, so a UTF-8 sequence is one column.
size_t DisplayLength(const std::string& s) {
  size_t length = 0;
  for (char c : s) {
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++length;
  }
  return length;
}

// printf("%-60s: %s\n", id, text)
std::string PaddedLine(const std::string& instance_id, const std::string& text) {
  std::string line = instance_id;
  size_t length = DisplayLength(instance_id);
  if (length < 60) line.append(60 - length, ' ');
  return line + ": " + text + "\n";
}

bool ParseLong(const std::string& text, long& value) {
  if (text.empty()) return false;
  errno = 0;
  char* end = nullptr;
  value = std::strtol(text.c_str(), &end, 10);
  return errno == 0 && *end == '\0' && !IsBlank(text[0]);
}

// oem<digits>.inf, any case: the only shape a third-party published name has.
bool IsPublishedName(const std::string& name) {
  std::string lower = ToLower(name);
  if (lower.size() < 8 || lower.compare(0, 3, "oem") != 0 ||
      lower.compare(lower.size() - 4, 4, ".inf") != 0) {
    return false;
  }
  for (size_t i = 3; i < lower.size() - 4; ++i) {
    if (lower[i] < '0' || lower[i] > '9') return false;
  }
  return true;
}

// ---------------------------------------------------------------------------------------------
// State file

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
  if (has_value) return false;
  if (keyword == "absent") return SetFlag(device.absent);
  if (keyword == "fail-remove") return SetFlag(device.fail_remove);
  if (keyword == "remove-on-reboot") return SetFlag(device.remove_on_reboot);
  return false;
}

bool ParsePackageProperty(const std::string& keyword, const std::string& value, bool has_value,
                          Package& package) {
  if (keyword == "provider") return SetOnce(package.provider, value);
  if (keyword == "class") return SetOnce(package.class_name, value);
  if (keyword == "signer") return SetOnce(package.signer, value);
  if (keyword == "date") return SetOnce(package.date, value);
  if (keyword == "version") return SetOnce(package.version, value);
  if (has_value) return false;
  if (keyword == "in-use") return SetFlag(package.in_use);
  if (keyword == "fail-delete") return SetFlag(package.fail_delete);
  if (keyword == "unreadable") return SetFlag(package.unreadable);
  return false;
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

// ---------------------------------------------------------------------------------------------
// Files

// A missing file reads as empty text; any other failure to read is an error.
bool ReadWholeFile(const std::string& path, std::string& text, std::string& error) {
  text.clear();
  fs::path file = fs::u8path(path);
  std::error_code ec;
  if (!fs::exists(file, ec)) {
    if (!ec) return true;
    error = "cannot look at " + path + ": " + ec.message();
    return false;
  }
  std::ifstream in(file, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  if (!in) {
    error = "cannot read " + path;
    return false;
  }
  text = content.str();
  return true;
}

bool WriteFileAs(const fs::path& file, const std::string& text) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(text.data(), static_cast<std::streamsize>(text.size()));
  out.close();
  return static_cast<bool>(out);
}

// Whole file to a sibling, then renamed over the old one, so a reader never sees half a state.
// Where the rename is refused (a reader holding the file open on Windows), it is written in place.
bool WriteWholeFile(const std::string& path, const std::string& text, std::string& error) {
  fs::path file = fs::u8path(path);
  fs::path temporary = fs::u8path(path + ".devcon-sim-tmp");
  std::error_code ec;
  if (WriteFileAs(temporary, text)) {
    fs::rename(temporary, file, ec);
    if (!ec) return true;
    fs::remove(temporary, ec);
  }
  if (WriteFileAs(file, text)) return true;
  error = "cannot write " + path;
  return false;
}

bool AppendToLog(const std::string& path, const std::vector<std::string>& args,
                 std::string& error) {
  std::string line;
  for (size_t i = 0; i < args.size(); ++i) {
    if (i > 0) line += '\t';
    line += args[i];
  }
  line += '\n';
  std::ofstream out(fs::u8path(path), std::ios::binary | std::ios::app);
  out.write(line.data(), static_cast<std::streamsize>(line.size()));
  out.close();
  if (!out) {
    error = "cannot append to log " + path;
    return false;
  }
  return true;
}

// ---------------------------------------------------------------------------------------------
// Faults

bool FaultApplies(const Fault& fault, const CommandLine& command_line) {
  if (!command_line.command || !EqualsIgnoreCase(fault.command, *command_line.command)) {
    return false;
  }
  if (!fault.argument) return true;
  return !command_line.arguments.empty() &&
         EqualsIgnoreCase(*fault.argument, command_line.arguments[0]);
}

void SleepMilliseconds(long milliseconds) {
#ifdef _WIN32
  Sleep(static_cast<DWORD>(milliseconds));
#else
  timespec delay;
  delay.tv_sec = milliseconds / 1000;
  delay.tv_nsec = (milliseconds % 1000) * 1000000L;
  while (nanosleep(&delay, &delay) != 0 && errno == EINTR) {
  }
#endif
}

// A genuine access violation. The pointer is volatile so the null cannot be seen and the store
// turned into a trap; the target is volatile so the store, never read back, is not dropped.
void Crash() {
  volatile int* volatile target = nullptr;
  // cppcheck-suppress nullPointer ; the access violation is the point
  *target = 0xDEAD;
}

// ---------------------------------------------------------------------------------------------
// Commands

const char kGeneralUsage[] =
    "Device Console\n"
    "Usage: devcon [-r] [-f] [-m:\\\\<machine>] <command> [<arg>...]\n"
    "Commands:\n"
    "  findall <id> [<id>...]   Find devices, present or not, by hardware ID or @instance ID.\n"
    "  remove <id> [<id>...]    Remove devices by hardware ID or @instance ID.\n"
    "  dp_enum                  List third-party driver packages.\n"
    "  dp_delete <oemN.inf>     Delete a third-party driver package (-f: even if in use).\n"
    "  rescan                   Scan for new hardware.\n";

int Usage(const std::string& command, const std::string& syntax, std::string& err) {
  err += "devcon: invalid use of " + command + ".\n";
  err += "Usage: devcon " + syntax + "\n";
  return kExitUsage;
}

int Failed(const std::string& command, int code, std::string& err) {
  err += kFailedPrefix + command + " failed\n";
  return code;
}

int CmdFindAll(const CommandLine& cl, const Machine& machine, std::string& out, std::string& err) {
  if (cl.arguments.empty()) return Usage("findall", "findall <id> [<id>...]", err);
  size_t found = 0;
  for (const Device& device : machine.devices) {
    bool selected = false;
    for (const std::string& argument : cl.arguments) {
      selected = selected || DeviceMatches(device, argument, true);
    }
    if (!selected) continue;
    ++found;
    out += device.description ? PaddedLine(device.instance_id, *device.description)
                              : device.instance_id + "\n";
  }
  if (found == 0) {
    out += "No matching devices found.\n";
  } else {
    out += std::to_string(found) + " matching device(s) found.\n";
  }
  return kExitOk;
}

// Hardware-ID and wildcard arguments see present devices only, as in the real program; an exact
// @instance reaches an absent one too. The exit code is the real program's: 0 whether or not
// anything was removed, 1 when a removal waits for a reboot (the message then counts the
// devices waiting for it). A strict machine also exits 2 unless something matched and no
// removal failed.
int CmdRemove(const CommandLine& cl, Machine& machine, std::string& out, std::string& err,
              bool& changed) {
  if (cl.arguments.empty()) return Usage("remove", "[-f] remove <id> [<id>...]", err);
  size_t matched = 0;
  size_t removed = 0;
  size_t on_reboot = 0;
  size_t failed = 0;
  std::vector<Device> kept;
  for (Device& device : machine.devices) {
    bool selected = false;
    for (const std::string& argument : cl.arguments) {
      selected = selected || DeviceMatches(device, argument, false);
    }
    if (!selected) {
      kept.push_back(device);
      continue;
    }
    ++matched;
    if (device.fail_remove) {
      out += PaddedLine(device.instance_id, "Remove failed");
      kept.push_back(device);
      ++failed;
    } else if (device.remove_on_reboot) {
      out += PaddedLine(device.instance_id, "Removed on reboot");
      kept.push_back(device);
      ++on_reboot;
    } else {
      out += PaddedLine(device.instance_id, "Removed");
      ++removed;
    }
  }
  if (removed > 0) {
    machine.devices = kept;
    changed = true;
  }
  int code = kExitOk;
  if (on_reboot > 0) {
    out += "The " + std::to_string(on_reboot) +
           " device(s) are ready to be removed. To remove the devices, reboot the system.\n";
    code = kExitReboot;
  } else if (removed > 0) {
    out += std::to_string(removed) + " device(s) were removed.\n";
  } else {
    out += "No devices were removed.\n";
  }
  if (machine.strict_remove && (matched == 0 || failed > 0)) {
    return Failed("remove", kExitFail, err);
  }
  return code;
}

int CmdDpEnum(const CommandLine& cl, const Machine& machine, std::string& out, std::string& err) {
  if (!cl.arguments.empty()) return Usage("dp_enum", "dp_enum", err);
  if (machine.packages.empty()) {
    out += "There are no third-party driver packages on this machine.\n";
    return kExitOk;
  }
  out += "The following third-party driver packages are installed on this computer:\n";
  for (const Package& package : machine.packages) {
    out += package.published_name + "\n";
    if (package.unreadable) continue;
    out += "    Provider: " + package.provider.value_or("unknown") + "\n";
    out += "    Class: " + package.class_name.value_or("unknown") + "\n";
    out += "    Signer: " + package.signer.value_or("unknown") + "\n";
    out += "    Date: " + package.date.value_or("unknown") + "\n";
    out += "    Version: " + package.version.value_or("unknown") + "\n";
  }
  return kExitOk;
}

// Published names compare case-insensitively, as file names do on Windows. The success message
// repeats the name as given. An unreadable INF is still deleted: removing a package does not
// need its contents. An in-use refusal is checked before a forced delete can hit fail-delete.
int CmdDpDelete(const CommandLine& cl, Machine& machine, std::string& out, std::string& err,
                bool& changed) {
  if (cl.arguments.size() != 1) return Usage("dp_delete", "[-f] dp_delete <oemN.inf>", err);
  const std::string& name = cl.arguments[0];
  if (!IsPublishedName(name)) {
    out += "The specified INF path is not valid.\n";
    return Failed("dp_delete", kExitFail, err);
  }
  auto package = machine.packages.begin();
  while (package != machine.packages.end() && !EqualsIgnoreCase(package->published_name, name)) {
    ++package;
  }
  if (package == machine.packages.end()) {
    out += std::string(kDeleteFailed) + "\nbecause it is not an third-party package.\n";
    return Failed("dp_delete", kExitFail, err);
  }
  if (package->in_use && !cl.force) {
    out += std::string(kDeleteFailed) + "\nbecause it is in use by a device.\n";
    return Failed("dp_delete", kExitFail, err);
  }
  if (package->fail_delete) {
    out += std::string(kDeleteFailed) + ".\n";
    return Failed("dp_delete", kExitFail, err);
  }
  machine.packages.erase(package);
  changed = true;
  out += "Driver package '" + name + "' deleted.\n";
  return kExitOk;
}

int CmdRescan(bool scan_fails, std::string& out, std::string& err) {
  out += "Scanning for new hardware.\n";
  if (scan_fails) return Failed("rescan", kExitFail, err);
  out += "Scanning completed.\n";
  return kExitOk;
}

bool IsSwitch(const std::string& arg) { return !arg.empty() && (arg[0] == '-' || arg[0] == '/'); }

bool IsOption(const std::string& arg, char letter) {
  return arg.size() == 2 && IsSwitch(arg) && FoldCase(arg[1]) == letter;
}

}  // namespace

// ---------------------------------------------------------------------------------------------

bool operator==(const Device& a, const Device& b) {
  return a.instance_id == b.instance_id && a.description == b.description &&
         a.hardware_ids == b.hardware_ids && a.compatible_ids == b.compatible_ids &&
         a.absent == b.absent && a.fail_remove == b.fail_remove &&
         a.remove_on_reboot == b.remove_on_reboot;
}

bool operator==(const Package& a, const Package& b) {
  return a.published_name == b.published_name && a.provider == b.provider &&
         a.class_name == b.class_name && a.signer == b.signer && a.date == b.date &&
         a.version == b.version && a.in_use == b.in_use && a.fail_delete == b.fail_delete &&
         a.unreadable == b.unreadable;
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
      if (!ok) problem = "unexpected or repeated '" + keyword + "' here";
    } else if ((keyword == "device" || keyword == "package") && value.empty()) {
      problem = keyword + " needs a name";
    } else if (keyword == "device") {
      machine.devices.push_back(Device());
      machine.devices.back().instance_id = value;
      section = Section::kDevice;
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
  return true;
}

std::string SerialiseMachine(const Machine& machine) {
  std::string text;
  if (machine.strict_remove) text += "strict-remove\n";
  for (const Device& device : machine.devices) {
    text += "device " + device.instance_id + "\n";
    AppendOptional(text, "description", device.description);
    for (const std::string& id : device.hardware_ids) text += "  hardware " + id + "\n";
    for (const std::string& id : device.compatible_ids) text += "  compatible " + id + "\n";
    AppendFlag(text, "absent", device.absent);
    AppendFlag(text, "fail-remove", device.fail_remove);
    AppendFlag(text, "remove-on-reboot", device.remove_on_reboot);
  }
  for (const Package& package : machine.packages) {
    text += "package " + package.published_name + "\n";
    AppendOptional(text, "provider", package.provider);
    AppendOptional(text, "class", package.class_name);
    AppendOptional(text, "signer", package.signer);
    AppendOptional(text, "date", package.date);
    AppendOptional(text, "version", package.version);
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

CommandLine ParseCommandLine(const std::vector<std::string>& args) {
  CommandLine cl;
  for (const std::string& arg : args) {
    if (cl.command) {
      cl.arguments.push_back(arg);
    } else if (IsOption(arg, 'f')) {
      cl.force = true;
    } else if (IsOption(arg, 'r')) {
      cl.reboot = true;
    } else if (IsOption(arg, 'u')) {
      cl.unconfigured = true;
    } else if (arg.size() >= 3 && IsSwitch(arg) && FoldCase(arg[1]) == 'm' && arg[2] == ':') {
      cl.machine = arg.substr(3);
    } else {
      cl.command = IsSwitch(arg) ? arg.substr(1) : arg;
    }
  }
  return cl;
}

int ExecuteCommand(const CommandLine& command_line, Machine& machine, bool scan_fails,
                   std::string& out, std::string& err, bool& changed) {
  changed = false;
  std::string name = ToLower(command_line.command.value_or(""));
  if (name == "findall") return CmdFindAll(command_line, machine, out, err);
  if (name == "remove") return CmdRemove(command_line, machine, out, err, changed);
  if (name == "dp_enum") return CmdDpEnum(command_line, machine, out, err);
  if (name == "dp_delete") return CmdDpDelete(command_line, machine, out, err, changed);
  if (name == "rescan") return CmdRescan(scan_fails, out, err);
  if (command_line.command) err += "devcon: unknown command '" + *command_line.command + "'.\n";
  err += kGeneralUsage;
  return kExitUsage;
}

int RunDevcon(const std::vector<std::string>& args, const std::string& state_path,
              const std::string& log_path, std::string& out, std::string& err) {
  std::string error;
  if (!log_path.empty() && !AppendToLog(log_path, args, error)) {
    err += "devcon simulator: " + error + "\n";
    return kExitSimError;
  }
  std::string text;
  Machine machine;
  if (!state_path.empty() &&
      (!ReadWholeFile(state_path, text, error) || !ParseMachine(text, machine, error))) {
    err += "devcon simulator: " + state_path + ": " + error + "\n";
    return kExitSimError;
  }

  CommandLine command_line = ParseCommandLine(args);
  bool scan_fails = false;
  for (const Fault& fault : machine.faults) {
    if (!FaultApplies(fault, command_line)) continue;
    switch (fault.action) {
      case FaultAction::kExit: return static_cast<int>(fault.value);
      case FaultAction::kCrash: Crash(); break;
      case FaultAction::kSleep: SleepMilliseconds(fault.value); break;
      case FaultAction::kScanFails: scan_fails = true; break;
    }
  }

  bool changed = false;
  int code = ExecuteCommand(command_line, machine, scan_fails, out, err, changed);
  if (changed && !state_path.empty() &&
      !WriteWholeFile(state_path, SerialiseMachine(machine), error)) {
    err += "devcon simulator: " + error + "\n";
    return kExitSimError;
  }
  return code;
}

}  // namespace devcon_sim
