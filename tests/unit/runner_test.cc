// The command runner's decisions, through its platform half's fake: what
// each answer of the system means, and the run's deadline on a fake clock.
#include <string>
#include <vector>

#include "exec/runner.h"
#include "gtest/gtest.h"
#include "tests/unit/fakes.h"

namespace {

using RunnerTest = FakeSystemTest;

constexpr unsigned long kMinute = 60ul * 1000;

std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

TEST_F(RunnerTest, EachAnswerOfTheSystemAndTheRunsDeadline) {
  const std::wstring p = L" -f remove @X";
  const std::string line = "devcon" + Narrow(p) + "\n";
  enum Script {
    kExits3, kHangs, kNoProcess, kNoExitCode, kWaitFails, kUnlaunchable, kJobStaysKilling
  };
  // A listing's or other program's run, a device command's, a deletion's.
  enum Kind { kListing, kDevice, kDeletion };
  struct Case {
    const char* name;
    unsigned long spent_ms;  // of the run's 25 minutes, before the start
    Script script;
    Kind kind;
    int status;
    unsigned long limit_ms;  // 0: not waited for
    std::string printed;
    bool tree_ended;
    bool left_running;
  };
  const Case cases[] = {
      {"ends by itself: its code, what it started goes on", 0, kExits3, kListing, 3,
       10 * kMinute, "", false, true},
      {"ends by itself, its job refuses to leave it running: the job stays open", 0,
       kJobStaysKilling, kListing, 3, 10 * kMinute, "", false, true},
      {"hangs: ended with its tree at its own limit", 0, kHangs, kListing, -1, 10 * kMinute,
       "\t Not finished within 600 s, ended: " + line, true, false},
      {"less than its limit left: cut to the deadline", 20 * kMinute, kHangs, kListing, -1,
       5 * kMinute, "\t Not finished within the run's 1500 s, ended: " + line, true, false},
      {"exactly its limit left: its own limit", 15 * kMinute, kExits3, kListing, 3,
       10 * kMinute, "", false, true},
      {"at the deadline: not started", 25 * kMinute, kExits3, kListing, -1, 0,
       "\t Not started, the run's 1500 s are spent: " + line, false, false},
      {"past the deadline: not started", 40 * kMinute, kExits3, kListing, -1, 0,
       "\t Not started, the run's 1500 s are spent: " + line, false, false},
      {"past it, a deletion still runs for a minute", 40 * kMinute, kExits3, kDeletion, 3,
       kMinute, "", false, true},
      {"half a minute left: a deletion gets a minute", 24 * kMinute + 30000, kHangs, kDeletion, -1, kMinute,
       "\t Not finished within 60 s, ended: " + line, true, false},
      {"a minute left: a device command starts, cut to the deadline", 24 * kMinute, kHangs,
       kDevice, -1, kMinute, "\t Not finished within the run's 1500 s, ended: " + line, true,
       false},
      {"less than a minute left: a device command is not started", 24 * kMinute + 1, kExits3,
       kDevice, -1, 0, "\t Not started, the run's 1500 s are spent: " + line, false, false},
      {"less than a minute left: a listing still starts", 24 * kMinute + 30000, kExits3,
       kListing, 3, 30000, "", false, true},
      {"started without a process: a launch failure", 0, kNoProcess, kListing, -1, 0,
       "\t \t Failed to launch process Error Code 6: The handle is invalid.\r\n\n",
       false, false},
      {"exit code unreadable: a failure", 0, kNoExitCode, kListing, -1, 10 * kMinute, "",
       false, true},
      {"the wait fails: a failure, its tree ended", 0, kWaitFails, kListing, -1,
       10 * kMinute, "", true, false},
      {"the shell refuses: its code", 0, kUnlaunchable, kListing, -1, 0,
       "\t \t Failed to launch process Error Code 2: The system cannot find the file "
       "specified.\r\n\n",
       false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ResetFakeMachine();
    fake_clock_ms = 1000;
    StartRunDeadline();
    fake_clock_ms += c.spent_ms;
    fake_runner.statuses[p] = 3;
    if (c.script == kHangs) fake_runner.hanging.insert(p);
    if (c.script == kNoProcess) fake_runner.processless.insert(p);
    if (c.script == kNoExitCode) fake_runner.no_exit_code.insert(p);
    if (c.script == kWaitFails) fake_runner.wait_failing.insert(p);
    if (c.script == kUnlaunchable) fake_runner.unlaunchable.insert(L"devcon");
    if (c.script == kJobStaysKilling) fake_runner.kill_on_close_stuck.insert(p);

    const int status = c.kind == kDeletion ? RunProgramEvenPastDeadline(L"devcon", p)
                       : c.kind == kDevice ? RunDeviceCommand(L"devcon", p)
                                           : RunProgram(L"devcon", p);

    EXPECT_EQ(c.status, status);
    EXPECT_EQ(c.printed, printed);
    const bool started = c.printed.find("Not started") == std::string::npos;
    ASSERT_EQ(started ? 1u : 0u, fake_runner.runs.size());
    if (started) {
      EXPECT_EQ(c.limit_ms, fake_runner.runs[0].time_limit_ms);
    }
    EXPECT_EQ(c.tree_ended, !fake_runner.trees_ended.empty());
    EXPECT_EQ(c.left_running, !fake_runner.left_running.empty());
    const bool waited = c.limit_ms != 0;
    EXPECT_EQ(waited && !c.left_running, !fake_runner.released_ending.empty());
    // Closing a job that still ends what is in it would end what the program
    // left running: it is kept open instead.
    EXPECT_EQ(c.script == kJobStaysKilling, !fake_runner.jobs_kept_open.empty());
  }
}

TEST_F(RunnerTest, OneCleanupAtATimeWithinTheDeadline) {
  const std::wstring p = L" -f remove @X";
  const std::string waits =
      "Waiting for the cleanup already running on this machine to end (within the "
      "run's 1500 s)...\n";
  constexpr unsigned long long kNever = ~0ull;
  struct Case {
    const char* name;
    unsigned long long free_at_ms;  // when the other cleanup ends; 0: none runs
    long error;                     // the lock cannot be had
    std::string printed;            // by TakeRunLock
    unsigned long limit_ms;         // a removal's afterwards; 0: not started
    bool may_act;
  };
  const Case cases[] = {
      {"no other cleanup: no line, the whole run", 0, 0, "", 10 * kMinute, true},
      {"another for three minutes: waits, then its limit", 1000 + 3 * kMinute, 0, waits,
       10 * kMinute, true},
      {"another for twenty minutes: the rest of the run", 1000 + 20 * kMinute, 0, waits,
       5 * kMinute, true},
      {"another past the deadline: nothing starts", kNever, 0, waits, 0, false},
      {"no lock to be had: said, and the run goes on", 0, 5,
       "The lock that keeps a second cleanup out could not be taken (Error Code 5: Access "
       "is denied.); this run goes on without it.\n", 10 * kMinute, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ResetFakeMachine();
    fake_clock_ms = 1000;
    StartRunDeadline();
    fake_runner.lock_free_at_ms = c.free_at_ms;
    fake_runner.lock_error = c.error;

    TakeRunLock();

    EXPECT_EQ(c.printed, printed);
    EXPECT_EQ(c.may_act, RunMayAct());
    // The wait never outlasts the run's deadline, and asks again at least
    // every second.
    EXPECT_LE(fake_clock_ms, 1000 + kRunDeadlineMs);
    for (unsigned long wait : fake_runner.lock_waits) EXPECT_LE(wait, 1000u);
    printed.clear();
    RunDeviceCommand(L"devcon", p);
    RunProgramEvenPastDeadline(L"cmd", L" del");
    const bool started = c.limit_ms != 0;
    ASSERT_EQ(started ? 2u : 0u, fake_runner.runs.size()) << printed;
    if (started) {
      EXPECT_EQ(c.limit_ms, fake_runner.runs[0].time_limit_ms);
    }
    EXPECT_EQ(started ? "" : "\t Not started, the run's 1500 s are spent: devcon" +
                                 Narrow(p) + "\n\t Not started, the run's 1500 s are "
                                 "spent: cmd del\n",
              printed);
  }
}

TEST_F(RunnerTest, EmptyProgramIsNeverHandedToTheShell) {
  EXPECT_EQ(-1, RunProgram(L"", L" rescan "));
  EXPECT_TRUE(fake_runner.runs.empty());
  EXPECT_EQ(0u, printed.find("\t \t Failed to launch process Error Code 2: "));
}

}  // namespace
