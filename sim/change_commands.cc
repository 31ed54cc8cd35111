// The commands that change the machine: remove, dp_delete and rescan.
#include <cstddef>
#include <string>
#include <vector>

#include "sim/commands.h"
#include "sim/sim.h"

namespace devcon_sim {

namespace {

const char kDeleteFailed[] = "Deleting the specified driver package from the machine failed";

// The file name of a path, as the real program takes a package's name from what it is given.
std::string FileName(const std::string& path) {
  size_t separator = path.find_last_of("\\/");
  return separator == std::string::npos ? path : path.substr(separator + 1);
}

// What a rescan makes of a plugged-in device it finds without an instance: the same instance
// and IDs, the description its bus or Windows' own driver gives it, and that driver running or
// none at all (problem 28).
void Recreate(Device& device) {
  device.removed = false;
  if (device.rescan_description) device.description = device.rescan_description;
  device.problem = device.rescan_driver ? 0 : kProblemNoDriver;
  device.running = false;
  device.stopped = false;
  device.driver_problem = false;
  device.status_unreadable = false;
}

bool IsRecreated(const std::vector<std::string>& recreated, const std::string& instance_id) {
  for (const std::string& id : recreated) {
    if (EqualsIgnoreCase(id, instance_id)) return true;
  }
  return false;
}

}  // namespace

// Hardware-ID and wildcard arguments see present devices only, as in the real program; an exact
// @instance reaches an absent one too. A removed device that is plugged in stays known to the
// machine until the next rescan re-creates it; an unplugged one is gone for good. A removal that
// waits for a reboot leaves the device present with problem 21, its driver still running. The
// exit code is the real program's: 0 whether or not anything was removed, 1 when a removal
// waits for a reboot (the message then counts the devices waiting for it). A strict machine
// also fails unless something matched and no removal failed.
int CmdRemove(const CommandLine& cl, Machine& machine, std::string& out, bool& changed) {
  if (cl.arguments.empty()) return kExitUsage;
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
    if (selected) {
      ++matched;
      if (device.fail_remove) {
        out += PaddedLine(device.instance_id, "Remove failed");
        ++failed;
      } else if (device.remove_on_reboot) {
        out += PaddedLine(device.instance_id, "Removed on reboot");
        changed = changed || device.problem != kProblemBeingRemoved || !device.running;
        device.problem = kProblemBeingRemoved;
        device.running = true;
        device.stopped = false;
        ++on_reboot;
      } else {
        out += PaddedLine(device.instance_id, "Removed");
        changed = true;
        ++removed;
        if (device.absent) continue;
        device.removed = true;
      }
    }
    kept.push_back(device);
  }
  machine.devices = kept;
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
  if (machine.strict_remove && (matched == 0 || failed > 0)) return kExitFail;
  return code;
}

// Published names compare case-insensitively, as file names do on Windows; a path names the
// package by its file name, and arguments after the first are ignored. A name that is no
// package's (usbaudio.inf, oem99.inf) is refused as Windows refuses it. An unreadable INF is
// still deleted: removing a package does not need its contents. An in-use refusal is checked
// before a forced delete can hit fail-delete.
int CmdDpDelete(const CommandLine& cl, Machine& machine, std::string& out, bool& changed) {
  if (cl.arguments.empty()) return kExitUsage;
  std::string name = FileName(cl.arguments[0]);
  if (name.empty()) {
    out += "The specified INF path is not valid.\n";
    return kExitFail;
  }
  auto package = machine.packages.begin();
  while (package != machine.packages.end() && !EqualsIgnoreCase(package->published_name, name)) {
    ++package;
  }
  if (package == machine.packages.end()) {
    out += std::string(kDeleteFailed) + "\nbecause it is not an third-party package.\n";
    return kExitFail;
  }
  if (package->in_use && !cl.force) {
    out += std::string(kDeleteFailed) + "\nbecause it is in use by a device.\n";
    return kExitFail;
  }
  if (package->fail_delete) {
    out += std::string(kDeleteFailed) + ".\n";
    return kExitFail;
  }
  machine.packages.erase(package);
  changed = true;
  out += "Driver package '" + name + "' deleted.\n";
  return kExitOk;
}

// Re-creates every plugged-in device removed since the last rescan; a device with a parent (an
// audio endpoint) comes back only with its parent, in the same rescan. Arguments are ignored.
int CmdRescan(Machine& machine, bool scan_fails, std::string& out, bool& changed) {
  out += "Scanning for new hardware.\n";
  if (scan_fails) return kExitFail;
  std::vector<std::string> recreated;
  bool more = true;
  while (more) {
    more = false;
    for (Device& device : machine.devices) {
      if (!device.removed || (device.parent && !IsRecreated(recreated, *device.parent))) {
        continue;
      }
      Recreate(device);
      recreated.push_back(device.instance_id);
      changed = true;
      more = true;
    }
  }
  out += "Scanning completed.\n";
  return kExitOk;
}

}  // namespace devcon_sim
