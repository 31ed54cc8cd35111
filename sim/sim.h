// Device console simulator: the logic behind the simulated `devcon` executable.
//
// The cleanup tool drives `devcon` and reads its output and exit code, so everything here
// reproduces the real program's output shapes and exit codes byte for byte. The simulated
// machine lives in a text state file that a test harness writes; the simulator reads it on
// every run and rewrites it when a command changes it.
// Every run is appended to an invocation log so a harness can check what the tool ran.
//
// All text is UTF-8. Output uses "\n"; the executable writes it through a text-mode stream, so
// it becomes CR LF on Windows exactly like the real program's output.
#ifndef DEVCON_SIM_SIM_H_
#define DEVCON_SIM_SIM_H_

#include <optional>
#include <string>
#include <vector>

namespace devcon_sim {

// Exit codes of the real program.
constexpr int kExitOk = 0;
constexpr int kExitReboot = 1;
constexpr int kExitFail = 2;
constexpr int kExitUsage = 3;
// The simulator itself cannot work (bad state file, log or state not writable). Distinct from
// every code the real program uses, so a broken harness set-up never passes for a device failure.
constexpr int kExitSimError = 9;

struct Device {
  std::string instance_id;
  std::optional<std::string> description;  // none: findall prints the bare instance ID
  std::vector<std::string> hardware_ids;
  std::vector<std::string> compatible_ids;
  bool absent = false;       // not present: only findall and an exact `@instance` see it
  bool fail_remove = false;  // remove reports "Remove failed" and keeps the device
  // remove reports "Removed on reboot", keeps the device (it goes at the next reboot, which
  // never comes here) and asks for a reboot with exit code 1. fail-remove wins over it.
  bool remove_on_reboot = false;
};

struct Package {
  std::string published_name;  // e.g. "oem12.inf"
  std::optional<std::string> provider;
  std::optional<std::string> class_name;
  std::optional<std::string> signer;
  std::optional<std::string> date;
  std::optional<std::string> version;
  bool in_use = false;       // dp_delete refuses it unless forced
  bool fail_delete = false;  // dp_delete fails whatever the options
  bool unreadable = false;   // INF cannot be read: dp_enum shows the name alone
};

enum class FaultAction {
  kExit,       // print nothing, do nothing, exit with `value`
  kCrash,      // die of an access violation
  kSleep,      // wait `value` milliseconds, then answer normally
  kScanFails,  // rescan only: the scan itself fails
};

// An injected misbehaviour. It applies when `command` equals the command given
// (case-insensitively) and, if `argument` is set, the first argument after the command equals it
// (case-insensitively).
struct Fault {
  std::string command;
  std::optional<std::string> argument;
  FaultAction action = FaultAction::kExit;
  long value = 0;
};

// Each list keeps the order of the state file; that order is the enumeration order.
struct Machine {
  // `strict-remove` in the state file. Off, remove exits as the real program does: 0 whether or
  // not anything was removed, 1 when a removal waits for a reboot. On, it also exits 2 (with
  // "devcon: command remove failed") when nothing matched or any removal failed, so that a
  // caller counting only status 0 as success can be shown a failure.
  bool strict_remove = false;
  std::vector<Device> devices;
  std::vector<Package> packages;
  std::vector<Fault> faults;
};

bool operator==(const Device& a, const Device& b);
bool operator==(const Package& a, const Package& b);
bool operator==(const Fault& a, const Fault& b);
bool operator==(const Machine& a, const Machine& b);

// State file text <-> machine. ParseMachine rejects anything it does not understand (with the
// line number in `error`) rather than guess, so a typo in a harness is never a silent no-op.
// SerialiseMachine writes the machine's settings, then devices, packages and faults, each in its
// own order, and drops comments; parsing its output gives back an equal machine.
bool ParseMachine(const std::string& text, Machine& machine, std::string& error);
std::string SerialiseMachine(const Machine& machine);

// Case-insensitive (ASCII) match where `*` stands for any run of characters, none included.
// Without `*` this is a whole-string compare.
bool WildcardMatch(const std::string& pattern, const std::string& text);

// Whether one command-line device argument selects `device`. A plain argument is a hardware-ID
// pattern tried on every hardware and compatible ID; `@...` is tried on the instance ID. An
// exact `@instance` (no `*`) opens that device whether present or not; otherwise an absent device
// is seen only when `include_absent` (findall) is set.
bool DeviceMatches(const Device& device, const std::string& argument, bool include_absent);

struct CommandLine {
  bool force = false;        // -f
  bool reboot = false;       // -r: only acted on when a reboot is needed, which never happens here
  bool unconfigured = false; // -u: accepted, no effect here
  std::string machine;       // -m:<machine>: accepted, the local simulated machine is used anyway
  std::optional<std::string> command;  // as given, minus one leading '-' or '/'
  std::vector<std::string> arguments;  // everything after the command
};

CommandLine ParseCommandLine(const std::vector<std::string>& args);

// Runs a parsed command on `machine` without touching any file. Faults are not applied here;
// `scan_fails` is the effect of a scan-fails fault. Sets `changed` when the machine was modified.
int ExecuteCommand(const CommandLine& command_line, Machine& machine, bool scan_fails,
                   std::string& out, std::string& err, bool& changed);

// The whole program: appends `args` (argv[1..]) to the log at `log_path`, loads the state from
// `state_path` (a missing file is an empty machine), applies matching faults, runs the command
// and writes the state back if it changed. An empty path means no log / no state file. Logging
// comes first so that a run which then faults or fails is still on record.
int RunDevcon(const std::vector<std::string>& args, const std::string& state_path,
              const std::string& log_path, std::string& out, std::string& err);

}  // namespace devcon_sim

#endif  // DEVCON_SIM_SIM_H_
