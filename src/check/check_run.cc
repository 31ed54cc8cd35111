#include "check/check_run.h"

#include "check/cleanup_log.h"
#include "check/csv_rows.h"
#include "check/machine_check.h"
#include "check/report.h"
#include "exec/machine_identity.h"
#include "output/output.h"

namespace {

constexpr int kBadCommandLine = 3;

const char kUsage[] =
    "Usage: kovex-deepclean-check [--json] [--reboot-code] | --remediation\n"
    "   or: kovex-deepclean-check --csv\n"
    "   or: kovex-deepclean-check --cleanup-log FILE\n"
    "\n"
    "Tells whether anything of Kovex's drivers is left on this machine:\n"
    "devices, audio endpoints, driver packages, driver files and installer\n"
    "registry keys, found by the same rules kovex-deepclean removes them by.\n"
    "It changes nothing and writes no file. devcon.exe is looked for in the\n"
    "working directory, then on PATH.\n"
    "\n"
    "  --json          print one JSON document instead of the report\n"
    "  --reboot-code   exit with 3010 when some removal waits for a reboot,\n"
    "                  else 0 (for an installer's exit status)\n"
    "  --remediation   print one line of at most 2,048 characters and exit\n"
    "                  with 1 only when running kovex-deepclean.exe would\n"
    "                  remove something, else 0 (for a scheduled detection)\n"
    "  --csv           print this machine's rows of the fleet collector's CSV\n"
    "                  file, its header first, in UTF-8: one per trace, or\n"
    "                  one with kind, id and description empty\n"
    "  --cleanup-log FILE\n"
    "                  look at nothing but FILE, the cleanup's output saved\n"
    "                  by a deployment engine, and print one line: whether\n"
    "                  the cleanup ran to its end (its last line \"Done.\", no\n"
    "                  program not started, ended unfinished or not\n"
    "                  launched); exit 0 when it did, 1 when it did not, 2\n"
    "                  when FILE cannot be read\n"
    "  --help          print this text\n"
    "\n"
    "Exit status: 0 clean; 1 traces found; 2 nothing found, but some check\n"
    "could not run; 3 bad command line.\n";

int BadCommandLine(const std::string& why) {
  const std::string message = "kovex-deepclean-check: " + why + "\n\n" + kUsage;
  WriteErrorOutput(message.data(), message.size());
  return kBadCommandLine;
}

}  // namespace

int RunCheck(const std::vector<std::string>& arguments) {
  bool json = false;
  bool reboot_code = false;
  bool remediation = false;
  bool csv = false;
  bool cleanup_log = false;
  std::string log_file;
  for (std::size_t at = 0; at < arguments.size(); ++at) {
    const std::string& argument = arguments[at];
    if (argument == "--cleanup-log") {
      if (cleanup_log || at + 1 >= arguments.size()) {
        return BadCommandLine("--cleanup-log takes one file");
      }
      cleanup_log = true;
      log_file = arguments[++at];
    } else if (argument == "--json") {
      json = true;
    } else if (argument == "--reboot-code") {
      reboot_code = true;
    } else if (argument == "--remediation") {
      remediation = true;
    } else if (argument == "--csv") {
      csv = true;
    } else if (argument == "--help" || argument == "-h" || argument == "/?") {
      Print("%s", kUsage);
      return 0;
    } else {
      return BadCommandLine("unknown option '" + argument + "'");
    }
  }
  if (remediation && (json || reboot_code)) {
    return BadCommandLine("--remediation goes alone");
  }
  if (csv && (json || reboot_code || remediation)) {
    return BadCommandLine("--csv goes alone");
  }
  if (cleanup_log && (json || reboot_code || remediation || csv)) {
    return BadCommandLine("--cleanup-log goes alone");
  }
  // Only the log is read: no devcon, no look at the machine.
  if (cleanup_log) return CheckCleanupLog(log_file);

  Findings findings = CheckMachine();
  findings.computer = MachineDnsHostName();
  findings.checked_at = IsoUtcText(UtcTimeNow());
  if (remediation) {
    Print("%s\n", RemediationLine(findings).c_str());
    return RemediationStatus(findings);
  }
  if (csv) {
    Print("%s%s", kCsvHeader,
          CsvRows(findings, CheckStatus(findings), findings.computer).c_str());
    return CheckStatus(findings);
  }
  if (json) {
    Print("%s\n", JsonReport(findings).c_str());
  } else {
    PrintReport(findings);
  }
  if (reboot_code) return AwaitsReboot(findings) ? kSoftRebootStatus : 0;
  return CheckStatus(findings);
}
