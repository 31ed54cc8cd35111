// The commands that list the machine: findall, find, status and dp_enum.
#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

#include "sim/commands.h"
#include "sim/sim.h"

namespace devcon_sim {

// Characters, not bytes: the real program pads wide strings, so a UTF-8 sequence is one column.
std::string PaddedLine(const std::string& instance_id, const std::string& text) {
  size_t length = 0;
  for (char c : instance_id) {
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++length;
  }
  std::string line = instance_id;
  if (length < 60) line.append(60 - length, ' ');
  return line + ": " + text + "\n";
}

namespace {

// The devices any argument selects, in the machine's order. `present_only`: find and status,
// which see plugged-in devices with an instance now, an exact @instance included.
std::vector<const Device*> Selected(const CommandLine& cl, const Machine& machine,
                                    bool present_only) {
  std::vector<const Device*> selected;
  for (const Device& device : machine.devices) {
    if (present_only && !IsPresent(device)) continue;
    for (const std::string& argument : cl.arguments) {
      if (DeviceMatches(device, argument, !present_only)) {
        selected.push_back(&device);
        break;
      }
    }
  }
  return selected;
}

std::string ListingLine(const Device& device) {
  return device.description ? PaddedLine(device.instance_id, *device.description)
                            : device.instance_id + "\n";
}

void AppendSummary(size_t found, std::string& out) {
  out += found == 0 ? std::string("No matching devices found.\n")
                    : std::to_string(found) + " matching device(s) found.\n";
}

int ListDevices(const CommandLine& cl, const Machine& machine,
                bool present_only, std::string& out) {
  if (cl.arguments.empty()) return kExitUsage;
  std::vector<const Device*> selected = Selected(cl, machine, present_only);
  for (const Device* device : selected) out += ListingLine(*device);
  AppendSummary(selected.size(), out);
  return kExitOk;
}

std::string ProblemLine(int problem) {
  char code[16];
  static_cast<void>(std::snprintf(code, sizeof code, "%02d", problem));
  return std::string("    The device has the following problem: ") + code + "\n";
}

// The lines under a device's instance ID: a disabled device says only that; otherwise its
// problem, the driver's own problem, then whether the driver runs (a device with a problem
// says nothing when it does not).
std::string StatusLines(const Device& device) {
  if (device.status_unreadable) return "    Error retrieving the device's status.\n";
  if (device.problem == kProblemDisabled) return "    Device is disabled.\n";
  std::string lines;
  if (device.problem != 0) lines += ProblemLine(device.problem);
  if (device.driver_problem) lines += "    The driver reported a problem with the device.\n";
  bool running = device.problem != 0 ? device.running : !device.stopped;
  if (running) {
    lines += "    Driver is running.\n";
  } else if (device.problem == 0) {
    lines += "    Device is currently stopped.\n";
  }
  return lines;
}

}  // namespace

int CmdFindAll(const CommandLine& cl, const Machine& machine, std::string& out) {
  return ListDevices(cl, machine, false, out);
}

int CmdFind(const CommandLine& cl, const Machine& machine, std::string& out) {
  return ListDevices(cl, machine, true, out);
}

int CmdStatus(const CommandLine& cl, const Machine& machine, std::string& out) {
  if (cl.arguments.empty()) return kExitUsage;
  std::vector<const Device*> selected = Selected(cl, machine, true);
  for (const Device* device : selected) {
    out += device->instance_id + "\n";
    if (device->description) out += "    Name: " + *device->description + "\n";
    out += StatusLines(*device);
  }
  AppendSummary(selected.size(), out);
  return kExitOk;
}

int CmdDpEnum(const CommandLine& cl, const Machine& machine, std::string& out) {
  if (!cl.arguments.empty()) return kExitUsage;
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
  }
  return kExitOk;
}

}  // namespace devcon_sim
