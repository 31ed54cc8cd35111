#include "check/listing_traces.h"

#include <map>
#include <set>
#include <utility>
#include <vector>

#include "listing/listing.h"
#include "maker/maker.h"

namespace {

// Windows is removing this device: its removal waits for a reboot.
constexpr long kProblemBeingRemoved = 21;

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t'; }

bool HasBlank(const std::wstring& text) {
  return text.find_first_of(L" \t") != std::wstring::npos;
}

std::wstring TrimBlanks(const std::wstring& text) {
  std::wstring::size_type first = 0;
  std::wstring::size_type last = text.size();
  while (first < last && IsBlank(text[first])) ++first;
  while (last > first && IsBlank(text[last - 1])) --last;
  return text.substr(first, last - first);
}

// Instance IDs and published names are compared as the system does: letter
// case aside.
std::wstring Folded(const std::wstring& text) {
  std::wstring folded = text;
  for (wchar_t& c : folded) {
    if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
  }
  return folded;
}

bool StartsWith(const std::wstring& text, const std::wstring& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

std::wstring::size_type LastNonEmptyLine(const ListingText& listing) {
  for (std::wstring::size_type at = listing.lines.size(); at > 0; --at) {
    if (!listing.lines[at - 1].empty()) return at - 1;
  }
  return std::wstring::npos;
}

// A listed instance: its ID padded with blanks, a colon and its
// description; or its ID alone when it has none. An instance ID holds no
// blank, which tells a bare ID from devcon's closing count line.
bool ReadListedInstance(const std::wstring& line, std::wstring* id,
                        std::wstring* description) {
  std::wstring before;
  std::wstring after;
  if (SplitDeviceLine(line, &before, &after)) {
    *id = TrimBlanks(before);
    *description = TrimBlanks(after);
  } else {
    *id = line;
    description->clear();
  }
  return !id->empty() && !HasBlank(*id);
}

// Adds the instance a listing line names, once, whether it was first found
// as a device or as an endpoint. One listed without a description is passed
// over by the cleanup, which removes only lines with a colon.
class InstanceTraces {
 public:
  InstanceTraces(bool unicode, Findings* findings)
      : unicode_(unicode), findings_(findings) {
    for (const Trace& trace : findings->traces) {
      if (trace.kind == TraceKind::kDevice ||
          trace.kind == TraceKind::kAudioEndpoint) {
        seen_.insert(Folded(trace.id));
      }
    }
  }

  void Add(TraceKind kind, const std::wstring& line) {
    Trace trace;
    trace.kind = kind;
    trace.unicode = unicode_;
    if (!ReadListedInstance(line, &trace.id, &trace.description)) return;
    if (!seen_.insert(Folded(trace.id)).second) return;
    if (line.find(L':') == std::wstring::npos) {
      trace.manual_removal = L"devcon -f remove \"@" + trace.id + L"\"";
    }
    findings_->traces.push_back(trace);
  }

 private:
  bool unicode_;
  Findings* findings_;
  std::set<std::wstring> seen_;
};

struct ListedPackage {
  std::wstring name_line;
  std::vector<std::wstring> description;
};

bool IsPublishedNameLine(const std::wstring& line) {
  const std::wstring name = TrimBlanks(line);
  const std::wstring suffix = L".inf";
  return !line.empty() && !IsBlank(line[0]) && !HasBlank(name) &&
         name.size() > suffix.size() &&
         Folded(name).compare(name.size() - suffix.size(), suffix.size(),
                              suffix) == 0;
}

// The provider, and the line that names the maker where it is another.
std::wstring PackageDescription(const ListedPackage& package,
                                const std::wstring& maker_line) {
  const std::wstring label = L"Provider:";
  std::wstring provider;
  for (const std::wstring& line : package.description) {
    const std::wstring text = TrimBlanks(line);
    if (text.compare(0, label.size(), label) == 0) {
      provider = TrimBlanks(text.substr(label.size()));
      if (line == maker_line) return provider;
      break;
    }
  }
  const std::wstring named = TrimBlanks(maker_line);
  return provider.empty() ? named : provider + L" (" + named + L")";
}

// Whether the cleanup's line walk deletes this package: it takes a line
// holding ".inf" as a package's name, letter case counting, and deletes the
// pending name at the first line after it that names the maker, unless a
// line holding ".inf" comes first and replaces that name.
bool CleanupDeletes(const ListedPackage& package) {
  if (!Contains(package.name_line, L".inf")) return false;
  for (const std::wstring& line : package.description) {
    if (Contains(line, L".inf")) return false;
    if (NamesMakerPackage(line)) return true;
  }
  return false;
}

// A cut line in the tool's byte output: a package name glued onto one of
// the description lines, or a provider line taken in from the next package.
bool ShowsCutLine(const ListedPackage& package) {
  const std::wstring label = L"Provider:";
  int providers = 0;
  for (const std::wstring& line : package.description) {
    if (Contains(Folded(line), L".inf")) return true;
    if (StartsWith(TrimBlanks(line), label)) ++providers;
  }
  return providers > 1;
}

void AddPackageIfMakers(const ListedPackage& package, bool unicode,
                        Findings* findings) {
  for (const std::wstring& line : package.description) {
    if (!NamesMakerPackage(line)) continue;
    Trace trace;
    trace.kind = TraceKind::kDriverPackage;
    trace.id = TrimBlanks(package.name_line);
    trace.description = PackageDescription(package, line);
    trace.unicode = unicode;
    if (!CleanupDeletes(package)) {
      trace.manual_removal = L"devcon -f /dp_delete " + trace.id;
    }
    findings->traces.push_back(trace);
    return;
  }
}

}  // namespace

ListingText ListingFromOutput(const std::string& bytes, ListingEncoding encoding) {
  ListingText listing;
  listing.unicode = encoding == ListingEncoding::kUtf16;
  ListingReader lines(encoding, [&listing](const std::wstring& line) {
    listing.lines.push_back(line);
  });
  lines.Feed(bytes.data(), bytes.size());
  lines.Finish();
  return listing;
}

std::wstring CountDisagreement(const ListingText& listing, std::size_t listed) {
  const std::wstring::size_type last = LastNonEmptyLine(listing);
  unsigned long count = 0;
  if (last == std::wstring::npos || !ReadCountLine(listing.lines[last], &count)) {
    return L"devcon's listing did not end with its count line";
  }
  if (count == listed) return std::wstring();
  return L"devcon reported " + std::to_wstring(count) + L" devices and listed " +
         std::to_wstring(listed);
}

std::size_t ListedInstanceCount(const ListingText& listing) {
  std::size_t count = 0;
  std::wstring id;
  std::wstring description;
  for (const std::wstring& line : listing.lines) {
    if (ReadListedInstance(line, &id, &description)) ++count;
  }
  return count;
}

void AddDeviceTraces(const ListingText& listing, Findings* findings) {
  InstanceTraces instances(listing.unicode, findings);
  for (const std::wstring& line : listing.lines) {
    instances.Add(TraceKind::kDevice, line);
  }
}

void AddEndpointTraces(const ListingText& listing, Findings* findings) {
  InstanceTraces instances(listing.unicode, findings);
  for (const std::wstring& line : listing.lines) {
    if (IsMakerEndpointLine(line, listing.unicode ? ListingEncoding::kUtf16
                                                  : ListingEncoding::kBytes)) {
      instances.Add(TraceKind::kAudioEndpoint, line);
    }
  }
}

// A package's name stands at the start of a line; the indented lines below
// it describe it. Any other line (the listing's header, its message for an
// empty store) ends the package before it.
void AddPackageTraces(const ListingText& listing, Findings* findings) {
  std::vector<ListedPackage> packages;
  bool in_package = false;
  for (const std::wstring& line : listing.lines) {
    if (!line.empty() && IsBlank(line[0])) {
      if (in_package) packages.back().description.push_back(line);
      continue;
    }
    in_package = IsPublishedNameLine(line);
    if (in_package) packages.push_back(ListedPackage{line, {}});
  }
  if (!listing.unicode) {
    for (const ListedPackage& package : packages) {
      if (!ShowsCutLine(package)) continue;
      findings->unchecked.push_back(
          {TraceKind::kDriverPackage,
           L"devcon without -u cut a line of its package listing, so which "
           L"package is whose cannot be told"});
      return;
    }
  }
  for (const ListedPackage& package : packages) {
    AddPackageIfMakers(package, listing.unicode, findings);
  }
}

// An instance ID stands alone at the start of a line; its indented lines
// give its name and state. Any other line (the count line) ends it.
std::vector<PresentDevice> ReadStatusListing(const ListingText& listing) {
  const std::wstring name_label = L"Name:";
  const std::wstring problem_label = L"The device has the following problem:";
  const std::wstring unreadable = L"Error retrieving the device's status.";
  std::vector<PresentDevice> devices;
  bool in_device = false;
  for (const std::wstring& line : listing.lines) {
    if (line.empty()) continue;
    if (!IsBlank(line[0])) {
      in_device = !HasBlank(line);
      if (in_device) devices.push_back(PresentDevice{line, {}, {}, -1, false});
      continue;
    }
    if (!in_device) continue;
    PresentDevice& device = devices.back();
    const std::wstring text = TrimBlanks(line);
    if (device.state.empty() && device.description.empty() &&
        StartsWith(text, name_label)) {
      device.description = TrimBlanks(text.substr(name_label.size()));
      continue;
    }
    if (!device.state.empty()) device.state += L' ';
    device.state += text;
    device.state_known = text != unreadable;
    unsigned long problem = 0;
    if (StartsWith(text, problem_label) &&
        ReadNumber(TrimBlanks(text.substr(problem_label.size())), &problem)) {
      device.problem = static_cast<long>(problem);
    }
  }
  return devices;
}

void ApplyPresence(TraceKind kind, const std::vector<PresentDevice>& present,
                   Findings* findings) {
  std::map<std::wstring, const PresentDevice*> by_id;
  for (const PresentDevice& device : present) {
    by_id.emplace(Folded(device.id), &device);
  }
  std::vector<Trace> traces;
  for (Trace& trace : findings->traces) {
    const auto found = trace.kind == kind ? by_id.find(Folded(trace.id))
                                          : by_id.end();
    if (found == by_id.end() || !found->second->state_known) {
      traces.push_back(std::move(trace));
      continue;
    }
    const PresentDevice& device = *found->second;
    trace.status = device.state;
    trace.manual_removal.clear();
    if (device.problem == kProblemBeingRemoved) {
      // Its removal was asked for and waits: no command removes it sooner.
      trace.awaits_reboot = true;
      traces.push_back(std::move(trace));
      continue;
    }
    if (trace.description.empty()) trace.description = device.description;
    findings->attached.push_back(std::move(trace));
  }
  findings->traces = std::move(traces);
}
