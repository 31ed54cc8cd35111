// The check over arbitrary listings: every instance is reported at most once
// and names a listed line, every package trace names a line that held
// ".inf", the cleanup's hand-off (the command for what it passes over) is
// given exactly for bare instance IDs, and the JSON document is pure ASCII
// that says what the exit status says.
//
// Input: a flags byte, then the vendor ID, brand name, audio endpoint and
// driver package listings, separated by NUL bytes. Flag 1: the vendor ID
// listing exits with 2. Flag 2: devcon cannot be found.
#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "check/findings.h"
#include "check/machine_check.h"
#include "check/report.h"
#include "tests/fuzz/fuzz_support.h"
#include "tests/unit/fakes.h"

namespace {

std::string Trimmed(const std::string& text) {
  const std::string::size_type first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return std::string();
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

std::string Folded(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

// Each listed line's instance ID as the check must read it, with whether
// the line had a colon: the instance IDs one listing may name.
std::set<std::pair<std::string, bool>> ListedInstances(const std::string& listing) {
  std::set<std::pair<std::string, bool>> ids;
  for (const std::string& line : ListedLines(listing)) {
    const std::string::size_type colon = line.find(':');
    ids.insert({Trimmed(line.substr(0, colon)), colon != std::string::npos});
  }
  return ids;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  if (size == 0) return 0;
  const std::uint8_t flags = data[0];
  std::string rest(reinterpret_cast<const char*>(data) + 1, size - 1);
  std::string listings[4];
  for (std::string& listing : listings) {
    std::string tail;
    SplitAtNul(rest, &listing, &tail);
    rest = tail;
  }

  ResetFakes();
  fake_runner.listings[L"findall *VID_3F7C*"] = listings[0];
  fake_runner.listings[L"findall *QZV*"] = listings[1];
  fake_runner.listings[L"findall *MMDEVAPI*"] = listings[2];
  fake_runner.listings[L"/dp_enum"] = listings[3];
  const bool vendor_fails = (flags & 1) != 0;
  const bool devcon_missing = (flags & 2) != 0;
  if (vendor_fails) fake_runner.capture_exit_codes[L"findall *VID_3F7C*"] = 2;
  if (devcon_missing) fake_runner.capture_failure = L"devcon is missing";

  const Findings findings = CheckMachine();

  Require(fake_runner.captured.size() == 4, "devcon is asked for four listings");
  Require(fake_runner.runs.empty(), "nothing is run that could change the machine");
  auto devices = ListedInstances(listings[1]);
  if (!vendor_fails) {
    const auto vendor = ListedInstances(listings[0]);
    devices.insert(vendor.begin(), vendor.end());
  }
  const auto endpoints = ListedInstances(listings[2]);
  std::set<std::string> packages;
  for (const std::string& line : ListedLines(listings[3])) {
    if (Folded(line).find(".inf") != std::string::npos) packages.insert(Trimmed(line));
  }
  std::set<std::string> instances;
  for (const Trace& trace : findings.traces) {
    const std::string id = Bytes(trace.id);
    Require(!devcon_missing || trace.kind == TraceKind::kRegistryKey ||
                trace.kind == TraceKind::kDriverFile,
            "without devcon no listing trace is reported");
    if (trace.kind == TraceKind::kDevice || trace.kind == TraceKind::kAudioEndpoint) {
      Require(instances.insert(Folded(id)).second, "each instance is reported once");
      const auto& listed = trace.kind == TraceKind::kDevice ? devices : endpoints;
      // The command by hand goes with a bare instance ID, none with a
      // listed line the cleanup removes.
      Require(listed.count({id, trace.manual_removal.empty()}) != 0,
              "an instance names a listed line of its kind");
    } else if (trace.kind == TraceKind::kDriverPackage) {
      Require(packages.count(id) != 0, "a package names a line that held .inf");
    }
  }

  const int status = CheckStatus(findings);
  const std::string json = JsonReport(findings);
  bool ascii = true;
  for (const char byte : json) ascii = ascii && static_cast<unsigned char>(byte) < 0x80;
  Require(ascii && IsStrictJson(json), "the JSON document is pure ASCII and parses as strict JSON");
  const std::string clean = "{\"clean\":" + std::string(status == 0 ? "true" : "false") +
                            ",\"complete\":" + (findings.unchecked.empty() ? "true" : "false");
  Require(json.compare(0, clean.size(), clean) == 0,
          "clean and complete say what the exit status and the checks say");
  PrintReport(findings);
  Require(PrintedStartsWith("Kovex driver check"), "the report starts with its title");
  return 0;
}
