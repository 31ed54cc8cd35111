#ifndef KOVEX_CHECK_FINDINGS_H_
#define KOVEX_CHECK_FINDINGS_H_

#include <string>
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
  TraceKind kind;
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
  std::wstring passed_over_because = {};
};

struct Unchecked {
  TraceKind kind;       // the kind of trace that could not be looked for
  std::wstring reason;  // for a person
};

// Devices, endpoints and packages come from the device console tool's
// listings, whose bytes are kept one wide character per byte, as the
// cleanup reads them; file and subkey names come from the system, in UTF-16.
struct Findings {
  std::vector<Trace> traces;
  std::vector<Unchecked> unchecked;
  std::wstring driver_directory;  // where the driver files were looked for
};

#endif  // KOVEX_CHECK_FINDINGS_H_
