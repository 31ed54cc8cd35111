// What the check tells a person and a fleet when it could not look
// everywhere, when only part of what it found is the cleanup's to remove,
// and which of devcon's exit codes it takes for a listing that worked.
#include <string>
#include <vector>

#include "check/check_run.h"
#include "check/report.h"
#include "fleet_page/fleet_input.h"
#include "gtest/gtest.h"
#include "nlohmann/json.hpp"
#include "tests/unit/fakes.h"

namespace {

class CheckVerdictTest : public FakeSystemTest {
 protected:
  void SetUp() override {
    FakeSystemTest::SetUp();
    fake_registry.open_result = 2;  // no key of the maker's: nothing there
  }

  static int Run(std::vector<std::string> arguments = {}) {
    return RunCheck(arguments);
  }
};

}  // namespace

TEST_F(CheckVerdictTest, UnknownMachineSaysWhatCouldNotRunUnderItsOwnKindOnly) {
  // Both device listings fail, each its own way: one check, two reasons.
  fake_runner.capture_exit_codes[L"findall *VID_3F7C*"] = 2;
  fake_runner.capture_exit_codes[L"findall *QZV*"] = 3;

  EXPECT_EQ(2, Run());

  EXPECT_EQ(
      "Kovex driver check (read-only: nothing is changed)\n"
      "Devices:\n"
      "\t NOT CHECKED: devcon findall *VID_3F7C* ended with exit code 2\n"
      "\t NOT CHECKED: devcon findall *QZV* ended with exit code 3\n"
      "Audio endpoints:\n"
      "\t none\n"
      "Driver packages:\n"
      "\t none\n"
      "Driver files in C:\\windows\\system32\\drivers:\n"
      "\t none\n"
      "Installer registry keys in HKEY_LOCAL_MACHINE\\Software\\Kovex (32-bit view):\n"
      "\t none\n"
      "What to do:\n"
      "\t Mend what kept a check from running (NOT CHECKED above), then check "
      "again.\n"
      "Verdict: UNKNOWN: nothing of Kovex's drivers found, but 1 check could "
      "not run.\n",
      printed);

  // The fleet's document must not call such a machine clean.
  printed.clear();
  EXPECT_EQ(2, Run({"--json"}));
  const nlohmann::json document = nlohmann::json::parse(printed);
  EXPECT_EQ(false, document["clean"]);
  EXPECT_EQ(false, document["complete"]);
  EXPECT_EQ(2u, document["unchecked"].size());
}

TEST_F(CheckVerdictTest, ListingEndingWithAnyCodeButZeroIsNotChecked) {
  // devcon's 1 ("needs a reboot") is no listing either.
  fake_runner.capture_exit_codes[L"/dp_enum"] = 1;
  fake_runner.listings[L"/dp_enum"] = "oem12.inf\r\n    Provider: Kovex Inc\r\n";

  EXPECT_EQ(2, Run({"--json"}));

  const nlohmann::json document = nlohmann::json::parse(printed);
  EXPECT_EQ(false, document["clean"]);
  EXPECT_EQ(false, document["complete"]);
  EXPECT_EQ(nlohmann::json::array(), document["traces"]);
  EXPECT_EQ(nlohmann::json::parse(R"([{"check": "driver-packages",
      "reason": "devcon /dp_enum ended with exit code 1"}])"),
            document["unchecked"]);
}

TEST_F(CheckVerdictTest, AdviceFollowsWhoRemovesEachTrace) {
  // Only what the cleanup removes itself: no manual command to point at.
  fake_files.matches[L"KxCommon.sys"] = {L"KxCommon.sys"};
  EXPECT_EQ(1, Run());
  EXPECT_NE(std::string::npos,
            printed.find("What to do:\n\t Run kovex-deepclean.exe in an elevated "
                         "console, then check again.\n"))
      << printed;
  EXPECT_EQ(std::string::npos, printed.find("Remove what the cleanup passes over"))
      << printed;
  EXPECT_NE(std::string::npos,
            printed.find("Verdict: NOT CLEAN: 1 trace of Kovex's drivers found.\n"))
      << printed;

  // Only what it passes over: running the cleanup again would not help.
  printed.clear();
  fake_files = FakeFiles();
  fake_runner.listings[L"findall *QZV*"] =
      "HID\\QZV_PAD\\8&3D\r\n1 matching device(s) found.\r\n";
  EXPECT_EQ(1, Run());
  EXPECT_EQ(std::string::npos, printed.find("Run kovex-deepclean.exe")) << printed;
  EXPECT_NE(std::string::npos,
            printed.find("What to do:\n\t Remove what the cleanup passes over"))
      << printed;
}

TEST_F(CheckVerdictTest, ReasonInTheSystemsLanguageReachesTheJsonIntact) {
  // A system text in Cyrillic: "file not found".
  fake_runner.capture_failure = L"\x0424\x0430\x0439\x043B \x043D\x0435 \x043D\x0430\x0439\x0434\x0435\x043D";
  EXPECT_EQ(2, Run({"--json"}));
  const nlohmann::json document = nlohmann::json::parse(printed);
  ASSERT_FALSE(document["unchecked"].empty());
  EXPECT_EQ("\xD0\xA4\xD0\xB0\xD0\xB9\xD0\xBB \xD0\xBD\xD0\xB5 "
            "\xD0\xBD\xD0\xB0\xD0\xB9\xD0\xB4\xD0\xB5\xD0\xBD",
            document["unchecked"][0]["reason"]);
}

TEST_F(CheckVerdictTest, EveryHelpSpellingPrintsTheUsage) {
  for (const char* option : {"--help", "-h", "/?"}) {
    printed.clear();
    EXPECT_EQ(0, Run({option})) << option;
    EXPECT_EQ(0u, printed.find("Usage: kovex-deepclean-check [--json] [--reboot-code] | --remediation\n")) << option;
    EXPECT_TRUE(fake_runner.captured.empty()) << option;
  }
}

TEST_F(CheckVerdictTest, DriverFilesAreListedByNameWhateverTheirCase) {
  fake_files.matches[L"KxDev_*.sys"] = {L"KXDEV_USB.SYS", L"KxDev_audio.sys",
                                        L"kxdev_hid.sys"};
  EXPECT_EQ(1, Run());
  EXPECT_NE(std::string::npos,
            printed.find("\t KxDev_audio.sys\n\t kxdev_hid.sys\n\t KXDEV_USB.SYS\n"))
      << printed;
}

namespace {

// One machine of the table below: what is on it, and what the report and
// the fleet's document must then tell.
struct SeveralAtOnce {
  const char* what;
  void (*machine)();
  int status;
  std::vector<std::string> shown;      // each somewhere in the report
  std::vector<std::string> not_shown;  // none of these
  bool complete;                       // the JSON's "complete"
};

const char kReceiver[] = "USB\\VID_3F7C&PID_0D30\\5&AB12&0&4";

// The receiver's removal waits for a reboot: problem 21 under status.
void ReceiverWaitingForReboot(const std::string& listed) {
  fake_runner.listings[L"findall *VID_3F7C*"] = listed + "1 matching device(s) found.\r\n";
  fake_runner.listings[L"status *VID_3F7C*"] =
      std::string(kReceiver) + "\r\n    The device has the following problem: 21\r\n"
      "1 matching device(s) found.\r\n";
}

}  // namespace

TEST_F(CheckVerdictTest, SeveralFailuresAtOnceAreEachToldWithTheirAdvice) {
  const std::string mend = "\t Mend what kept a check from running";
  const std::string run_cleanup = "\t Run kovex-deepclean.exe";
  const std::string reboot = "\t Reboot to finish the removals that wait for it";
  const std::string by_hand = "Remove what the cleanup passes over";
  const SeveralAtOnce cases[] = {
      {"a driver file left and a device listing failed",
       [] {
         fake_files.matches[L"KxCommon.sys"] = {L"KxCommon.sys"};
         fake_runner.capture_exit_codes[L"findall *VID_3F7C*"] = 2;
       },
       1,
       {mend, run_cleanup, "Verdict: NOT CLEAN: 1 trace of Kovex's drivers found.\n"},
       {"Verdict: UNKNOWN"},
       false},
      {"a removal waiting for a reboot beside a file the cleanup removes",
       [] {
         ReceiverWaitingForReboot(std::string(kReceiver) + ": Kovex Stuck Receiver\r\n");
         fake_files.matches[L"KxCommon.sys"] = {L"KxCommon.sys"};
       },
       1,
       {reboot, run_cleanup, "Verdict: NOT CLEAN: 2 traces"},
       {mend},
       true},
      {"a device listed without a description, its removal waiting for a reboot",
       [] { ReceiverWaitingForReboot(std::string(kReceiver) + "\r\n"); },
       1,
       {reboot, "its removal waits for a reboot [The device has the following problem: 21]"},
       {"remove it with:", by_hand, run_cleanup},
       true},
      {"both status listings failing, each its own way",
       [] {
         ReceiverWaitingForReboot(std::string(kReceiver) + ": Kovex Stuck Receiver\r\n");
         fake_runner.capture_exit_codes[L"status *VID_3F7C*"] = 2;
         fake_runner.capture_exit_codes[L"status *QZV*"] = 3;
       },
       1,
       {"NOT CHECKED: whether they are plugged in could not be told: devcon status "
        "*VID_3F7C* ended with exit code 2\n",
        mend},
       {"exit code 3"},
       false},
      {"both status listings disagreeing with their counts",
       [] {
         ReceiverWaitingForReboot(std::string(kReceiver) + ": Kovex Stuck Receiver\r\n");
         fake_runner.listings[L"status *VID_3F7C*"] = "2 matching device(s) found.\r\n";
         fake_runner.listings[L"status *QZV*"] = "3 matching device(s) found.\r\n";
       },
       1,
       {"could not be told: devcon status *VID_3F7C*: devcon reported 2 devices and "
        "listed 0\n"},
       {"reported 3"},
       false},
      {"nothing left but a device plugged in",
       [] {
         fake_runner.listings[L"findall *VID_3F7C*"] =
             std::string(kReceiver) + ": USB Input Device\r\n1 matching device(s) found.\r\n";
         fake_runner.listings[L"status *VID_3F7C*"] =
             std::string(kReceiver) + "\r\n    Driver is running.\r\n1 matching device(s) found.\r\n";
       },
       0,
       {"Attached now (plugged in, not traces):\n\t " + std::string(kReceiver) +
            " : USB Input Device [Driver is running.]\n",
        "Verdict: CLEAN"},
       {"What to do:"},
       true},
  };
  for (const SeveralAtOnce& machine : cases) {
    SCOPED_TRACE(machine.what);
    ResetFakeMachine();
    machine.machine();
    printed.clear();
    EXPECT_EQ(machine.status, Run());
    for (const std::string& text : machine.shown) {
      EXPECT_NE(std::string::npos, printed.find(text)) << text << "\n" << printed;
    }
    for (const std::string& text : machine.not_shown) {
      EXPECT_EQ(std::string::npos, printed.find(text)) << text << "\n" << printed;
    }
    printed.clear();
    EXPECT_EQ(machine.status, Run({"--json"}));
    const nlohmann::json document = nlohmann::json::parse(printed);
    EXPECT_EQ(machine.complete, document["complete"]);
    EXPECT_EQ(machine.status == 0, document["clean"]);
  }
}

TEST_F(CheckVerdictTest, SubkeyNameOfTheLongestLengthIsReadLikeAnyOther) {
  // 255 characters, the most a key name may have, ahead of a short one.
  const std::wstring longest = L"KxDriver" + std::wstring(247, L'x');
  fake_registry.open_result = 0;
  fake_registry.subkeys = {longest, L"KxDrvSetup"};

  EXPECT_EQ(1, Run({"--json"}));

  const nlohmann::json document = nlohmann::json::parse(printed);
  EXPECT_EQ(nlohmann::json::array(), document["unchecked"]);
  ASSERT_EQ(2u, document["traces"].size()) << printed;
  EXPECT_EQ(std::string(longest.begin(), longest.end()), document["traces"][0]["id"]);
  EXPECT_EQ("KxDrvSetup", document["traces"][1]["id"]);
}

// Every mix of what a machine can hold: a trace the cleanup removes, one
// whose removal waits for a reboot, one that only a command by hand removes,
// and a check that could not run. The detection line opens with the verdict,
// names each part, and exits 1 only where the cleanup helps; the fleet page
// reads the same verdict back from the line, as from a Remediations export.
TEST(RemediationLine, EveryMixOfTracesOpensWithItsVerdict) {
  struct Mix {
    bool removable, reboot, manual, unchecked;
    const char* verdict;
  };
  const Mix mixes[] = {
      {false, false, false, false, "CLEAN"},     {false, false, false, true, "UNKNOWN"},
      {false, false, true, false, "PENDING"},    {false, false, true, true, "PENDING"},
      {false, true, false, false, "PENDING"},    {false, true, false, true, "PENDING"},
      {false, true, true, false, "PENDING"},     {false, true, true, true, "PENDING"},
      {true, false, false, false, "NOT CLEAN"},  {true, false, false, true, "NOT CLEAN"},
      {true, false, true, false, "NOT CLEAN"},   {true, false, true, true, "NOT CLEAN"},
      {true, true, false, false, "NOT CLEAN"},   {true, true, false, true, "NOT CLEAN"},
      {true, true, true, false, "NOT CLEAN"},    {true, true, true, true, "NOT CLEAN"},
  };
  for (const Mix& mix : mixes) {
    SCOPED_TRACE(std::string(mix.removable ? "removable " : "") + (mix.reboot ? "reboot " : "") +
                 (mix.manual ? "manual " : "") + (mix.unchecked ? "unchecked" : ""));
    Findings findings;
    if (mix.removable) {
      findings.traces.emplace_back(TraceKind::kDriverFile, L"KxCommon.sys",
                                   L"C:\\windows\\system32\\drivers\\KxCommon.sys", L"");
    }
    if (mix.reboot) {
      findings.traces.emplace_back(TraceKind::kDevice, L"USB\\VID_3F7C\\1", L"Receiver", L"");
      findings.traces.back().awaits_reboot = true;
    }
    if (mix.manual) {
      findings.traces.emplace_back(TraceKind::kDevice, L"HID\\QZV\\2", L"",
                                   L"devcon -f remove \"@HID\\QZV\\2\"");
    }
    if (mix.unchecked) {
      findings.unchecked.push_back({TraceKind::kDevice, L"devcon findall ended with exit code 2"});
    }
    const std::string line = RemediationLine(findings);
    EXPECT_EQ(0u, line.find(std::string(mix.verdict) + ": ")) << line;
    EXPECT_EQ(mix.removable ? 1 : 0, RemediationStatus(findings));
    EXPECT_EQ(mix.reboot, line.find(" | reboot to finish removing device USB\\VID_3F7C\\1") !=
                              std::string::npos) << line;
    EXPECT_EQ(mix.manual, line.find(" | remove by hand: devcon -f remove") != std::string::npos)
        << line;
    EXPECT_EQ(mix.unchecked, line.find(" | not checked: devices: ") != std::string::npos) << line;

    MachineResult read;
    ReadRemediationLine(line, &read);
    EXPECT_STREQ(mix.verdict, PageVerdictName(read));
    EXPECT_EQ(findings.traces.size(), read.traces.size());
    EXPECT_EQ(findings.unchecked.size(), read.unchecked.size());
  }
}
