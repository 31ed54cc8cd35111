// What the check makes of each answer of its devcon runs' platform half.
#include <string>
#include <vector>

#include "exec/capture.h"
#include "gtest/gtest.h"
#include "tests/unit/fakes.h"

using CaptureDeviceConsoleTest = FakeSystemTest;

TEST_F(CaptureDeviceConsoleTest, EachAnswerOfThePlatformHalf) {
  enum Script { kRuns, kScriptFirst, kCannotStart, kLimitPassed, kNoExitCode, kReadFails };
  struct Case {
    Script script;
    CaptureResult result;
    std::wstring failure;
  };
  const Case cases[] = {
      {kRuns, CaptureResult::kFinished, L""},
      {kScriptFirst, CaptureResult::kNotStarted,
       L"the cleanup's interpreter would run C:\\work\\devcon.CMD, which the check does not run"},
      {kCannotStart, CaptureResult::kNotStarted, L"devcon could not be started"},
      {kLimitPassed, CaptureResult::kTimedOut, L"devcon did not finish within 120 s"},
      {kNoExitCode, CaptureResult::kNotStarted, L"devcon's exit code could not be read: "},
      {kReadFails, CaptureResult::kNotStarted, L"devcon's output could not be read: "},
  };
  const std::wstring command = L"-u findall *QZV*";
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.script));
    ResetFakeMachine();
    fake_runner.listings[L"findall *QZV*"] = "No matching devices found.\r\n";
    fake_runner.capture_exit_codes[command] = 2;
    if (c.script == kScriptFirst) {
      fake_runner.devcon_search.path_extensions = L".CMD;.EXE";
      fake_runner.devcon_files.insert(L"C:\\work\\devcon.cmd");
    }
    if (c.script == kCannotStart) fake_runner.capture_failure = c.failure;
    if (c.script == kLimitPassed) fake_runner.capture_timeouts.insert(command);
    if (c.script == kNoExitCode) fake_runner.capture_exit_code_unreadable.insert(command);
    if (c.script == kReadFails) fake_runner.capture_read_failures.insert(command);
    DeviceConsoleRun run;
    std::wstring failure;

    EXPECT_EQ(c.result, CaptureDeviceConsole(command, 120000, &run, &failure));

    EXPECT_EQ(0u, failure.find(c.failure));
    EXPECT_EQ(c.script == kScriptFirst ? 0u : 1u, fake_runner.captured.size());
    if (c.result == CaptureResult::kFinished) {
      EXPECT_EQ(L"C:\\work\\devcon.EXE", fake_runner.captured_programs.at(0));
      EXPECT_EQ(2u, run.exit_code);
      EXPECT_EQ(Utf16Output("No matching devices found.\r\n"), run.output);
    }
  }
}

constexpr long kBrokenPipe = 109;

// Answers each pipe's reads from its script, in order; time passes only in
// waits, a millisecond each, or up to the deadline (or devcon's end) when no
// read is due.
class ScriptedPipeReads : public PipeReads {
 public:
  struct Step {
    long error;  // 0: the read completed with `bytes`
    std::string bytes;
  };
  std::vector<Step> script[2];
  size_t next[2] = {0, 0};
  unsigned long long now = 0;
  unsigned long long process_ends_at = ~0ull;  // devcon's end
  long wait_error = 0;                          // every wait fails so

  long Start(int pipe) override { return Take(pipe, nullptr); }
  long Finish(int pipe, std::string* bytes) override { return Take(pipe, bytes); }
  PipeWake Wait(const bool reading[2], bool for_process, unsigned long long ms,
                long* error) override {
    if (wait_error != 0) {
      *error = wait_error;
      return PipeWake::kFailed;
    }
    for (int pipe = 0; pipe < 2; ++pipe) {
      if (reading[pipe] && next[pipe] < script[pipe].size()) {
        ++now;
        return PipeWake::kRead;
      }
    }
    if (for_process && process_ends_at <= now + ms) {
      if (now < process_ends_at) now = process_ends_at;
      return PipeWake::kProcessEnded;
    }
    now += ms;
    return PipeWake::kTimedOut;
  }
  unsigned long long NowMs() override { return now; }

 private:
  long Take(int pipe, std::string* bytes) {
    EXPECT_LT(next[pipe], script[pipe].size()) << "pipe " << pipe << " read past its end";
    if (next[pipe] >= script[pipe].size()) return kBrokenPipe;
    const Step& step = script[pipe][next[pipe]++];
    if (bytes != nullptr && step.error == 0) *bytes += step.bytes;
    return step.error;
  }
};

TEST(ReadPipesUntilEnded, EachWayAPipeEndsFailsOrFloodsWithinTheDeadline) {
  // Windows' answers: ReadFile's ERROR_IO_PENDING, GetOverlappedResult's
  // ERROR_IO_INCOMPLETE, ERROR_BROKEN_PIPE once every writer is gone, and
  // errors that are no end: ERROR_OPERATION_ABORTED, ERROR_INVALID_HANDLE.
  const long bytes = 0, started = 997, pending = 996, ended = kBrokenPipe;
  const long aborted = 995, invalid = 6;
  constexpr unsigned long long kNever = ~0ull;
  using Script = std::vector<ScriptedPipeReads::Step>;
  Script flood;  // every read completes at once, and Finish takes it in
  for (int i = 0; i < 100; ++i) flood.insert(flood.end(), {{bytes, ""}, {bytes, "x"}});
  struct Case {
    const char* name;
    Script output, errors;
    unsigned long long process_ends_at;
    long wait_error;
    PipesEnd end;
    long error;
    std::string read_output, read_errors;
    unsigned long long took;  // how long, on the scripted clock; 0: not asked
  };
  const Case cases[] = {
      {"writers gone at the next read's start, as Windows answers",
       {{bytes, ""}, {bytes, "ab"}, {ended, ""}}, {{ended, ""}}, kNever, 0, PipesEnd::kEnded,
       0, "ab", "", 0},
      {"writers gone while a read is under way, as Wine answers",
       {{started, ""}, {pending, ""}, {bytes, "a"}, {started, ""}, {ended, ""}},
       {{started, ""}, {bytes, "e"}, {started, ""}, {ended, ""}}, kNever, 0,
       PipesEnd::kEnded, 0, "a", "e", 0},
      {"errors written after the output ended are still read",
       {{ended, ""}}, {{started, ""}, {pending, ""}, {pending, ""}, {bytes, "usage"},
                       {ended, ""}}, kNever, 0, PipesEnd::kEnded, 0, "", "usage", 0},
      {"a read that never completes is waited for up to the deadline",
       {{bytes, ""}, {bytes, "ab"}, {started, ""}}, {{ended, ""}}, kNever, 0,
       PipesEnd::kTimedOut, 0, "ab", "", 5000},
      {"a flood on the output neither passes the deadline nor starves the errors",
       flood, {{started, ""}, {bytes, "e"}, {ended, ""}}, kNever, 0, PipesEnd::kTimedOut, 0,
       std::string(50, 'x'), "e", 50},
      {"a read that fails half-way is no listing",
       {{bytes, ""}, {bytes, "ab"}, {started, ""}, {aborted, ""}}, {{ended, ""}}, kNever, 0,
       PipesEnd::kFailed, aborted, "ab", "", 0},
      {"a read that cannot start is no listing",
       {{started, ""}, {bytes, "ab"}, {invalid, ""}}, {{ended, ""}}, kNever, 0,
       PipesEnd::kFailed, invalid, "ab", "", 0},
      {"a wait that fails is no listing",
       {{started, ""}}, {{started, ""}}, kNever, invalid, PipesEnd::kFailed, invalid, "", "",
       0},
      {"outputs held open by what devcon left: taken a grace after its end",
       {{bytes, ""}, {bytes, "list"}, {started, ""}}, {{started, ""}, {pending, ""}}, 10, 0,
       PipesEnd::kTaken, 0, "list", "", 10 + kOutputGraceMs},
      {"outputs that end within the grace: ended",
       {{started, ""}, {bytes, "list"}, {ended, ""}}, {{ended, ""}}, 0, 0, PipesEnd::kEnded,
       0, "list", "", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptedPipeReads reads;
    reads.script[0] = c.output;
    reads.script[1] = c.errors;
    reads.process_ends_at = c.process_ends_at;
    reads.wait_error = c.wait_error;
    std::string output, errors;
    const unsigned long long deadline = c.took == 50 ? 50 : 5000;

    const PipesRead read = ReadPipesUntilEnded(&reads, deadline, &output, &errors);

    EXPECT_EQ(c.end, read.end);
    EXPECT_EQ(c.error, read.error);
    EXPECT_EQ(c.read_output, output);
    EXPECT_EQ(c.read_errors, errors);
    if (c.took != 0) {
      EXPECT_EQ(c.took, reads.now);
    }
    EXPECT_LE(reads.now, deadline);
  }
}

// Records the steps of a start, each answered as scripted.
class RecordingStarter : public DevconStarter {
 public:
  std::vector<std::string> steps;
  DevconStart created;
  std::wstring create_failure, resume_failure;

  std::wstring Create(const DevconStart& start) override {
    steps.push_back("create");
    created = start;
    return create_failure;
  }
  void Confine() override { steps.push_back("confine"); }
  std::wstring Resume() override {
    steps.push_back("resume");
    return resume_failure;
  }
  void End() override { steps.push_back("end"); }
};

TEST(StartDevcon, ItsOwnThreeHandlesAloneAndSuspendedUntilItIsInItsJob) {
  int input = 0, output = 0, errors = 0;  // three handles, told apart
  struct Case {
    const wchar_t* create_failure;
    const wchar_t* resume_failure;
    std::vector<std::string> steps;
  };
  const Case cases[] = {
      {L"", L"", {"create", "confine", "resume"}},
      {L"devcon could not be started", L"", {"create"}},
      {L"", L"devcon could not be let run", {"create", "confine", "resume", "end"}},
  };
  for (const Case& c : cases) {
    RecordingStarter starter;
    starter.create_failure = c.create_failure;
    starter.resume_failure = c.resume_failure;

    const std::wstring failure = StartDevcon(&starter, &input, &output, &errors);

    EXPECT_EQ(std::wstring(c.create_failure) + c.resume_failure, failure);
    EXPECT_EQ(c.steps, starter.steps);
    // Standard input the null device, both outputs their pipes, each of the
    // three inherited (standard error too: devcon's usage arrives there), and
    // no other handle.
    EXPECT_EQ(&input, starter.created.input);
    EXPECT_EQ(&output, starter.created.output);
    EXPECT_EQ(&errors, starter.created.errors);
    EXPECT_EQ((std::vector<void*>{&input, &output, &errors}), starter.created.inherited);
    // Suspended: nothing it starts before it is in its job escapes the job.
    EXPECT_TRUE(starter.created.suspended);
    EXPECT_TRUE(starter.created.no_window);
  }
}
