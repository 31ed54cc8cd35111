#ifndef KOVEX_EXEC_CAPTURE_H_
#define KOVEX_EXEC_CAPTURE_H_

#include <string>

// Runs the device console tool with `parameters` and reads what it writes to
// standard output through a pipe, for the check: no interpreter, no listing
// file, no window, and no dialog when the tool cannot be found. `devcon.exe`
// is looked for where the cleanup's interpreter finds it: the working
// directory first, then each folder on PATH.
//
// Returns true when the tool ran to its end: `output` holds its standard
// output, byte for byte, and `exit_code` its exit code. Returns false when it
// could not be found or started; `failure` then says why, for a person.
//
// One implementation per platform, chosen at link time: the Windows one, and
// a recording fake for the host's tests.
bool CaptureDeviceConsole(const std::wstring& parameters, std::string* output,
                          unsigned long* exit_code, std::wstring* failure);

#endif  // KOVEX_EXEC_CAPTURE_H_
