#include "check/report.h"

#include <cstddef>
#include <set>
#include <type_traits>
#include <vector>

#include "kovex_version.h"
#include "maker/maker.h"
#include "nlohmann/json.hpp"
#include "output/output.h"
#include "output/utf8.h"

namespace {

struct KindText {
  TraceKind kind;
  const char* json_kind;   // a trace's "kind"
  const char* json_check;  // an unchecked entry's "check"
  const char* heading;
};

constexpr KindText kKinds[] = {
    {TraceKind::kDevice, "device", "devices", "Devices:"},
    {TraceKind::kAudioEndpoint, "audio-endpoint", "audio-endpoints",
     "Audio endpoints:"},
    {TraceKind::kDriverPackage, "driver-package", "driver-packages",
     "Driver packages:"},
    {TraceKind::kDriverFile, "driver-file", "driver-files", "Driver files in %S:"},
    {TraceKind::kRegistryKey, "registry-key", "registry-keys",
     "Installer registry keys in HKEY_LOCAL_MACHINE\\%S (32-bit view):"},
};

const KindText& TextOf(TraceKind kind) {
  for (const KindText& text : kKinds) {
    if (text.kind == kind) return text;
  }
  return kKinds[0];
}

bool FromListing(TraceKind kind) {
  return kind == TraceKind::kDevice || kind == TraceKind::kAudioEndpoint ||
         kind == TraceKind::kDriverPackage;
}

// A wide character's code unit, whatever the signedness of wchar_t.
unsigned long Unit(wchar_t c) {
  return static_cast<std::make_unsigned_t<wchar_t>>(c);
}

std::string JsonText(const Trace& trace, const std::wstring& text) {
  return FromListing(trace.kind) && !trace.unicode ? ListingTextToUtf8(text)
                                                   : WideToUtf8(text);
}

std::size_t UncheckedKinds(const Findings& findings) {
  std::set<TraceKind> kinds;
  for (const Unchecked& unchecked : findings.unchecked) kinds.insert(unchecked.kind);
  return kinds.size();
}

TraceFate FateOfTrace(const Trace& trace) {
  return FateOf(trace.awaits_reboot, !trace.manual_removal.empty());
}

bool RemovedByCleanup(const Trace& trace) {
  return FateOfTrace(trace) == TraceFate::kCleanup;
}

// One more part of a list in the detection line.
void AppendPart(std::string& list, const std::string& part) {
  if (!list.empty()) list += "; ";
  list += part;
}

// Wide text as ASCII, every other character as '?': the detection line is
// shown by consoles whose code page nobody knows.
std::string Ascii(const std::wstring& text) {
  std::string out;
  out.reserve(text.size());
  for (wchar_t c : text) {
    out.push_back(Unit(c) >= 0x20 && Unit(c) < 0x7F ? static_cast<char>(c) : '?');
  }
  return out;
}

// An id as one part of the detection line's "; "-joined lists: in double
// quotes, its own doubled, when it holds "; " or a quote, so that a reader
// splits the list where the check joined it.
std::string QuotedPart(const std::string& id) {
  if (id.find("; ") == std::string::npos && id.find('"') == std::string::npos) return id;
  std::string quoted = "\"";
  for (const char c : id) {
    quoted.push_back(c);
    if (c == '"') quoted.push_back('"');
  }
  return quoted + "\"";
}

void PrintAttached(const Findings& findings) {
  if (findings.attached.empty()) return;
  Print("Attached now (plugged in, not traces):\n");
  for (const Trace& device : findings.attached) {
    if (device.description.empty()) {
      Print("\t %S (without a description) [%S]\n", device.id.c_str(),
            device.status.c_str());
    } else {
      Print("\t %S : %S [%S]\n", device.id.c_str(), device.description.c_str(),
            device.status.c_str());
    }
  }
  Print("\t Windows re-creates a plugged-in device at every rescan. Whatever of "
        "Kovex's it still runs shows above, under driver packages and files.\n");
}

const char* Plural(std::size_t count) { return count == 1 ? "" : "s"; }

}  // namespace

std::string ListingTextToUtf8(const std::wstring& text) {
  std::vector<unsigned char> bytes;
  bytes.reserve(text.size());
  for (wchar_t c : text) {
    // Listing text holds bytes; anything wider cannot come from a listing.
    bytes.push_back(Unit(c) <= 0xFF
                        ? static_cast<unsigned char>(c)
                        : static_cast<unsigned char>('?'));
  }
  std::string out;
  for (std::size_t at = 0; at < bytes.size();) {
    const std::size_t length = Utf8SequenceAt(bytes.data(), bytes.size(), at);
    if (length == 0) {
      AppendUtf8(&out, bytes[at]);
      ++at;
    } else {
      out.append(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                 bytes.begin() + static_cast<std::ptrdiff_t>(at + length));
      at += length;
    }
  }
  return out;
}

bool CleanupRemovesAny(const Findings& findings) {
  for (const Trace& trace : findings.traces) {
    if (RemovedByCleanup(trace)) return true;
  }
  return false;
}

bool AwaitsReboot(const Findings& findings) {
  for (const Trace& trace : findings.traces) {
    if (trace.awaits_reboot) return true;
  }
  return false;
}

int CheckStatus(const Findings& findings) {
  if (!findings.traces.empty()) return 1;
  return findings.unchecked.empty() ? 0 : 2;
}

void PrintReport(const Findings& findings) {
  Print("Kovex driver check (read-only: nothing is changed)\n");
  bool manual = false;
  for (const KindText& kind : kKinds) {
    Print(kind.heading, kind.kind == TraceKind::kDriverFile
                            ? findings.driver_directory.c_str()
                            : kMakerKeyPath);
    Print("\n");
    bool any = false;
    for (const Trace& trace : findings.traces) {
      if (trace.kind != kind.kind) continue;
      any = true;
      if (trace.description.empty()) {
        Print("\t %S (listed without a description)\n", trace.id.c_str());
      } else if (FromListing(trace.kind)) {
        Print("\t %S : %S\n", trace.id.c_str(), trace.description.c_str());
      } else if (!trace.passed_over_because.empty()) {
        Print("\t %S (%S)\n", trace.id.c_str(),
              trace.passed_over_because.c_str());
      } else {
        Print("\t %S\n", trace.id.c_str());
      }
      if (trace.awaits_reboot) {
        Print("\t \t its removal waits for a reboot [%S]\n",
              trace.status.c_str());
      }
      if (!trace.manual_removal.empty()) {
        manual = true;
        Print("\t \t the cleanup passes over it; remove it with: %S\n",
              trace.manual_removal.c_str());
      }
    }
    for (const Unchecked& unchecked : findings.unchecked) {
      if (unchecked.kind != kind.kind) continue;
      any = true;
      Print("\t NOT CHECKED: %S\n", unchecked.reason.c_str());
    }
    if (!any) Print("\t none\n");
  }
  PrintAttached(findings);

  const std::size_t traces = findings.traces.size();
  const std::size_t unchecked = UncheckedKinds(findings);
  if (traces != 0 || unchecked != 0) Print("What to do:\n");
  if (unchecked != 0) {
    Print("\t Mend what kept a check from running (NOT CHECKED above), then "
          "check again.\n");
  }
  if (CleanupRemovesAny(findings)) {
    Print("\t Run kovex-deepclean.exe in an elevated console, then check "
          "again.\n");
    Print("\t A trace still there after the cleanup: its removal failed or "
          "waits for a reboot. Reboot, then check again.\n");
  }
  if (AwaitsReboot(findings)) {
    Print("\t Reboot to finish the removals that wait for it, then check "
          "again.\n");
  }
  if (manual) {
    Print("\t Remove what the cleanup passes over with the command shown "
          "under it, in an elevated console.\n");
  }
  if (traces != 0) {
    Print("Verdict: NOT CLEAN: %d trace%s of Kovex's drivers found.\n",
          static_cast<int>(traces), Plural(traces));
  } else if (unchecked != 0) {
    Print("Verdict: UNKNOWN: nothing of Kovex's drivers found, but %d check%s "
          "could not run.\n",
          static_cast<int>(unchecked), Plural(unchecked));
  } else {
    Print("Verdict: CLEAN: nothing of Kovex's drivers is left.\n");
  }
}

int RemediationStatus(const Findings& findings) {
  return CleanupRemovesAny(findings) ? 1 : 0;
}

Verdict RemediationVerdict(const Findings& findings) {
  VerdictTally tally;
  for (const Trace& trace : findings.traces) tally.Add(FateOfTrace(trace));
  tally.unchecked = !findings.unchecked.empty();
  return VerdictOf(tally);
}

std::string RemediationLine(const Findings& findings) {
  std::string removes;
  std::string reboot;
  std::string manual;
  for (const Trace& trace : findings.traces) {
    const std::string named =
        trace.manual_removal.empty()
            ? std::string(TextOf(trace.kind).json_kind) + " " + QuotedPart(Ascii(trace.id))
            : Ascii(trace.manual_removal);
    switch (FateOfTrace(trace)) {
      case TraceFate::kCleanup:
        AppendPart(removes, named);
        break;
      case TraceFate::kReboot:
        AppendPart(reboot, named);
        break;
      case TraceFate::kManualRemoval:
        AppendPart(manual, named);
        break;
    }
  }
  std::string unchecked;
  for (const Unchecked& entry : findings.unchecked) {
    AppendPart(unchecked, std::string(TextOf(entry.kind).json_check) + ": " +
                              Ascii(entry.reason));
  }

  const Verdict verdict = RemediationVerdict(findings);
  std::string line = std::string(VerdictName(verdict)) + ": ";
  switch (verdict) {
    case Verdict::kNotClean:
      line += "the cleanup removes " + removes;
      break;
    case Verdict::kPending:
      line += "nothing the cleanup removes";
      break;
    case Verdict::kUnknown:
      line += "nothing found";
      break;
    case Verdict::kClean:
      line += "nothing of Kovex's drivers is left";
      break;
  }
  if (!reboot.empty()) line += " | reboot to finish removing " + reboot;
  if (!manual.empty()) line += " | remove by hand: " + manual;
  if (!unchecked.empty()) line += " | not checked: " + unchecked;
  if (line.size() > kRemediationLineLimit) {
    line.resize(kRemediationLineLimit - 3);
    line += "...";
  }
  return line;
}

std::string JsonReport(const Findings& findings) {
  nlohmann::ordered_json traces = nlohmann::ordered_json::array();
  for (const Trace& trace : findings.traces) {
    nlohmann::ordered_json entry = {{"kind", TextOf(trace.kind).json_kind},
                                    {"id", JsonText(trace, trace.id)},
                                    {"description", JsonText(trace, trace.description)},
                                    {"awaits_reboot", trace.awaits_reboot}};
    // Commands are built from listing text, so they are read as it is.
    if (!trace.manual_removal.empty()) {
      entry["manual_removal"] = JsonText(trace, trace.manual_removal);
    }
    traces.push_back(entry);
  }
  nlohmann::ordered_json attached = nlohmann::ordered_json::array();
  for (const Trace& device : findings.attached) {
    attached.push_back({{"kind", TextOf(device.kind).json_kind},
                        {"id", JsonText(device, device.id)},
                        {"description", JsonText(device, device.description)},
                        {"status", JsonText(device, device.status)}});
  }
  nlohmann::ordered_json unchecked = nlohmann::ordered_json::array();
  for (const Unchecked& entry : findings.unchecked) {
    unchecked.push_back({{"check", TextOf(entry.kind).json_check},
                         {"reason", WideToUtf8(entry.reason)}});
  }
  const bool complete = findings.unchecked.empty();
  nlohmann::ordered_json document;
  document["clean"] = complete && findings.traces.empty();
  document["complete"] = complete;
  document["traces"] = traces;
  document["unchecked"] = unchecked;
  document["attached"] = attached;
  document["computer"] = WideToUtf8(findings.computer);
  document["checked_at"] = findings.checked_at;
  document["version"] = KOVEX_VERSION;
  // Pure ASCII: every other character is escaped as \uXXXX (a surrogate
  // pair beyond the BMP), so that any reader decodes the document alike,
  // whatever its console or code page. The text above is valid UTF-8 by
  // construction; should it ever not be, a replacement character is better
  // than no document at all.
  return document.dump(-1, ' ', true, nlohmann::json::error_handler_t::replace);
}
