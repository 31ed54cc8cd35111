// The simulator's commands and the small text helpers they share; sim.h is the public face.
#ifndef DEVCON_SIM_COMMANDS_H_
#define DEVCON_SIM_COMMANDS_H_

#include <string>

#include "sim/sim.h"

namespace devcon_sim {

char FoldCase(char c);
std::string ToLower(const std::string& s);
bool EqualsIgnoreCase(const std::string& a, const std::string& b);

// printf("%-60s: %s\n", id, text): the ID padded to 60 characters, never cut.
std::string PaddedLine(const std::string& instance_id, const std::string& text);

// Each command appends its standard output to `out` and returns its exit code; the caller
// writes the standard error texts of kExitUsage and kExitFail, which name the command as given.

// Listing commands: they never change the machine.
int CmdFindAll(const CommandLine& cl, const Machine& machine, std::string& out);
int CmdFind(const CommandLine& cl, const Machine& machine, std::string& out);
int CmdStatus(const CommandLine& cl, const Machine& machine, std::string& out);
int CmdDpEnum(const CommandLine& cl, const Machine& machine, std::string& out);

// Commands that change the machine; they set `changed` when they did.
int CmdRemove(const CommandLine& cl, Machine& machine, std::string& out, bool& changed);
int CmdDpDelete(const CommandLine& cl, Machine& machine, std::string& out, bool& changed);
int CmdRescan(Machine& machine, bool scan_fails, std::string& out, bool& changed);

}  // namespace devcon_sim

#endif  // DEVCON_SIM_COMMANDS_H_
