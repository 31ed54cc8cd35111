// The driver package step over an arbitrary package listing: every deletion
// names a whole listed line that held ".inf", deletions follow the listing's
// order and take each package line at most once, and every provider line of
// the maker's either deletes a package or reports a parse error.
//
// Input: a flags byte, then the package listing. Flag 1: the listing fails,
// so nothing may be deleted. Flag 2: the device console cannot be started.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "steps/steps.h"
#include "tests/fuzz/fuzz_support.h"
#include "tests/unit/fakes.h"

namespace {

bool Holds(const std::string& line, const char* text) {
  return line.find(text) != std::string::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  if (size == 0) return 0;
  const std::uint8_t flags = data[0];
  const std::string listing(reinterpret_cast<const char*>(data) + 1, size - 1);

  ResetFakes();
  fake_runner.listings[L"/dp_enum"] = listing;
  const bool listing_fails = (flags & 1) != 0;
  const bool devcon_missing = (flags & 2) != 0;
  if (listing_fails) {
    fake_runner.statuses[L" /C devcon /dp_enum > driverlist.txt"] = 1;
  }
  if (devcon_missing) fake_runner.unlaunchable.insert(L"devcon");

  RemoveDriverPackages();

  const std::string prefix = " -f /dp_delete ";
  std::vector<std::string> package_lines;
  std::size_t provider_lines = 0;
  for (const std::string& line : ListedLines(listing)) {
    if (Holds(line, ".inf")) {
      package_lines.push_back(line);
    } else if (Holds(line, "Kovex Inc") || Holds(line, "QZV")) {
      ++provider_lines;
    }
  }

  const std::vector<std::string> deletions = ParametersOf(L"devcon");
  // Greedy match against the package lines: each deletion takes the next
  // package line it names, so a package line can serve only once and the
  // deletions come in listing order.
  std::size_t next = 0;
  for (const std::string& deletion : deletions) {
    Require(deletion.compare(0, prefix.size(), prefix) == 0,
            "every device console run is a forced package deletion");
    const std::string name = deletion.substr(prefix.size());
    while (next < package_lines.size() && package_lines[next] != name) ++next;
    Require(next < package_lines.size(),
            "each deletion names a listed line that held \".inf\", in "
            "listing order, each line at most once");
    ++next;
  }

  const std::size_t errors =
      PrintedLinesStartingWith("\t Error parsing driverlist... ");
  const std::size_t removed = PrintedLinesStartingWith("\t Kovex INF: ");
  if (listing_fails) {
    Require(deletions.empty() && errors == 0 &&
                printed == "Scanning installed drivers...\n",
            "a failed listing ends the step after its heading");
    return 0;
  }
  Require(PrintedStartsWith("Scanning installed drivers...\n"
                            "Cleanning up driver packages...\n"),
          "both headings come first");
  Require(deletions.size() + errors == provider_lines,
          "each provider line deletes a package or reports a parse error");
  Require(removed == deletions.size(), "each deletion reports its result");
  Require(!devcon_missing || printed.find(" - Removed\n") == std::string::npos,
          "a deletion that could not start is never reported as done");
  return 0;
}
