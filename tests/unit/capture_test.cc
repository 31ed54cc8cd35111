// What the check makes of each answer of its devcon runs' platform half.
#include <string>

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
