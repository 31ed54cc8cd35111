#include "fleet_page/fleet_run.h"

#include <cstdio>
#include <ctime>
#include <deque>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "fleet_page/fleet_expect.h"
#include "fleet_page/fleet_input.h"
#include "fleet_page/fleet_page.h"
#include "kovex_version.h"

namespace {

constexpr int kNotAllRead = 1;
constexpr int kFailure = 2;

const char kUsage[] =
    "Usage: kovex-deepclean-fleet [--out FILE] [--expect FILE] [--stale-after DAYS]\n"
    "                             PATH...\n"
    "\n"
    "Writes one HTML page of every machine's state from the check's results:\n"
    "each PATH is a folder (its *.json files, one check document per machine),\n"
    "a check document (.json), the collector's CSV or an export of the\n"
    "Remediations device status (.csv). Then prints how many machines are\n"
    "CLEAN, NOT CLEAN, PENDING, UNKNOWN, or without a readable result.\n"
    "\n"
    "  --out FILE          write the page to FILE (default: kovex-fleet.html)\n"
    "  --expect FILE       the machines that should have a result: one a line (the\n"
    "                      collector's machines.txt), an Ansible INI inventory, the\n"
    "                      JSON of ansible-inventory --list, or a CSV with a Name or\n"
    "                      ComputerName column: one without is NO RESULT, never\n"
    "                      reported; a result for a machine not named is flagged\n"
    "  --stale-after DAYS  a result checked more than DAYS days before the page is\n"
    "                      stale (default: 7)\n"
    "  --help              print this text\n"
    "\n"
    "Exit status: 0 the page is written and every input was read whole; 1 the\n"
    "page is written, but an input (a path, a file, a record) was not read,\n"
    "as standard error and the page name; 2 a bad command line, no input, or\n"
    "the page could not be written.\n";

void Error(const std::string& text) {
  const std::string line = "kovex-deepclean-fleet: " + text + "\n";
  static_cast<void>(std::fwrite(line.data(), 1, line.size(), stderr));
}

int BadCommandLine(const std::string& why) {
  Error(why);
  static_cast<void>(std::fwrite(kUsage, 1, sizeof kUsage - 1, stderr));
  return kFailure;
}

}  // namespace

int RunFleet(const std::vector<std::string>& arguments) {
  std::string out = "kovex-fleet.html";
  std::string expect;
  long long stale_after_days = 7;
  std::vector<std::string> paths;
  bool options = true;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (options && argument == "--") {
      options = false;
    } else if (options && argument == "--out") {
      if (i + 1 >= arguments.size() || arguments[i + 1].empty()) {
        return BadCommandLine("--out needs a file name");
      }
      out = arguments[++i];
    } else if (options && argument == "--expect") {
      if (i + 1 == arguments.size() || arguments[i + 1].empty()) {
        return BadCommandLine("--expect needs a file of machine names");
      }
      expect = arguments[++i];
    } else if (options && argument == "--stale-after") {
      const std::string days = i + 1 < arguments.size() ? arguments[++i] : "";
      if (days.empty() || days.size() > 5 ||
          days.find_first_not_of("0123456789") != std::string::npos) {
        return BadCommandLine("--stale-after needs a whole number of days");
      }
      stale_after_days = std::stoll(days);
    } else if (options && (argument == "--help" || argument == "-h" || argument == "/?")) {
      std::printf("kovex-deepclean-fleet %s\n\n%s", KOVEX_VERSION, kUsage);
      return 0;
    } else if (options && argument.size() > 1 && argument[0] == '-') {
      return BadCommandLine("unknown option '" + argument + "'");
    } else {
      paths.push_back(argument);
    }
  }
  if (paths.empty()) return BadCommandLine("no PATH given: nothing to show");

  ExpectedList expected;
  if (!expect.empty()) {
    std::ifstream list(std::filesystem::u8path(expect), std::ios::binary);
    if (!list) {
      Error("the expected machines cannot be read from " + expect);
      return kFailure;
    }
    const std::string bytes((std::istreambuf_iterator<char>(list)),
                            std::istreambuf_iterator<char>());
    expected = ReadExpected(bytes, expect);
  }
  std::vector<MachineResult> results;
  PageFacts facts;
  facts.stale_after_days = stale_after_days;
  facts.expected = DistinctMachines(expected.names);
  facts.unread = expected.unread;
  facts.made_at = static_cast<long long>(std::time(nullptr));
  facts.inputs = paths;
  for (const std::string& path : paths) ReadPath(path, &results, &facts.unread);
  for (const InputProblem& problem : facts.unread) {
    Error(problem.source + (problem.line > 0 ? ":" + std::to_string(problem.line) : "") +
          ": not read: " + problem.reason);
  }
  if (results.empty() && facts.unread.empty()) {
    Error("no check document, collector CSV or Remediations export found in the given "
          "paths; no page written");
    return kFailure;
  }
  for (const MachineResult& result : results) {
    if (!result.has_verdict) Error(result.source + ": NO RESULT: " + result.problem);
  }
  std::vector<FleetMachine> machines = GroupByMachine(results, facts.made_at);
  std::deque<MachineResult> never_reported;
  ApplyExpected(expected.names, &never_reported, &machines);
  const std::string page = FleetPage(machines, facts);
  std::ofstream file(std::filesystem::u8path(out), std::ios::binary | std::ios::trunc);
  if (file) file.write(page.data(), static_cast<std::streamsize>(page.size()));
  if (file) file.close();
  if (!file) {
    Error("the page cannot be written to " + out);
    return kFailure;
  }
  const std::string summary = SummaryLine(machines) + "\n";
  static_cast<void>(std::fwrite(summary.data(), 1, summary.size(), stdout));
  return facts.unread.empty() ? 0 : kNotAllRead;
}
