#include "exec/capture.h"

#include "exec/files.h"
#include "exec/time_limit.h"

CaptureResult CaptureDeviceConsole(const std::wstring& parameters,
                                   unsigned long time_limit_ms,
                                   DeviceConsoleRun* run,
                                   std::wstring* failure) {
  *run = DeviceConsoleRun();
  std::wstring program;
  if (!FindDeviceConsole(InterpreterSearchPlaces(), IsFile, &program, failure)) {
    return CaptureResult::kNotStarted;
  }
  PipeRun piped = RunThroughPipes(program, parameters, time_limit_ms);
  switch (piped.end) {
    case PipeRunEnd::kNotStarted:
      *failure = piped.failure;
      return CaptureResult::kNotStarted;
    case PipeRunEnd::kLimitPassed:
      *failure = L"devcon did not finish within " + TimeLimitText(time_limit_ms);
      return CaptureResult::kTimedOut;
    case PipeRunEnd::kEnded:
      break;
  }
  // An exit code that cannot be read tells nothing of the listing's worth.
  if (!piped.exit_code_read) {
    *failure = L"devcon's exit code could not be read: " +
               SystemErrorText(piped.exit_code_error);
    return CaptureResult::kNotStarted;
  }
  run->output.swap(piped.output);
  run->errors.swap(piped.errors);
  run->exit_code = piped.exit_code;
  return CaptureResult::kFinished;
}

namespace {

constexpr long kReadIncomplete = 996;  // ERROR_IO_INCOMPLETE: still under way
constexpr long kReadPending = 997;     // ERROR_IO_PENDING: started, under way

enum class PipeAnswer { kBytes, kUnderWay, kEnded };

// Any failure but a read under way ends the pipe: ERROR_BROKEN_PIPE when
// every writer is gone, and a pipe that cannot be read gives no more.
PipeAnswer AnswerOf(long error) {
  if (error == 0) return PipeAnswer::kBytes;
  if (error == kReadPending || error == kReadIncomplete) return PipeAnswer::kUnderWay;
  return PipeAnswer::kEnded;
}

}  // namespace

bool ReadPipesUntilEnded(PipeReads* reads, unsigned long long deadline_ms,
                         std::string* output, std::string* errors) {
  std::string* into[2] = {output, errors};
  bool reading[2] = {AnswerOf(reads->Start(0)) != PipeAnswer::kEnded,
                     AnswerOf(reads->Start(1)) != PipeAnswer::kEnded};
  while (reading[0] || reading[1]) {
    const unsigned long long now = reads->NowMs();
    if (now >= deadline_ms || !reads->WaitForEither(reading, deadline_ms - now)) {
      return false;
    }
    for (int pipe = 0; pipe < 2; ++pipe) {
      if (!reading[pipe]) continue;
      switch (AnswerOf(reads->Finish(pipe, into[pipe]))) {
        case PipeAnswer::kBytes:
          reading[pipe] = AnswerOf(reads->Start(pipe)) != PipeAnswer::kEnded;
          break;
        case PipeAnswer::kUnderWay:
          break;
        case PipeAnswer::kEnded:
          reading[pipe] = false;
          break;
      }
    }
  }
  return true;
}
