// The check over arbitrary listings: every instance is reported at most once,
// as a trace or as attached, and names a listed line; an attached one is
// shown present by `status`, and one whose removal waits for a reboot shows
// problem 21 there; every package trace names a line that held ".inf"; the
// cleanup's hand-off (the command for what it passes over) is given exactly
// for bare instance IDs; and the JSON document is pure ASCII that says what
// the exit status says.
//
// Input: a flags byte, then the vendor ID, brand name, audio endpoint and
// driver package listings, then the `status` listings of the three device
// patterns, separated by NUL bytes. devcon writes them in UTF-16 (their
// bytes taken as UTF-8 where they form it, else as Latin-1). Flag 1: the
// vendor ID listing exits with 2. Flag 2: devcon cannot be found. Flag 4:
// devcon knows no `-u` and writes the bytes as they are. Flag 8: the vendor
// ID listing's UTF-16 ends in an odd byte.
#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "check/findings.h"
#include "check/machine_check.h"
#include "check/report.h"
#include "output/utf8.h"
#include "tests/fuzz/fuzz_support.h"
#include "tests/unit/fakes.h"

namespace {

const wchar_t* const kCommands[] = {
    L"findall *VID_3F7C*", L"findall *QZV*",   L"findall *MMDEVAPI*",
    L"/dp_enum",           L"status *VID_3F7C*", L"status *QZV*",
    L"status *MMDEVAPI*"};

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

// The listing's text as the check must read it: its bytes, or, through
// UTF-16, those bytes as UTF-8 where they form it and Latin-1 elsewhere.
std::string AsRead(const std::string& listing, bool unicode) {
  if (!unicode) return listing;
  return ListingTextToUtf8(std::wstring(
      reinterpret_cast<const unsigned char*>(listing.data()),
      reinterpret_cast<const unsigned char*>(listing.data()) + listing.size()));
}

// A reported text back as the listing's text.
std::string Text(const std::wstring& text, bool unicode) {
  return unicode ? WideToUtf8(text) : Bytes(text);
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

bool Listed(const std::set<std::pair<std::string, bool>>& listed, const std::string& id) {
  return listed.count({id, true}) != 0 || listed.count({id, false}) != 0;
}

// The lines of `status` listings that start at column 0, letter case aside:
// the instances they show present.
std::set<std::string> StatusInstances(const std::vector<std::string>& listings) {
  std::set<std::string> ids;
  for (const std::string& listing : listings) {
    for (const std::string& line : ListedLines(listing)) ids.insert(Folded(line));
  }
  return ids;
}

bool PresenceUntold(const Findings& findings, TraceKind kind) {
  for (const Unchecked& unchecked : findings.unchecked) {
    if (unchecked.kind == kind &&
        unchecked.reason.find(L"plugged in could not be told") != std::wstring::npos) {
      return true;
    }
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  if (size == 0) return 0;
  const std::uint8_t flags = data[0];
  std::string rest(reinterpret_cast<const char*>(data) + 1, size - 1);
  std::string listings[7];
  for (std::string& listing : listings) {
    std::string tail;
    SplitAtNul(rest, &listing, &tail);
    rest = tail;
  }
  const bool vendor_fails = (flags & 1) != 0;
  const bool devcon_missing = (flags & 2) != 0;
  const bool unicode = (flags & 4) == 0;
  const bool odd_byte = unicode && (flags & 8) != 0;

  ResetFakes();
  for (std::size_t i = 0; i < 7; ++i) fake_runner.listings[kCommands[i]] = listings[i];
  fake_runner.devcon_knows_unicode = unicode;
  if (odd_byte) {
    fake_runner.listings[L"-u findall *VID_3F7C*"] = Utf16Output(listings[0]) + "\x01";
  }
  if (vendor_fails) fake_runner.capture_exit_codes[L"findall *VID_3F7C*"] = 2;
  if (devcon_missing) fake_runner.capture_failure = L"devcon is missing";

  const Findings findings = CheckMachine();

  Require(fake_runner.captured.size() == (unicode || devcon_missing ? 7u : 8u),
          "devcon is asked for seven listings, and once more for the first without -u");
  Require(fake_runner.runs.empty(), "nothing is run that could change the machine");
  auto devices = ListedInstances(AsRead(listings[1], unicode));
  if (!vendor_fails) {
    const auto vendor = ListedInstances(AsRead(listings[0], unicode));
    devices.insert(vendor.begin(), vendor.end());
  }
  const auto endpoints = ListedInstances(AsRead(listings[2], unicode));
  std::set<std::string> packages;
  for (const std::string& line : ListedLines(AsRead(listings[3], unicode))) {
    if (Folded(line).find(".inf") != std::string::npos) packages.insert(Trimmed(line));
  }
  const std::set<std::string> present_devices =
      StatusInstances({AsRead(listings[4], unicode), AsRead(listings[5], unicode)});
  const std::set<std::string> present_endpoints =
      StatusInstances({AsRead(listings[6], unicode)});
  if (odd_byte && !vendor_fails && !devcon_missing) {
    Require(!findings.unchecked.empty() && findings.unchecked.front().kind == TraceKind::kDevice,
            "a listing that ends in half a character is not taken at its word");
  }

  std::set<std::string> instances;
  for (const Trace& trace : findings.traces) {
    const std::string id = Text(trace.id, unicode);
    Require(!devcon_missing || trace.kind == TraceKind::kRegistryKey ||
                trace.kind == TraceKind::kDriverFile,
            "without devcon no listing trace is reported");
    if (trace.kind == TraceKind::kDevice || trace.kind == TraceKind::kAudioEndpoint) {
      Require(instances.insert(Folded(id)).second, "each instance is reported once");
      const auto& listed = trace.kind == TraceKind::kDevice ? devices : endpoints;
      // The half character at the end joins the vendor listing's last line.
      const bool half_character =
          odd_byte && id.size() >= 3 && id.compare(id.size() - 3, 3, "\xEF\xBF\xBD") == 0;
      // The command by hand goes with a bare instance ID, none with a
      // listed line the cleanup removes, nor with a removal under way.
      Require(half_character ||
                  listed.count({id, trace.manual_removal.empty() && !trace.awaits_reboot}) !=
                      0 ||
                  (trace.awaits_reboot && Listed(listed, id)),
              "an instance names a listed line of its kind");
      if (trace.awaits_reboot) {
        const std::string status_listings =
            trace.kind == TraceKind::kDevice ? listings[4] + listings[5] : listings[6];
        Require(status_listings.find("21") != std::string::npos,
                "a removal waits for a reboot only where status shows problem 21");
      }
    } else if (trace.kind == TraceKind::kDriverPackage) {
      Require(packages.count(id) != 0, "a package names a line that held .inf");
    }
  }
  for (const Trace& device : findings.attached) {
    const std::string id = Text(device.id, unicode);
    Require(instances.insert(Folded(id)).second, "each instance is reported once");
    const bool is_device = device.kind == TraceKind::kDevice;
    Require(is_device || device.kind == TraceKind::kAudioEndpoint,
            "only devices and endpoints are attached");
    Require(Listed(is_device ? devices : endpoints, id),
            "an attached instance names a listed line of its kind");
    Require((is_device ? present_devices : present_endpoints).count(Folded(id)) != 0,
            "an attached instance is one status shows present");
    Require(!PresenceUntold(findings, device.kind),
            "nothing is attached where presence could not be told");
    Require(device.manual_removal.empty(), "no command removes an attached device");
  }

  const int status = CheckStatus(findings);
  Require(status != 0 || (findings.traces.empty() && findings.unchecked.empty()),
          "clean only with no trace and every check run");
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
