#include "check/machine_check.h"

#include <algorithm>
#include <cwctype>
#include <string>
#include <vector>

#include "check/listing_traces.h"
#include "exec/capture.h"
#include "exec/files.h"
#include "exec/registry.h"
#include "maker/maker.h"

namespace {

constexpr unsigned long kSubkeyNameChars = 260;

void AddUnchecked(TraceKind kind, const std::wstring& reason,
                  Findings* findings) {
  for (const Unchecked& known : findings->unchecked) {
    if (known.kind == kind && known.reason == reason) return;
  }
  findings->unchecked.push_back({kind, reason});
}

// Runs one listing. A listing that could not be had, or whose exit code
// says it failed, is recorded as a check that could not run.
bool Listing(const wchar_t* listing, TraceKind kind, std::string* output,
             Findings* findings) {
  unsigned long exit_code = 0;
  std::wstring failure;
  if (!CaptureDeviceConsole(listing, output, &exit_code, &failure)) {
    AddUnchecked(kind, failure, findings);
    return false;
  }
  if (exit_code != 0) {
    AddUnchecked(kind, std::wstring(L"devcon ") + listing +
                           L" ended with exit code " +
                           std::to_wstring(exit_code),
                 findings);
    return false;
  }
  return true;
}

void CheckListings(Findings* findings) {
  std::string output;
  for (const wchar_t* listing : {kVendorDeviceListing, kBrandDeviceListing}) {
    if (Listing(listing, TraceKind::kDevice, &output, findings)) {
      AddDeviceTraces(output, findings);
    }
  }
  if (Listing(kAudioEndpointListing, TraceKind::kAudioEndpoint, &output,
              findings)) {
    AddEndpointTraces(output, findings);
  }
  if (Listing(kDriverPackageListing, TraceKind::kDriverPackage, &output,
              findings)) {
    AddPackageTraces(output, findings);
  }
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
