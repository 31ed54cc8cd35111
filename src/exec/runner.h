#ifndef KOVEX_EXEC_RUNNER_H_
#define KOVEX_EXEC_RUNNER_H_

#include <string>

// Starts `program` (a bare name, found by the system's program search, or a
// full path) with `parameters` as its argument text, with no visible window
// and no message box of the system's, in the tool's working directory, and
// waits for it to end with no time limit.
// An empty `program` is a launch failure (the system's "file not found").
//
// Returns the program's exit code; 0 when the system started it without
// handing back a process to wait for; -1 when it could not be started (after
// printing the launch failure report) or when its exit code could not be read.
// Callers count 0 as success and everything else as failure.
//
// One implementation per platform, chosen at link time: the Windows one, and
// a recording fake for the host's tests.
int RunProgram(const std::wstring& program, const std::wstring& parameters);

// Prints the launch failure report for a system error code and the system's
// message text for it (empty when the system has none). The text keeps its
// own line end.
void ReportLaunchFailure(int error_code, const wchar_t* message);

#endif  // KOVEX_EXEC_RUNNER_H_
