#include "exec/runner.h"

#include "exec/run_lines.h"
#include "exec/time_limit.h"
#include "output/output.h"

namespace {

// What the launch failure report names for an empty program name, which is
// never handed to the shell (it would make something of it in the working
// directory): ERROR_FILE_NOT_FOUND.
constexpr long kFileNotFoundError = 2;

// What it names when the shell started a program without handing back its
// process: ERROR_INVALID_HANDLE, "The handle is invalid.", for the process
// handle that did not come.
constexpr long kNoProcessError = 6;

// How long one wait for another cleanup's lock lasts before the deadline is
// looked at again: a lock that cannot yet be opened is asked for again.
constexpr unsigned long kLockWaitMs = 1000;

// The run: its deadline, and whether it may act (false once it waited its
// deadline out for another cleanup).
struct Run {
  Deadline deadline;
  bool may_act = true;
};

Run& TheRun() {
  static Run run;
  return run;
}

const Deadline& RunDeadline() { return TheRun().deadline; }

// The system's text without its line end.
std::wstring ErrorText(long error) {
  std::wstring text = LaunchErrorText(error);
  while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r')) text.pop_back();
  return text;
}

int LaunchFailure(long error) {
  ReportLaunchFailure(static_cast<int>(error), LaunchErrorText(error).c_str());
  return -1;
}

// Starts the program and waits for it up to `time_limit_ms`; the time limit
// line names `limit_text`.
int StartAndWait(const std::wstring& program, const std::wstring& parameters,
                 unsigned long time_limit_ms, const std::wstring& limit_text) {
  if (program.empty()) return LaunchFailure(kFileNotFoundError);
  const ShellStart start = StartHidden(program, parameters);
  if (!start.started) return LaunchFailure(start.error);
  // Nothing to wait for: what it did cannot be told.
  if (start.program.process == nullptr) return LaunchFailure(kNoProcessError);

  const ProgramWait waited = WaitForProgram(start.program, time_limit_ms);
  int status = -1;
  unsigned long exit_code = 0;
  if (waited != ProgramWait::kEnded) {
    EndProgramTree(start.program);
    if (waited == ProgramWait::kTimedOut) {
      Print("%s%S, ended: %S%S\n", kNotFinishedLine, limit_text.c_str(),
            program.c_str(), parameters.c_str());
    }
  } else if (ReadExitCode(start.program, &exit_code)) {
    status = static_cast<int>(exit_code);
  }
  // An exit code that cannot be read does not pass for success; the program
  // ended by itself all the same, and what it started goes on: kill-on-close
  // is taken off its job. Should the system refuse that, the job stays open
  // rather than end it now.
  const bool leave_running = waited == ProgramWait::kEnded;
  const bool keep_job =
      leave_running && start.program.job != nullptr && !KeepJobRunning(start.program);
  CloseStart(start.program, keep_job);
  return status;
}

// The program with `time_limit_ms`, cut to what is left of the run's
// deadline; past it, with `floor_ms` when that is not 0, else not at all.
// Not started either when less than `needs_ms` of the run is left.
int RunUnderDeadline(const std::wstring& program, const std::wstring& parameters,
                     unsigned long time_limit_ms, unsigned long floor_ms,
                     unsigned long needs_ms) {
  const Deadline& deadline = RunDeadline();
  bool by_deadline = false;
  unsigned long limit = LimitUnder(deadline, time_limit_ms, &by_deadline);
  if (by_deadline && limit < floor_ms) {
    limit = floor_ms < time_limit_ms ? floor_ms : time_limit_ms;
    by_deadline = false;  // its own limit, not the deadline, ends it
  }
  const std::wstring total = TimeLimitText(deadline.total_ms);
  if (!TheRun().may_act || (by_deadline && (limit == 0 || limit < needs_ms))) {
    Print("%s%S are spent: %S%S\n", kNotStartedLine, total.c_str(),
          program.c_str(), parameters.c_str());
    return -1;
  }
  return StartAndWait(program, parameters, limit,
                      by_deadline ? L"the run's " + total : TimeLimitText(limit));
}

}  // namespace

void StartRunDeadline() {
  TheRun().deadline = DeadlineFromNow(kRunDeadlineMs);
  TheRun().may_act = true;
}

void TakeRunLock() {
  Run& run = TheRun();
  RunLockTry attempt = TryTakeRunLock(0);
  if (attempt.answer == RunLockAnswer::kHeld) {
    Print("Waiting for the cleanup already running on this machine to end (within the "
          "run's %S)...\n", TimeLimitText(run.deadline.total_ms).c_str());
    for (;;) {
      bool by_deadline = false;
      const unsigned long wait = LimitUnder(run.deadline, kLockWaitMs, &by_deadline);
      if (wait == 0) break;
      attempt = TryTakeRunLock(wait);
      if (attempt.answer != RunLockAnswer::kHeld) break;
    }
  }
  run.may_act = attempt.answer != RunLockAnswer::kHeld;
  if (attempt.answer == RunLockAnswer::kFailed) {
    Print("The lock that keeps a second cleanup out could not be taken (Error Code %d: "
          "%S); this run goes on without it.\n",
          static_cast<int>(attempt.error), ErrorText(attempt.error).c_str());
  }
}

bool RunMayAct() { return TheRun().may_act; }

bool RunMayActOn(const std::wstring& item) {
  if (TheRun().may_act) return true;
  Print("%s%S are spent: %S\n", kNotStartedLine,
        TimeLimitText(RunDeadline().total_ms).c_str(), item.c_str());
  return false;
}

void ReportLaunchFailure(int error_code, const wchar_t* message) {
  Print("%s Error Code %d: %S\n", kLaunchFailedLine, error_code,
        message != nullptr ? message : L"");
}

int RunProgram(const std::wstring& program, const std::wstring& parameters) {
  return RunUnderDeadline(program, parameters, kProgramTimeLimitMs, 0, 0);
}

int RunDeviceCommand(const std::wstring& program, const std::wstring& parameters) {
  return RunUnderDeadline(program, parameters, kProgramTimeLimitMs, 0,
                          kDeviceCommandFloorMs);
}

int RunProgramEvenPastDeadline(const std::wstring& program,
                               const std::wstring& parameters) {
  return RunUnderDeadline(program, parameters, kProgramTimeLimitMs,
                          kPastDeadlineLimitMs, 0);
}

int RunProgramWithin(const std::wstring& program, const std::wstring& parameters,
                     unsigned long time_limit_ms) {
  return RunUnderDeadline(program, parameters, time_limit_ms, 0, 0);
}
