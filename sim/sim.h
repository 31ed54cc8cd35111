// Device console simulator: the logic behind the simulated `devcon` executable.
//
// The cleanup tool drives `devcon` and reads its output and exit code, so everything here
// reproduces the real program's output shapes, encodings and exit codes byte for byte. The
// simulated machine lives in a text state file that a test harness writes; the simulator reads
// it on every run and rewrites it when a command changes it. Every run is appended to an
// invocation log so a harness can check what the tool ran.
//
// Commands build their output as UTF-8 text with "\n" line ends; RunDevcon turns it into the
// bytes the real program writes (EncodeOutput), which the executable writes unchanged.
//
// The state file, one entry per line; '#' starts a comment line; properties are indented:
//
//   device <instance ID>         a device that has an instance now
//     description <text>         friendly name or device description (UTF-8; any characters)
//     hardware <id>              a hardware ID (repeatable)
//     compatible <id>            a compatible ID (repeatable)
//     absent                     not plugged in: only findall and an exact @instance see it;
//                                removing it deletes it for good
//     problem <N>                the device has problem code N (21, 22, 28, ...); its driver
//                                does not run
//     running                    with a problem: the driver runs all the same
//     stopped                    without a problem: the driver does not run
//     driver-problem             the driver reported a problem with the device
//     status-unreadable          status cannot read its state
//     parent <instance ID>       the device it belongs to (an audio endpoint's device): it
//                                comes back at a rescan only together with that device
//     rescan-description <text>  the description its bus or Windows' own driver gives it when a
//                                rescan re-creates it (without it: its description as it is)
//     rescan-driver <name>       the driver Windows gives it when a rescan re-creates it; without
//                                one it comes back with no driver (problem 28)
//     remove-on-reboot           remove answers "Removed on reboot" (exit 1); the device stays,
//                                with problem 21 and its driver running
//     fail-remove                (test-only setting) remove answers "Remove failed"; the device
//                                stays (wins over remove-on-reboot)
//   removed <instance ID>        a plugged-in device that remove took away since the last rescan:
//                                no listing sees it; the next rescan re-creates it. Same
//                                properties as a device, except absent.
//   package <oemN.inf>           a third-party driver package, in dp_enum's order
//     provider <text>            missing: "unknown"
//     class <text>               the machine's name for its class; missing: "unknown"
//     in-use                     dp_delete refuses it without -f
//     unreadable                 its INF cannot be read: dp_enum shows its name alone
//     fail-delete                (test-only setting) dp_delete fails whatever the options
//   strict-remove                (test-only setting) remove also exits 2 when nothing matched or a
//                                removal failed; the real program exits 0 then
//   fault <command>[:<first argument>] <action>
//                                (test-only setting) misbehaviour of the runs that match: exit N
//                                (nothing printed), crash, sleep MS (then answer normally),
//                                scan-fails (rescan only: the scan fails after it started)
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

// Problem codes Windows gives devices.
constexpr int kProblemNoDriver = 28;
constexpr int kProblemBeingRemoved = 21;
constexpr int kProblemDisabled = 22;

struct Device {
  std::string instance_id;
  std::optional<std::string> description;  // none: listings print the bare instance ID
  std::vector<std::string> hardware_ids;
  std::vector<std::string> compatible_ids;
  bool absent = false;   // not plugged in
  bool removed = false;  // plugged in, removed since the last rescan: no instance now
  int problem = 0;       // 0: none
  bool running = false;  // with a problem: its driver runs all the same
  bool stopped = false;  // without a problem: its driver does not run
  bool driver_problem = false;
  bool status_unreadable = false;
  std::optional<std::string> parent;
  std::optional<std::string> rescan_description;
  std::optional<std::string> rescan_driver;
  bool fail_remove = false;
  bool remove_on_reboot = false;
};

// Plugged in and known to Windows now: what find, status and wildcard removals see.
bool IsPresent(const Device& device);

struct Package {
  std::string published_name;  // e.g. "oem12.inf"
  std::optional<std::string> provider;
  std::optional<std::string> class_name;
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
  // "<prog>: command remove failed") when nothing matched or any removal failed, so that a
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
// exact `@instance` (no `*`) opens that device whether present or not; otherwise a device that
// is not present is seen only when `include_absent` (findall) is set. A removed device has no
// instance and is never selected.
bool DeviceMatches(const Device& device, const std::string& argument, bool include_absent);

struct CommandLine {
  bool force = false;       // -f
  bool reboot = false;      // -r: only acted on when a reboot is needed, which never happens here
  bool unicode = false;     // -u: standard output and standard error in UTF-16LE
  bool bad_option = false;  // an option the real program does not know ("-m:" without a machine)
  std::string machine;      // -m:<machine>: no other machine can be reached here
  std::optional<std::string> command;  // as given, minus one leading '-' or '/'
  std::vector<std::string> arguments;  // everything after the command
};

CommandLine ParseCommandLine(const std::vector<std::string>& args);

// Runs a parsed command on `machine` without touching any file. `program` is the name the
// program was started by, without its folder, as the error texts show it. Faults are not
// applied here; `scan_fails` is the effect of a scan-fails fault. Sets `changed` when the
// machine was modified. `out` and `err` get UTF-8 text with "\n" line ends.
int ExecuteCommand(const std::string& program, const CommandLine& command_line, Machine& machine,
                   bool scan_fails, std::string& out, std::string& err, bool& changed);

// The bytes the real program writes for UTF-8 `text` whose lines end in "\n". By default one
// byte per character up to U+00FF (Latin-1); at the first character above it the rest of that
// line and its line end are lost, so the next line continues on the same line. With `unicode`
// (-u), UTF-16LE without a byte-order mark. Line ends become CR LF, as a text-mode stream
// writes them. Bytes that are not UTF-8 count as characters above U+00FF.
std::string EncodeOutput(const std::string& text, bool unicode);

// The name a program was started by without its folder: "devcon" from "C:\\x\\devcon".
std::string ProgramName(const std::string& argv0);

// The whole program: appends `args` (argv[1..]) to the log at `log_path`, loads the state from
// `state_path` (a missing file is an empty machine), applies matching faults, runs the command
// and writes the state back if it changed. An empty path means no log / no state file. Logging
// comes first so that a run which then faults or fails is still on record. `out` and `err` get
// the bytes to write (EncodeOutput).
int RunDevcon(const std::string& program, const std::vector<std::string>& args,
              const std::string& state_path, const std::string& log_path, std::string& out,
              std::string& err);

}  // namespace devcon_sim

#endif  // DEVCON_SIM_SIM_H_
