#include "check/check_run.h"

#include "check/machine_check.h"
#include "check/report.h"
#include "output/output.h"

namespace {

constexpr int kBadCommandLine = 3;

const char kUsage[] =
    "Usage: kovex-deepclean-check [--json]\n"
    "\n"
    "Tells whether anything of Kovex's drivers is left on this machine:\n"
    "devices, audio endpoints, driver packages, driver files and installer\n"
    "registry keys, found by the same rules kovex-deepclean removes them by.\n"
    "It changes nothing and writes no file. devcon.exe is looked for in the\n"
    "working directory, then on PATH.\n"
    "\n"
    "  --json   print one JSON document instead of the report\n"
    "  --help   print this text\n"
    "\n"
    "Exit status: 0 clean; 1 traces found; 2 nothing found, but some check\n"
    "could not run; 3 bad command line.\n";

}  // namespace

int RunCheck(const std::vector<std::string>& arguments) {
  bool json = false;
  for (const std::string& argument : arguments) {
    if (argument == "--json") {
      json = true;
    } else if (argument == "--help" || argument == "-h" || argument == "/?") {
      Print("%s", kUsage);
      return 0;
    } else {
      const std::string message = "kovex-deepclean-check: unknown option '" +
                                  argument + "'\n\n" + kUsage;
      WriteErrorOutput(message.data(), message.size());
      return kBadCommandLine;
    }
  }

  const Findings findings = CheckMachine();
  if (json) {
    Print("%s\n", JsonReport(findings).c_str());
  } else {
    PrintReport(findings);
  }
  return CheckStatus(findings);
}
