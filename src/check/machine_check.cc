#include "check/machine_check.h"

#include <algorithm>
#include <cwctype>
#include <string>
#include <vector>

#include "check/listing_traces.h"
#include "exec/capture.h"
#include "exec/files.h"
#include "exec/registry.h"
#include "exec/time_limit.h"
#include "listing/unicode_option.h"
#include "maker/maker.h"

namespace {

constexpr unsigned long kSubkeyNameChars = 260;
constexpr unsigned long kDevconTimeLimitMs = 120UL * 1000UL;
// All the check's devcon runs together: a detection script's engine waits
// no longer than that for an answer (Intune's scripts: 30 minutes).
constexpr unsigned long kCheckDeadlineMs = 5UL * 60UL * 1000UL;

void AddUnchecked(TraceKind kind, const std::wstring& reason,
                  Findings* findings) {
  for (const Unchecked& known : findings->unchecked) {
    if (known.kind == kind && known.reason == reason) return;
  }
  findings->unchecked.push_back({kind, reason});
}

// The device console tool's runs for the check, with `-u` as the cleanup's
// captures ask (UnicodeOption). A tool too old for `-u` answers its usage
// status with its usage on standard error, in bytes: a tool that knows
// `-u` writes even its errors in UTF-16. After one run has not finished in
// time, none more is started: the check must not hang its caller. Each run
// gets kDevconTimeLimitMs, never more than is left of kCheckDeadlineMs from
// the first; past that deadline none is started.
class DeviceConsole {
 public:
  DeviceConsole() : deadline_(DeadlineFromNow(kCheckDeadlineMs)) {}

  // Runs `command`; true with `listing` filled when it ran and succeeded.
  // Otherwise records why under `kind`.
  bool Run(const std::wstring& command, TraceKind kind, ListingText* listing,
           Findings* findings) {
    if (!gave_up_.empty()) {
      AddUnchecked(kind, gave_up_, findings);
      return false;
    }
    DeviceConsoleRun run;
    std::wstring failure;
    CaptureResult result = CaptureResult::kFinished;
    const ListingEncoding encoding = unicode_.Run([&](bool with_unicode) {
      bool by_deadline = false;
      const unsigned long limit = LimitUnder(deadline_, kDevconTimeLimitMs, &by_deadline);
      const std::wstring total = L"the check's " + TimeLimitText(deadline_.total_ms);
      if (limit == 0) {
        result = CaptureResult::kTimedOut;
        failure = L"not run: " + total + L" for devcon are spent";
        return false;
      }
      result = CaptureDeviceConsole(with_unicode ? L"-u " + command : command,
                                    limit, &run, &failure);
      if (result == CaptureResult::kTimedOut && by_deadline) {
        failure = L"devcon did not finish within " + total;
      }
      return result == CaptureResult::kFinished &&
             run.exit_code == static_cast<unsigned long>(kDevconUsageStatus) &&
             run.errors.find("Usage:") != std::string::npos;
    });
    if (result == CaptureResult::kTimedOut) gave_up_ = failure;
    if (result != CaptureResult::kFinished) {
      AddUnchecked(kind, failure, findings);
      return false;
    }
    if (run.exit_code != 0) {
      AddUnchecked(kind, L"devcon " + command + L" ended with exit code " +
                             std::to_wstring(run.exit_code),
                   findings);
      return false;
    }
    *listing = ListingFromOutput(run.output, encoding);
    return true;
  }

 private:
  Deadline deadline_;
  UnicodeOption unicode_;
  std::wstring gave_up_;
};

// `status` with the pattern of a `findall` listing.
std::wstring StatusCommand(const wchar_t* listing) {
  const std::wstring findall = listing;
  return L"status" + findall.substr(findall.find(L' '));
}

// Runs one `findall` device listing and holds it to its count line.
bool DeviceListing(DeviceConsole* devcon, const wchar_t* command,
                   TraceKind kind, ListingText* listing, Findings* findings) {
  if (!devcon->Run(command, kind, listing, findings)) return false;
  const std::wstring disagreement =
      CountDisagreement(*listing, ListedInstanceCount(*listing));
  if (!disagreement.empty()) AddUnchecked(kind, disagreement, findings);
  return true;
}

// What `status` shows present of one kind, from all its patterns; false
// when any of them could not be had whole, and so presence cannot be told.
bool PresentDevices(DeviceConsole* devcon,
                    std::initializer_list<const wchar_t*> listings,
                    TraceKind kind, std::vector<PresentDevice>* present,
                    std::wstring* failure) {
  bool whole = true;
  for (const wchar_t* listing : listings) {
    const std::wstring command = StatusCommand(listing);
    Findings run_findings;
    ListingText text;
    if (!devcon->Run(command, kind, &text, &run_findings)) {
      if (whole) *failure = run_findings.unchecked.front().reason;
      whole = false;
      continue;
    }
    const std::vector<PresentDevice> shown = ReadStatusListing(text);
    const std::wstring disagreement = CountDisagreement(text, shown.size());
    if (!disagreement.empty()) {
      if (whole) {
        *failure = L"devcon " + command;
        failure->append(L": ").append(disagreement);
      }
      whole = false;
      continue;
    }
    present->insert(present->end(), shown.begin(), shown.end());
  }
  return whole;
}

bool HasTraceOf(TraceKind kind, const Findings& findings) {
  for (const Trace& trace : findings.traces) {
    if (trace.kind == kind) return true;
  }
  return false;
}

// Sorts out the instances of `kind` by presence; when it cannot be told,
// every one stays a trace and the kind is unchecked.
void CheckPresence(DeviceConsole* devcon,
                   std::initializer_list<const wchar_t*> listings,
                   TraceKind kind, Findings* findings) {
  std::vector<PresentDevice> present;
  std::wstring failure;
  if (PresentDevices(devcon, listings, kind, &present, &failure)) {
    ApplyPresence(kind, present, findings);
  } else if (HasTraceOf(kind, *findings)) {
    AddUnchecked(kind, L"whether they are plugged in could not be told: " +
                           failure,
                 findings);
  }
}

void CheckListings(Findings* findings) {
  DeviceConsole devcon;
  ListingText listing;
  for (const wchar_t* command : {kVendorDeviceListing, kBrandDeviceListing}) {
    if (DeviceListing(&devcon, command, TraceKind::kDevice, &listing,
                      findings)) {
      AddDeviceTraces(listing, findings);
    }
  }
  if (DeviceListing(&devcon, kAudioEndpointListing, TraceKind::kAudioEndpoint,
                    &listing, findings)) {
    AddEndpointTraces(listing, findings);
  }
  if (devcon.Run(kDriverPackageListing, TraceKind::kDriverPackage, &listing,
                 findings)) {
    AddPackageTraces(listing, findings);
  }
  CheckPresence(&devcon, {kVendorDeviceListing, kBrandDeviceListing},
                TraceKind::kDevice, findings);
  CheckPresence(&devcon, {kAudioEndpointListing}, TraceKind::kAudioEndpoint,
                findings);
}

bool LessIgnoringCase(const std::wstring& a, const std::wstring& b) {
  return std::lexicographical_compare(
      a.begin(), a.end(), b.begin(), b.end(), [](wchar_t x, wchar_t y) {
        return std::towlower(x) < std::towlower(y);
      });
}

// The cleanup deletes driver files with `del /F <pattern>`, which passes over
// hidden and system files: /A with the file's own attributes selects it
// (h hidden, s system), and /F also takes a read-only one.
void AddDriverFileTrace(const WindowsFile& file, Findings* findings) {
  const std::wstring path = findings->driver_directory + L"\\" + file.name;
  Trace trace{TraceKind::kDriverFile, file.name, path, std::wstring()};
  if (file.hidden || file.system) {
    const std::wstring attributes =
        std::wstring(file.hidden ? L"H" : L"") + (file.system ? L"S" : L"");
    trace.manual_removal = L"del /F /A:" + attributes + L" \"" + path + L"\"";
    const wchar_t* what = L"a system file";
    if (file.hidden) what = file.system ? L"a hidden system file" : L"a hidden file";
    trace.passed_over_because = what + std::wstring(L": del without /A passes over it");
  }
  findings->traces.push_back(trace);
}

void CheckDriverFiles(Findings* findings) {
  for (const wchar_t* pattern : kDriverFilePatterns) {
    std::vector<WindowsFile> files;
    const long error = FindWindowsFiles(kDriverDirectory, pattern,
                                        &findings->driver_directory, &files);
    if (error != 0) {
      AddUnchecked(TraceKind::kDriverFile,
                   findings->driver_directory + L" could not be read: " +
                       SystemErrorText(error),
                   findings);
      continue;
    }
    // The system lists a folder in no set order.
    std::sort(files.begin(), files.end(),
              [](const WindowsFile& a, const WindowsFile& b) {
                return LessIgnoringCase(a.name, b.name);
              });
    for (const WindowsFile& file : files) AddDriverFileTrace(file, findings);
  }
}

void CheckInstallerRegistry(Findings* findings) {
  const std::wstring where = std::wstring(L"HKEY_LOCAL_MACHINE\\") + kMakerKeyPath;
  RegistryKey key = nullptr;
  const long opened = OpenLocalMachineKey32ForReading(kMakerKeyPath, &key);
  if (opened == kRegistryKeyNotFound) return;
  const auto unreadable = [&where, findings](const wchar_t* what, long error) {
    AddUnchecked(TraceKind::kRegistryKey,
                 where + L" (32-bit view) could not be " + what + L": " +
                     SystemErrorText(error),
                 findings);
  };
  if (opened != 0) {
    unreadable(L"opened", opened);
    return;
  }
  wchar_t name[kSubkeyNameChars];
  for (unsigned long index = 0;; ++index) {
    const long result = EnumSubkeyName(key, index, name, kSubkeyNameChars);
    if (result == kRegistryNoMoreSubkeys) break;
    if (result != 0) {
      unreadable(L"read to its end", result);
      break;
    }
    if (IsInstallerSubkey(name)) {
      findings->traces.push_back(
          {TraceKind::kRegistryKey, name, where + L"\\" + name, std::wstring()});
    }
  }
  CloseRegistryKey(key);
}

}  // namespace

Findings CheckMachine() {
  Findings findings;
  CheckListings(&findings);
  CheckDriverFiles(&findings);
  CheckInstallerRegistry(&findings);
  return findings;
}
