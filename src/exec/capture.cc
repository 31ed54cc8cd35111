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
    case PipeRunEnd::kReadFailed:
      // What was read is no listing: that kind is left unchecked.
      *failure = piped.failure;
      return CaptureResult::kNotStarted;
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
constexpr long kBrokenPipe = 109;      // ERROR_BROKEN_PIPE: every writer gone

enum class PipeAnswer { kBytes, kUnderWay, kEnded, kFailed };

// Only a pipe whose writers are all gone has ended (ReadFile's
// documentation: ERROR_BROKEN_PIPE); any other error is a read that failed.
PipeAnswer AnswerOf(long error) {
  if (error == 0) return PipeAnswer::kBytes;
  if (error == kReadPending || error == kReadIncomplete) return PipeAnswer::kUnderWay;
  if (error == kBrokenPipe) return PipeAnswer::kEnded;
  return PipeAnswer::kFailed;
}

PipesRead Failed(long error) {
  PipesRead read;
  read.end = PipesEnd::kFailed;
  read.error = error;
  return read;
}

}  // namespace

PipesRead ReadPipesUntilEnded(PipeReads* reads, unsigned long long deadline_ms,
                              std::string* output, std::string* errors) {
  std::string* into[2] = {output, errors};
  bool reading[2] = {false, false};
  for (int pipe = 0; pipe < 2; ++pipe) {
    const long first = reads->Start(pipe);
    if (AnswerOf(first) == PipeAnswer::kFailed) return Failed(first);
    reading[pipe] = AnswerOf(first) != PipeAnswer::kEnded;
  }
  bool process_ended = false;
  unsigned long long end = deadline_ms;
  while (reading[0] || reading[1]) {
    const unsigned long long now = reads->NowMs();
    if (now >= end) {
      PipesRead read;
      read.end = process_ended ? PipesEnd::kTaken : PipesEnd::kTimedOut;
      return read;
    }
    long error = 0;
    switch (reads->Wait(reading, !process_ended, end - now, &error)) {
      case PipeWake::kFailed:
        return Failed(error);
      case PipeWake::kTimedOut:
        continue;
      case PipeWake::kProcessEnded: {
        // A read that completed meanwhile wakes the next wait.
        process_ended = true;
        const unsigned long long grace = reads->NowMs() + kOutputGraceMs;
        if (grace < end) end = grace;
        continue;
      }
      case PipeWake::kRead:
        break;
    }
    for (int pipe = 0; pipe < 2; ++pipe) {
      if (!reading[pipe]) continue;
      const long finished = reads->Finish(pipe, into[pipe]);
      switch (AnswerOf(finished)) {
        case PipeAnswer::kBytes: {
          const long started = reads->Start(pipe);
          if (AnswerOf(started) == PipeAnswer::kFailed) return Failed(started);
          reading[pipe] = AnswerOf(started) != PipeAnswer::kEnded;
          break;
        }
        case PipeAnswer::kUnderWay:
          break;
        case PipeAnswer::kEnded:
          reading[pipe] = false;
          break;
        case PipeAnswer::kFailed:
          return Failed(finished);
      }
    }
  }
  return PipesRead();
}

std::wstring StartDevcon(DevconStarter* starter, void* input, void* output, void* errors) {
  DevconStart start;
  start.input = input;
  start.output = output;
  start.errors = errors;
  start.inherited = {input, output, errors};
  start.suspended = true;
  start.no_window = true;
  std::wstring failure = starter->Create(start);
  if (!failure.empty()) return failure;
  starter->Confine();
  failure = starter->Resume();
  if (!failure.empty()) starter->End();
  return failure;
}
