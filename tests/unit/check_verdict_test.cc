// What the check tells a person and a fleet when it could not look
// everywhere, when only part of what it found is the cleanup's to remove,
// and which of devcon's exit codes it takes for a listing that worked.
#include <string>
#include <vector>

#include "check/check_run.h"
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
