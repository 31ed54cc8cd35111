#include "exec/runner.h"

#include "exec/time_limit.h"
#include "output/output.h"

namespace {

// What the launch failure report names when the shell started a program
// without handing back its process: ERROR_INVALID_HANDLE, "The handle is
// invalid.", for the process handle that did not come.
constexpr long kNoProcessError = 6;

}  // namespace

void ReportLaunchFailure(int error_code, const wchar_t* message) {
  Print("\t %s Error Code %d: %S\n", "\t Failed to launch process", error_code,
        message != nullptr ? message : L"");
}

int RunProgram(const std::wstring& program, const std::wstring& parameters) {
  return RunProgramWithin(program, parameters, kProgramTimeLimitMs);
}

int RunProgramWithin(const std::wstring& program, const std::wstring& parameters,
                     unsigned long time_limit_ms) {
  const ProgramRun run = StartHiddenAndWait(program, parameters, time_limit_ms);
  switch (run.end) {
    case ProgramEnd::kExited:
      return static_cast<int>(run.exit_code);
    case ProgramEnd::kNotStarted:
    case ProgramEnd::kNoProcess: {
      const long error = run.end == ProgramEnd::kNoProcess ? kNoProcessError : run.error;
      ReportLaunchFailure(static_cast<int>(error), LaunchErrorText(error).c_str());
      return -1;
    }
    case ProgramEnd::kTimedOut:
      Print("\t Not finished within %S, ended: %S%S\n",
            TimeLimitText(time_limit_ms).c_str(), program.c_str(), parameters.c_str());
      return -1;
    case ProgramEnd::kNoExitCode:
      break;
  }
  return -1;
}
