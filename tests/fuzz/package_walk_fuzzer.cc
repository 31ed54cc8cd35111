// The driver package step over an arbitrary package listing: every deletion
// names a whole listed line that held ".inf" (the last one before a provider
// line of the maker's), each package line is deleted at most once, in listing
// order, and every provider line of the maker's either deletes a package or
// reports a parse error.
//
// Input: a flags byte, then the package listing. Flag 1: the listing fails,
// so nothing may be deleted. Flag 2: the device console cannot be started.
// Flag 4: devcon takes -u; else it knows no -u and writes bytes.
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
  const bool listing_fails = (flags & 1) != 0;
  const bool devcon_missing = (flags & 2) != 0;
  const bool unicode = (flags & 4) != 0;
  ScriptListing(L"/dp_enum", listing, unicode);
  if (listing_fails) {
    fake_runner.statuses[CaptureParameters(L"/dp_enum > driverlist.txt", unicode)] = 1;
  }
  if (devcon_missing) fake_runner.unlaunchable.insert(L"devcon");

  RemoveDriverPackages();

  // What the walk must do, line by line: a line holding ".inf" becomes the
  // pending package; a provider line of the maker's deletes the pending one,
  // or reports a parse error when none is pending.
  std::vector<std::string> expected;
  std::size_t expected_errors = 0;
  std::size_t provider_lines = 0;
  bool pending = false;
  std::string pending_line;
  for (const std::string& line : ListedLines(listing)) {
    if (Holds(line, ".inf")) {
      pending = true;
      pending_line = line;
    } else if (Holds(line, "Kovex Inc") || Holds(line, "QZV")) {
      ++provider_lines;
      if (pending) {
        expected.push_back(" -f /dp_delete " + pending_line);
      } else {
        ++expected_errors;
      }
      pending = false;
    }
  }
  if (listing_fails) expected.clear();

  const std::vector<std::string> deletions = ParametersOf(L"devcon");
  Require(deletions == expected,
          "each deletion names the whole line of the last package listed "
          "before a provider line of the maker's, once, in listing order");

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
  Require(errors == expected_errors &&
              deletions.size() + errors == provider_lines,
          "each provider line deletes a package or reports a parse error");
  Require(removed == deletions.size(), "each deletion reports its result");
  Require(!devcon_missing || printed.find(" - Removed\n") == std::string::npos,
          "a deletion that could not start is never reported as done");
  return 0;
}
