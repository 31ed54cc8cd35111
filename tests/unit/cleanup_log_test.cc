// Whether a cleanup ran to its end, from its log as the engines save it:
// the check's --cleanup-log, which Install.cmd, the Remediations script and
// the playbook all go by.
#include <algorithm>
#include <string>
#include <vector>

#include "check/check_run.h"
#include "check/cleanup_log.h"
#include "exec/runner.h"
#include "gtest/gtest.h"
#include "tests/unit/fakes.h"

namespace {

using CleanupLogTest = FakeSystemTest;

const std::string kHead =
    "Deep Clean Kovex Drivers (Jun 21 2021 11:52:20)\r\nRemoving devices...\r\n"
    "\t Removed :  Kovex Pulse Headset\r\n";
const std::string kTail = "Rescannig...\r\nDone.\r\n";
const std::string kNotStarted =
    "\t Not started, the run's 1500 s are spent: devcon -f remove @USB\\VID_3F7C\\1\r\n";

// As PowerShell's redirection writes it: a byte-order mark, then UTF-16LE.
std::string Utf16WithMark(const std::string& text) { return "\xFF\xFE" + Utf16Output(text); }

TEST_F(CleanupLogTest, EachLogAndEachEncoding) {
  struct Case {
    const char* name;
    std::string log;
    bool ran;
    std::string reason;  // how it begins
  };
  const Case cases[] = {
      {"Done. alone, as the cleanup writes it", kHead + kTail, true, ""},
      {"empty lines after Done.", kHead + kTail + "\r\n \r\n", true, ""},
      {"a Not started line, Done. last", kHead + kNotStarted + kTail, false,
       "a program was not started (Not started, the run's 1500 s are spent: devcon"},
      {"a Not finished line, Done. last",
       kHead + "\t Not finished within 600 s, ended: devcon rescan \r\n" + kTail, false,
       "a program was ended unfinished (Not finished within 600 s, ended: devcon rescan)"},
      {"a program not launched, Done. last",
       kHead + "\t \t Failed to launch process Error Code 2: The system cannot find "
               "the file specified.\r\r\n\r\n" + kTail,
       false, "a program could not be launched (Failed to launch process Error Code 2:"},
      {"no Done.: stopped midway", kHead, false,
       "its last line is not \"Done.\" (Removed :  Kovex Pulse Headset)"},
      {"a last line that only ends in Done.", kHead + "Not Done.\r\n", false,
       "its last line is not \"Done.\" (Not Done.)"},
      {"Done. after a lone carriage return is no line of its own",
       kHead + "\t Removed :  Kovex\rDone.\r\n", false, "its last line is not"},
      {"the words of a cut within a line are no cut",
       kHead + "\t Removed :  \t Not started, the run's \r\n" + kTail, true, ""},
      {"an empty log", "", false, "its log is empty"},
      {"empty lines alone", "\r\n\r\n", false, "its log is empty"},
      {"UTF-16LE with its mark, Done. alone", Utf16WithMark(kHead + kTail), true, ""},
      {"UTF-16LE with its mark, a Not started line",
       Utf16WithMark(kHead + kNotStarted + kTail), false, "a program was not started"},
      {"UTF-8 with its mark, Done. alone", "\xEF\xBB\xBF" + kHead + kTail, true, ""},
      {"UTF-16LE without a mark is not read as such", Utf16Output(kHead + kTail), false,
       "its last line is not"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    // Whole, and a byte at a time: the pieces a read gives make no difference.
    for (std::size_t piece : {c.log.size() + 1, std::size_t{1}}) {
      CleanupLogReader reader;
      for (std::size_t at = 0; at < c.log.size(); at += piece) {
        reader.Feed(c.log.data() + at, std::min(piece, c.log.size() - at));
      }
      std::wstring reason;
      EXPECT_EQ(c.ran, reader.RanToItsEnd(&reason));
      EXPECT_EQ(std::wstring(c.reason.begin(), c.reason.end()),
                reason.substr(0, c.reason.size()));
    }
  }
}

TEST_F(CleanupLogTest, TheRunnersOwnLinesOfACutAreReadAsSuch) {
  // What the runner prints for a program ended at its limit, not launched
  // or past the deadline, read back from the log: never a finished run.
  const std::wstring p = L" -f remove @X";
  for (int script = 0; script < 3; ++script) {
    SCOPED_TRACE(script);
    ResetFakeMachine();
    StartRunDeadline();
    if (script == 0) fake_runner.hanging.insert(p);
    if (script == 1) fake_runner.unlaunchable.insert(L"devcon");
    if (script == 2) fake_clock_ms += kRunDeadlineMs;
    RunProgram(L"devcon", p);
    const std::string log = kHead + printed + kTail;
    CleanupLogReader reader;
    reader.Feed(log.data(), log.size());
    std::wstring reason;

    EXPECT_FALSE(reader.RanToItsEnd(&reason)) << printed;
    EXPECT_EQ(0u, reason.find(L"a program ")) << printed;
  }
}

TEST_F(CleanupLogTest, TheCheckPrintsOneLineAndItsStatus) {
  WriteFile("ran.log", kHead + kTail);
  WriteFile("cut.log", kHead + kNotStarted + kTail);
  struct Case {
    std::vector<std::string> arguments;
    int status;
    std::string printed;  // how it begins; the usage on standard error with 3
  };
  const Case cases[] = {
      {{"--cleanup-log", "ran.log"}, 0, "The cleanup ran to its end.\n"},
      {{"--cleanup-log", "cut.log"}, 1,
       "The cleanup did not run to its end: a program was not started ("},
      {{"--cleanup-log", "missing.log"}, 2, "The cleanup's log cannot be read: missing.log\n"},
      {{"--cleanup-log", "."}, 2, "The cleanup's log cannot be read: .\n"},
      {{"--cleanup-log"}, 3, ""},
      {{"--cleanup-log", "ran.log", "--json"}, 3, ""},
      {{"--csv", "--cleanup-log", "ran.log"}, 3, ""},
      {{"--cleanup-log", "ran.log", "--cleanup-log", "cut.log"}, 3, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.arguments.back());
    printed.clear();
    printed_errors.clear();

    EXPECT_EQ(c.status, RunCheck(c.arguments));

    EXPECT_EQ(c.printed, printed.substr(0, c.printed.size()));
    EXPECT_EQ(1, std::count(printed.begin(), printed.end(), '\n') + (c.status == 3));
    EXPECT_EQ(c.status == 3, printed_errors.find("--cleanup-log FILE") != std::string::npos);
    // Nothing but the log is looked at.
    EXPECT_TRUE(fake_runner.captured.empty());
    EXPECT_TRUE(fake_files.patterns.empty());
  }
}

}  // namespace
