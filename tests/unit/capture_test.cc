// What the check makes of each answer of its devcon runs' platform half.
#include <string>
#include <vector>

#include "exec/capture.h"
#include "gtest/gtest.h"
#include "tests/unit/fakes.h"

using CaptureDeviceConsoleTest = FakeSystemTest;

TEST_F(CaptureDeviceConsoleTest, EachAnswerOfThePlatformHalf) {
  enum Script { kRuns, kScriptFirst, kCannotStart, kLimitPassed, kNoExitCode };
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
// waits, a millisecond each, or up to the deadline when no read is due.
class ScriptedPipeReads : public PipeReads {
 public:
  struct Step {
    long error;  // 0: the read completed with `bytes`
    std::string bytes;
  };
  std::vector<Step> script[2];
  size_t next[2] = {0, 0};
  unsigned long long now = 0;

  long Start(int pipe) override { return Take(pipe, nullptr); }
  long Finish(int pipe, std::string* bytes) override { return Take(pipe, bytes); }
  bool WaitForEither(const bool reading[2], unsigned long long ms) override {
    for (int pipe = 0; pipe < 2; ++pipe) {
      if (reading[pipe] && next[pipe] < script[pipe].size()) {
        ++now;
        return true;
      }
    }
    now += ms;
    return false;
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

TEST(ReadPipesUntilEnded, EachWayAPipeEndsOrFloodsWithinTheDeadline) {
  // Windows' answers: ReadFile's ERROR_IO_PENDING, GetOverlappedResult's
  // ERROR_IO_INCOMPLETE, and ERROR_BROKEN_PIPE once every writer is gone.
  const long bytes = 0, started = 997, pending = 996, ended = kBrokenPipe;
  using Script = std::vector<ScriptedPipeReads::Step>;
  Script flood;  // every read completes at once, and Finish takes it in
  for (int i = 0; i < 100; ++i) flood.insert(flood.end(), {{bytes, ""}, {bytes, "x"}});
  struct Case {
    const char* name;
    Script output, errors;
    bool ended;
    std::string read_output, read_errors;
  };
  const Case cases[] = {
      {"writers gone at the next read's start, as Windows answers",
       {{bytes, ""}, {bytes, "ab"}, {ended, ""}}, {{ended, ""}}, true, "ab", ""},
      {"writers gone while a read is under way, as Wine answers",
       {{started, ""}, {pending, ""}, {bytes, "a"}, {started, ""}, {ended, ""}},
       {{started, ""}, {bytes, "e"}, {started, ""}, {ended, ""}}, true, "a", "e"},
      {"errors written after the output ended are still read",
       {{ended, ""}}, {{started, ""}, {pending, ""}, {pending, ""}, {bytes, "usage"},
                       {ended, ""}}, true, "", "usage"},
      {"a read that never completes is waited for up to the deadline",
       {{bytes, ""}, {bytes, "ab"}, {started, ""}}, {{ended, ""}}, false, "ab", ""},
      {"a flood on the output neither passes the deadline nor starves the errors",
       flood, {{started, ""}, {bytes, "e"}, {ended, ""}}, false, std::string(50, 'x'), "e"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptedPipeReads reads;
    reads.script[0] = c.output;
    reads.script[1] = c.errors;
    std::string output, errors;

    EXPECT_EQ(c.ended, ReadPipesUntilEnded(&reads, 50, &output, &errors));

    EXPECT_EQ(c.read_output, output);
    EXPECT_EQ(c.read_errors, errors);
    EXPECT_LE(reads.now, 50u);
  }
}
