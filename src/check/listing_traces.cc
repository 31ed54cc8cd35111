#include "check/listing_traces.h"

#include <set>
#include <vector>

#include "listing/listing.h"
#include "maker/maker.h"

namespace {

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

void ForEachLine(const std::string& listing,
                 const std::function<void(const std::wstring&)>& body) {
  LineSplitter lines(body);
  lines.Feed(listing.data(), listing.size());
  lines.Finish();
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
  explicit InstanceTraces(Findings* findings) : findings_(findings) {
    for (const Trace& trace : findings->traces) {
      if (trace.kind == TraceKind::kDevice ||
          trace.kind == TraceKind::kAudioEndpoint) {
        seen_.insert(Folded(trace.id));
      }
    }
  }

  void Add(TraceKind kind, const std::wstring& line) {
    Trace trace{kind, std::wstring(), std::wstring(), std::wstring()};
    if (!ReadListedInstance(line, &trace.id, &trace.description)) return;
    if (!seen_.insert(Folded(trace.id)).second) return;
    if (line.find(L':') == std::wstring::npos) {
      trace.manual_removal = L"devcon -f remove \"@" + trace.id + L"\"";
    }
    findings_->traces.push_back(trace);
  }

 private:
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

void AddPackageIfMakers(const ListedPackage& package, Findings* findings) {
  for (const std::wstring& line : package.description) {
    if (!NamesMakerPackage(line)) continue;
    Trace trace{TraceKind::kDriverPackage, TrimBlanks(package.name_line),
                PackageDescription(package, line), std::wstring()};
    if (!CleanupDeletes(package)) {
      trace.manual_removal = L"devcon -f /dp_delete " + trace.id;
    }
    findings->traces.push_back(trace);
    return;
  }
}

}  // namespace

void AddDeviceTraces(const std::string& listing, Findings* findings) {
  InstanceTraces instances(findings);
  ForEachLine(listing, [&instances](const std::wstring& line) {
    instances.Add(TraceKind::kDevice, line);
  });
}

void AddEndpointTraces(const std::string& listing, Findings* findings) {
  InstanceTraces instances(findings);
  ForEachLine(listing, [&instances](const std::wstring& line) {
    if (NamesMakerEndpoint(line)) instances.Add(TraceKind::kAudioEndpoint, line);
  });
}

// A package's name stands at the start of a line; the indented lines below
// it describe it. Any other line (the listing's header, its message for an
// empty store) ends the package before it.
void AddPackageTraces(const std::string& listing, Findings* findings) {
  ListedPackage package;
  bool in_package = false;
  ForEachLine(listing, [&](const std::wstring& line) {
    if (!line.empty() && IsBlank(line[0])) {
      if (in_package) package.description.push_back(line);
      return;
    }
    if (in_package) AddPackageIfMakers(package, findings);
    in_package = IsPublishedNameLine(line);
    package = ListedPackage{line, {}};
  });
  if (in_package) AddPackageIfMakers(package, findings);
}
