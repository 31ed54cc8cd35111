// The program around the commands: its command line, its error texts, the state file and the
// invocation log on disk, and the injected faults.
#include "sim/sim.h"

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "sim/commands.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <time.h>
#endif

namespace devcon_sim {

namespace {

namespace fs = std::filesystem;

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
// Command line

bool IsSwitch(const std::string& arg) { return !arg.empty() && (arg[0] == '-' || arg[0] == '/'); }

bool IsOption(const std::string& arg, char letter) {
  return arg.size() == 2 && IsSwitch(arg) && FoldCase(arg[1]) == letter;
}

// An unknown command or option: how to call the program.
int GeneralUsage(const std::string& program, std::string& err) {
  err += program + " Usage: " + program + " [-r] [-m:\\\\<machine>] <command> [<arg>...]\n";
  err += "For more information, type: " + program + " help\n";
  return kExitUsage;
}

// Runs the known command `name` (lower case).
int Dispatch(const std::string& name, const CommandLine& command_line, Machine& machine,
             bool scan_fails, std::string& out, bool& changed) {
  if (name == "findall") return CmdFindAll(command_line, machine, out);
  if (name == "find") return CmdFind(command_line, machine, out);
  if (name == "status") return CmdStatus(command_line, machine, out);
  if (name == "remove") return CmdRemove(command_line, machine, out, changed);
  if (name == "dp_enum") return CmdDpEnum(command_line, machine, out);
  if (name == "dp_delete") return CmdDpDelete(command_line, machine, out, changed);
  return CmdRescan(machine, scan_fails, out, changed);
}

}  // namespace

// ---------------------------------------------------------------------------------------------

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
      cl.unicode = true;
    } else if (arg.size() >= 3 && IsSwitch(arg) && FoldCase(arg[1]) == 'm' && arg[2] == ':') {
      cl.machine = arg.substr(3);
      cl.bad_option = cl.bad_option || cl.machine.empty();
    } else {
      cl.command = IsSwitch(arg) ? arg.substr(1) : arg;
    }
  }
  return cl;
}

int ExecuteCommand(const std::string& program, const CommandLine& command_line, Machine& machine,
                   bool scan_fails, std::string& out, std::string& err, bool& changed) {
  changed = false;
  if (!command_line.command || command_line.bad_option) return GeneralUsage(program, err);
  const std::string& given = *command_line.command;
  std::string name = ToLower(given);
  static const char* const kCommands[] = {"findall", "find",      "status", "remove",
                                          "dp_enum", "dp_delete", "rescan"};
  bool known = false;
  for (const char* command : kCommands) known = known || name == command;
  if (!known) return GeneralUsage(program, err);
  // With -m: no other machine can be reached from here.
  int code = command_line.machine.empty()
                 ? Dispatch(name, command_line, machine, scan_fails, out, changed)
                 : kExitFail;
  if (code == kExitUsage) {
    err += program + ": Invalid use of " + given + ".\n";
    err += "For more information, type: " + program + " help " + given + "\n";
  } else if (code == kExitFail) {
    err += program + ": command " + given + " failed\n";
  }
  return code;
}

std::string ProgramName(const std::string& argv0) {
  size_t separator = argv0.find_last_of("\\/:");
  return separator == std::string::npos ? argv0 : argv0.substr(separator + 1);
}

int RunDevcon(const std::string& program, const std::vector<std::string>& args,
              const std::string& state_path, const std::string& log_path, std::string& out,
              std::string& err) {
  CommandLine command_line = ParseCommandLine(args);
  std::string text;
  std::string messages;
  std::string error;
  auto encoded = [&](int code) {
    out = EncodeOutput(text, command_line.unicode);
    err = EncodeOutput(messages, command_line.unicode);
    return code;
  };
  if (!log_path.empty() && !AppendToLog(log_path, args, error)) {
    messages = "devcon simulator: " + error + "\n";
    return encoded(kExitSimError);
  }
  std::string state;
  Machine machine;
  if (!state_path.empty() &&
      (!ReadWholeFile(state_path, state, error) || !ParseMachine(state, machine, error))) {
    messages = "devcon simulator: " + state_path + ": " + error + "\n";
    return encoded(kExitSimError);
  }

  bool scan_fails = false;
  for (const Fault& fault : machine.faults) {
    if (!FaultApplies(fault, command_line)) continue;
    switch (fault.action) {
      case FaultAction::kExit: return encoded(static_cast<int>(fault.value));
      case FaultAction::kCrash: Crash(); break;
      case FaultAction::kSleep: SleepMilliseconds(fault.value); break;
      case FaultAction::kScanFails: scan_fails = true; break;
    }
  }

  bool changed = false;
  int code = ExecuteCommand(program, command_line, machine, scan_fails, text, messages, changed);
  if (changed && !state_path.empty() &&
      !WriteWholeFile(state_path, SerialiseMachine(machine), error)) {
    messages += "devcon simulator: " + error + "\n";
    return encoded(kExitSimError);
  }
  return encoded(code);
}

}  // namespace devcon_sim
