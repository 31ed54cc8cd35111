#ifndef KOVEX_EXEC_CAPTURE_H_
#define KOVEX_EXEC_CAPTURE_H_

#include <string>

// What one run of the device console tool wrote, byte for byte, and how it
// ended.
struct DeviceConsoleRun {
  std::string output;  // standard output
  std::string errors;  // standard error
  unsigned long exit_code = 0;
};

enum class CaptureResult {
  kFinished,    // the tool ran to its end: `run` holds all it wrote
  kNotStarted,  // it could not be found or started: `failure` says why
  kTimedOut,    // it had not finished within the limit and was ended
};

// Runs the device console tool with `parameters` and reads what it writes to
// standard output and standard error through pipes, for the check: no
// interpreter, no listing file, no window, and no dialog when the tool cannot
// be found. devcon is looked for as the cleanup's interpreter looks for it
// (FindAsInterpreterDoes), so that both programs use the same one or neither
// finds one; when what comes first there is no program the check can start
// itself (a devcon.bat or devcon.cmd), the check does not run it, and says
// which file it found.
//
// The tool gets `time_limit_ms` milliseconds to finish; then it is ended.
// It inherits only its pipes and the null device. It runs in a job that ends
// it when the caller ends, so that a caller killed mid-run leaves no tool
// holding the caller's own output.
//
// One implementation per platform, chosen at link time: the Windows one, and
// a recording fake for the host's tests.
CaptureResult CaptureDeviceConsole(const std::wstring& parameters,
                                   unsigned long time_limit_ms,
                                   DeviceConsoleRun* run,
                                   std::wstring* failure);

#endif  // KOVEX_EXEC_CAPTURE_H_
