#ifndef KOVEX_EXEC_RUNNER_H_
#define KOVEX_EXEC_RUNNER_H_

#include <string>

// The time every program the cleanup starts gets before it is ended: ten
// minutes, far above what any devcon command takes on a sound machine, and
// well inside a deployment engine's own limit, so that a run nobody watches
// always ends. A constant of the program (the tool reads no option and no
// environment), defined in a file of its own so that a test-only build of
// the cleanup can give a short one.
extern const unsigned long kProgramTimeLimitMs;

// Starts `program` (a bare name, found by the shell's program search, or a
// full path) with `parameters` as its argument text, with no visible window
// and no message box of the system's, in the tool's working directory, and
// waits for it to end, for kProgramTimeLimitMs at most.
// An empty `program` is a launch failure (the system's "file not found").
//
// Returns the program's exit code. Returns -1, a failure to every caller,
// when it could not be started, when the shell started it without handing
// back a process to wait for (nothing tells what it did), after printing the
// launch failure report; when its exit code could not be read; and when it
// had not ended within the limit, after ending it and whatever it started
// and printing the time limit line. Callers count 0 as success and
// everything else as failure.
int RunProgram(const std::wstring& program, const std::wstring& parameters);

// RunProgram with a limit of the caller's: the seam through which tests
// give a short one.
int RunProgramWithin(const std::wstring& program, const std::wstring& parameters,
                     unsigned long time_limit_ms);

// Prints the launch failure report for a system error code and the system's
// message text for it (empty when the system has none). The text keeps its
// own line end.
void ReportLaunchFailure(int error_code, const wchar_t* message);

// The platform's half of RunProgramWithin, which decides from what it
// reports. One implementation per platform, chosen at link time: the
// Windows one, and a recording fake for the host's tests.
enum class ProgramEnd {
  kNotStarted,   // the shell refused: `error` says why
  kNoProcess,    // the shell said it started it, but handed back no process
  kExited,       // it ended within the limit: `exit_code` is its own
  kNoExitCode,   // it ended, or could not be waited for, without a code
  kTimedOut,     // the limit passed: it and what it started were ended
};

struct ProgramRun {
  ProgramEnd end = ProgramEnd::kNotStarted;
  long error = 0;
  unsigned long exit_code = 0;
};

// Starts the program through the shell, hidden, and waits for it up to the
// limit; past it, ends the program and every process it started.
ProgramRun StartHiddenAndWait(const std::wstring& program,
                              const std::wstring& parameters,
                              unsigned long time_limit_ms);

// The system's message text for an error code with its line end, as the
// launch failure report prints it; empty when the system has none.
std::wstring LaunchErrorText(long code);

#endif  // KOVEX_EXEC_RUNNER_H_
