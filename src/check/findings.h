#ifndef KOVEX_CHECK_FINDINGS_H_
#define KOVEX_CHECK_FINDINGS_H_

#include <string>
#include <utility>
#include <vector>

// What the check found of the maker's: one trace per item, and each check
// that could not run.

enum class TraceKind {
  kDevice,
  kAudioEndpoint,
  kDriverPackage,
  kDriverFile,
  kRegistryKey,
};

struct Trace {
  Trace() = default;
  Trace(TraceKind trace_kind, std::wstring trace_id,
        std::wstring trace_description, std::wstring trace_manual_removal)
      : kind(trace_kind),
        id(std::move(trace_id)),
        description(std::move(trace_description)),
        manual_removal(std::move(trace_manual_removal)) {}

  TraceKind kind = TraceKind::kDevice;
  // The instance ID, the published name, the file name or the subkey name.
  std::wstring id;
  // The device's description (empty when the listing gives none), the
  // package's provider, the file's full path, the subkey's full path.
  std::wstring description;
  // The command that removes it by hand where the cleanup cannot; empty
  // where running the cleanup removes it.
  std::wstring manual_removal;
  // Why the cleanup passes over it, where the description does not tell
  // already (a device listed without one); empty otherwise.
  std::wstring passed_over_because;
  // A present device's state as the device console tool's `status` gives
  // it ("Driver is running."); empty where presence was not told.
  std::wstring status;
  // A present device whose removal waits for a reboot (problem code 21).
  bool awaits_reboot = false;
  // Text read from the tool's UTF-16 output, every character as it stands;
  // false for text kept one wide character per byte (see Findings).
  bool unicode = false;
};

struct Unchecked {
  TraceKind kind;       // the kind of trace that could not be looked for
  std::wstring reason;  // for a person
};

// Devices, endpoints and packages come from the device console tool's
// listings: decoded from UTF-16 where the tool could write it, else their
// bytes kept one wide character per byte, as the cleanup reads them. File
// and subkey names come from the system, in UTF-16.
struct Findings {
  std::vector<Trace> traces;
  // The maker's devices and endpoints plugged in now, with their state: no
  // traces, since Windows re-creates a plugged-in device at every rescan.
  std::vector<Trace> attached;
  std::vector<Unchecked> unchecked;
  std::wstring driver_directory;  // where the driver files were looked for
  // What names the result across a fleet: the machine's DNS host name and
  // when it was checked (UTC, ISO 8601 with 'Z').
  std::wstring computer;
  std::string checked_at;
};

#endif  // KOVEX_CHECK_FINDINGS_H_
