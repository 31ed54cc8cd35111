#ifndef KOVEX_EXEC_RUNNER_H_
#define KOVEX_EXEC_RUNNER_H_

#include <string>

// The time every program the cleanup starts gets before it is ended: ten
// minutes, far above what any devcon command takes on a sound machine.
// A constant of the program (the tool reads no option and no environment),
// defined in a file of its own so that a test-only build of the cleanup can
// give a short one.
extern const unsigned long kProgramTimeLimitMs;

// The time the whole run gets to start programs: 25 minutes from
// StartRunDeadline. A driver that blocks one devcon command usually blocks
// every later one, and ten minutes each would keep the run past every
// deployment engine's limit (Intune's scripts: 30 minutes). Defined beside
// kProgramTimeLimitMs.
extern const unsigned long kRunDeadlineMs;

// What a device command (a removal, a driver-store deletion, the rescan)
// needs left of the run's deadline to be started: one minute, so that none
// is ended by the deadline halfway through changing a device or the driver
// store. Defined beside kProgramTimeLimitMs (the test-only build's is
// shorter, in step with its short deadline).
extern const unsigned long kDeviceCommandFloorMs;

// What a program that touches no device (the interpreter's `del` of the
// driver files) gets at least, even past the run's deadline, so that those
// files go whatever devcon did: one minute, within kProgramTimeLimitMs.
constexpr unsigned long kPastDeadlineLimitMs = 60ul * 1000;

// Starts the run's deadline: kRunDeadlineMs from now. Until it is called,
// programs have their own limit alone. The cleanup's run calls it first.
void StartRunDeadline();

// One cleanup of a machine at a time. Takes the machine's cleanup lock
// (TryTakeRunLock); while another cleanup holds it, prints one line and
// waits for it, within the run's deadline. When the wait uses up the
// deadline, the run may not act: every program it would start gets the
// not-started line, the deletions past the deadline too, and no step acts
// on its own (RunMayAct). When the lock cannot be had at all, prints one
// line and goes on without it. The cleanup's run calls it right after
// StartRunDeadline; the lock is the process's until it ends.
void TakeRunLock();

// False when the run waited its deadline out for another cleanup: then it
// may act on nothing, its listing files included.
bool RunMayAct();

// RunMayAct for a step that acts without starting a program: when false,
// prints the not-started line for `item`.
bool RunMayActOn(const std::wstring& item);

// Starts `program` (a bare name, found by the shell's program search, or a
// full path) with `parameters` as its argument text, with no visible window,
// no message box of the system's and no zone check, in the tool's working
// directory, and waits for it to end, for kProgramTimeLimitMs at most and
// never past the run's deadline. An empty `program` is a launch failure (the
// system's "file not found").
//
// Returns the program's exit code. Returns -1, a failure to every caller,
// when it could not be started, when the shell started it without handing
// back a process to wait for (nothing tells what it did), after printing the
// launch failure report; when its exit code could not be read; when it had
// not ended within its limit, after ending it and whatever it started and
// printing the time limit line; and when the run's deadline had passed, after
// printing the not-started line, without starting it. Callers count 0 as
// success and everything else as failure.
//
// A program that ends by itself leaves running what it started (a class
// installer's helper finishing its work); only a program ended at its limit
// has its whole tree ended.
int RunProgram(const std::wstring& program, const std::wstring& parameters);

// RunProgram for a device command: with less than kDeviceCommandFloorMs of
// the run left it is not started (the not-started line), as past the
// deadline.
int RunDeviceCommand(const std::wstring& program, const std::wstring& parameters);

// RunProgram for a program that touches no device: past the deadline it
// still runs, with kPastDeadlineLimitMs.
int RunProgramEvenPastDeadline(const std::wstring& program,
                               const std::wstring& parameters);

// RunProgram with a limit of the caller's: the seam through which tests
// give a short one.
int RunProgramWithin(const std::wstring& program, const std::wstring& parameters,
                     unsigned long time_limit_ms);

// Prints the launch failure report for a system error code and the system's
// message text for it (empty when the system has none). The text keeps its
// own line end.
void ReportLaunchFailure(int error_code, const wchar_t* message);

// The platform's half of RunProgram. It reports what the system said and
// decides nothing: RunProgramWithin decides what each answer means. One
// implementation per platform, chosen at link time: the Windows one, and a
// recording fake for the host's tests.

// A program the shell started, as the platform's half holds it.
struct StartedProgram {
  void* process = nullptr;  // null: the shell handed back no process
  void* job = nullptr;      // the kill-on-close job holding it, if any
};

struct ShellStart {
  bool started = false;  // the shell's answer
  long error = 0;        // when it said no: the system's error code
  StartedProgram program;
};

// Starts the program through the shell, hidden, without any dialog or zone
// check, and puts its process into a kill-on-close job when the system
// allows one. COM is initialised on the calling thread first, as the
// shell's documentation asks.
ShellStart StartHidden(const std::wstring& program, const std::wstring& parameters);

enum class ProgramWait { kEnded, kTimedOut, kFailed };

// Waits up to `time_limit_ms` for the started process to end.
ProgramWait WaitForProgram(const StartedProgram& program, unsigned long time_limit_ms);

// The ended process's exit code; false when it cannot be read.
bool ReadExitCode(const StartedProgram& program, unsigned long* exit_code);

// Ends the process, every process in its job, and every process it started
// (see EndProcessTree).
void EndProgramTree(const StartedProgram& program);

// Takes kill-on-close off the start's job, so that closing it leaves what
// the process started and is still running going on; false when the system
// refused.
bool KeepJobRunning(const StartedProgram& program);

// Closes the handles of the start: its process's, and its job's unless
// `keep_job`. Closing a job that still has kill-on-close ends whatever is
// left in it; a job kept open ends it only when the cleanup itself ends.
void CloseStart(const StartedProgram& program, bool keep_job);

// The system's message text for an error code with its line end, as the
// launch failure report prints it; empty when the system has none.
std::wstring LaunchErrorText(long code);

// The platform's half of TakeRunLock.
enum class RunLockAnswer {
  kTaken,  // this process holds it now (also when its last holder ended
           // without letting it go)
  kHeld,   // another process holds it still
  kFailed  // it cannot be had: `error` says why
};

struct RunLockTry {
  RunLockAnswer answer = RunLockAnswer::kFailed;
  long error = 0;
};

// Takes the machine's cleanup lock, waiting up to `wait_ms` while another
// process holds it. The lock is released by the system when the process
// that holds it ends, however it ends, and no process without an
// administrator's or SYSTEM's rights can take, hold or make it.
RunLockTry TryTakeRunLock(unsigned long wait_ms);

#endif  // KOVEX_EXEC_RUNNER_H_
