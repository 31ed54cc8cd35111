#include <filesystem>
#include <string>
#include <vector>

#include "check/check_run.h"
#include "gtest/gtest.h"
#include "nlohmann/json.hpp"
#include "tests/unit/fakes.h"

namespace {

// The three device listings, the driver store, and the three patterns'
// present devices, each in UTF-16.
const std::vector<std::wstring> kListings = {
    L"-u findall *VID_3F7C*", L"-u findall *QZV*", L"-u findall *MMDEVAPI*",
    L"-u /dp_enum",           L"-u status *VID_3F7C*", L"-u status *QZV*",
    L"-u status *MMDEVAPI*"};

class RunCheckTest : public FakeSystemTest {
 protected:
  // A machine with one trace of each kind, and a device the cleanup passes
  // over.
  static void DirtyMachine() {
    fake_runner.listings[L"findall *VID_3F7C*"] =
        "USB\\VID_3F7C&PID_0D30\\5&AB12&0&4                            "
        ": Kovex Stuck Receiver\r\n"
        "USB\\VID_3F7C&PID_0E40\\5&CD34&0&5\r\n"
        "2 matching device(s) found.\r\n";
    fake_runner.listings[L"findall *QZV*"] = "No matching devices found.\r\n";
    fake_runner.listings[L"findall *MMDEVAPI*"] =
        "SWD\\MMDEVAPI\\{0.0.0}.{a}: Speakers (Kovex Pulse H\xF6rer)\r\n"
        "SWD\\MMDEVAPI\\{0.0.0}.{b}: Speakers (Realtek)\r\n"
        "2 matching device(s) found.\r\n";
    fake_runner.listings[L"/dp_enum"] =
        "The following third-party driver packages are installed on this "
        "computer:\r\noem12.inf\r\n    Provider: Kovex Inc\r\n"
        "    Class: Sound\r\n";
    fake_files.matches[L"KxDev_*.sys"] = {L"KxDev_hid.sys", L"KxDev_audio.sys"};
    fake_registry.subkeys = {L"Settings", L"KxDrvSetup"};
  }

  static int Run(std::vector<std::string> arguments = {}) {
    return RunCheck(arguments);
  }

  static nlohmann::json ParsedJson() {
    EXPECT_EQ('\n', printed.back());
    return nlohmann::json::parse(printed);  // throws on invalid UTF-8
  }
};

}  // namespace

TEST_F(RunCheckTest, CleanMachineLooksEverywhereAndChangesNothing) {
  fake_registry.open_result = 2;  // the maker's key is not there: no trace

  EXPECT_EQ(0, Run());

  EXPECT_EQ(kListings, fake_runner.captured);
  EXPECT_TRUE(fake_runner.runs.empty()) << "ran a program with effects";
  EXPECT_EQ((std::vector<std::wstring>{L"KxDev_*.sys", L"KxCommon.sys"}),
            fake_files.patterns);
  EXPECT_EQ(L"Software\\Kovex", fake_registry.opened_path);
  EXPECT_TRUE(fake_registry.opened_for_reading);
  EXPECT_TRUE(fake_registry.deleted.empty());
  EXPECT_TRUE(std::filesystem::is_empty(std::filesystem::current_path()));
  EXPECT_EQ(std::string::npos, printed.find("NOT CHECKED")) << printed;
  EXPECT_EQ(printed.size() - printed.rfind("Verdict: CLEAN:"),
            std::string("Verdict: CLEAN: nothing of Kovex's drivers is left.\n").size())
      << printed;
}

TEST_F(RunCheckTest, ReportNamesEveryTraceAndWhatToDo) {
  DirtyMachine();

  EXPECT_EQ(1, Run());

  EXPECT_EQ(
      "Kovex driver check (read-only: nothing is changed)\n"
      "Devices:\n"
      "\t USB\\VID_3F7C&PID_0D30\\5&AB12&0&4 : Kovex Stuck Receiver\n"
      "\t USB\\VID_3F7C&PID_0E40\\5&CD34&0&5 (listed without a description)\n"
      "\t \t the cleanup passes over it; remove it with: "
      "devcon -f remove \"@USB\\VID_3F7C&PID_0E40\\5&CD34&0&5\"\n"
      "Audio endpoints:\n"
      "\t SWD\\MMDEVAPI\\{0.0.0}.{a} : Speakers (Kovex Pulse H\xF6rer)\n"
      "Driver packages:\n"
      "\t oem12.inf : Kovex Inc\n"
      "Driver files in C:\\windows\\system32\\drivers:\n"
      "\t KxDev_audio.sys\n"
      "\t KxDev_hid.sys\n"
      "Installer registry keys in HKEY_LOCAL_MACHINE\\Software\\Kovex (32-bit view):\n"
      "\t KxDrvSetup\n"
      "What to do:\n"
      "\t Run kovex-deepclean.exe in an elevated console, then check again.\n"
      "\t A trace still there after the cleanup: its removal failed or waits "
      "for a reboot. Reboot, then check again.\n"
      "\t Remove what the cleanup passes over with the command shown under it, "
      "in an elevated console.\n"
      "Verdict: NOT CLEAN: 7 traces of Kovex's drivers found.\n",
      printed);
  EXPECT_TRUE(fake_registry.deleted.empty());
  EXPECT_EQ(1, fake_registry.closes) << "key left open";
}

TEST_F(RunCheckTest, JsonDocumentIsValidUtf8WithEveryTrace) {
  DirtyMachine();
  fake_runner.listings[L"findall *QZV*"] =
      "HID\\QZV_PAD\\8&3D: Pad \xC3\xA9\xFF\r\n1 matching device(s) found.\r\n";

  EXPECT_EQ(1, Run({"--json"}));

  const nlohmann::json expected = {
      {"clean", false},
      {"complete", true},
      {"traces",
       {{{"kind", "device"},
         {"id", "USB\\VID_3F7C&PID_0D30\\5&AB12&0&4"},
         {"description", "Kovex Stuck Receiver"}},
        {{"kind", "device"},
         {"id", "USB\\VID_3F7C&PID_0E40\\5&CD34&0&5"},
         {"description", ""}},
        {{"kind", "device"},
         {"id", "HID\\QZV_PAD\\8&3D"},
         {"description", "Pad \xC3\xA9\xC3\xBF"}},
        {{"kind", "audio-endpoint"},
         {"id", "SWD\\MMDEVAPI\\{0.0.0}.{a}"},
         {"description", "Speakers (Kovex Pulse H\xC3\xB6rer)"}},
        {{"kind", "driver-package"}, {"id", "oem12.inf"}, {"description", "Kovex Inc"}},
        {{"kind", "driver-file"},
         {"id", "KxDev_audio.sys"},
         {"description", "C:\\windows\\system32\\drivers\\KxDev_audio.sys"}},
        {{"kind", "driver-file"},
         {"id", "KxDev_hid.sys"},
         {"description", "C:\\windows\\system32\\drivers\\KxDev_hid.sys"}},
        {{"kind", "registry-key"},
         {"id", "KxDrvSetup"},
         {"description", "HKEY_LOCAL_MACHINE\\Software\\Kovex\\KxDrvSetup"}}}},
      {"unchecked", nlohmann::json::array()},
      {"attached", nlohmann::json::array()}};
  EXPECT_EQ(expected, ParsedJson());
  EXPECT_EQ(0u, printed.find("{\"clean\":false,\"complete\":true,"));
}

TEST_F(RunCheckTest, FailedListingOrUnreadablePlaceIsNamedAndOthersStillRun) {
  DirtyMachine();
  fake_runner.capture_exit_codes[L"findall *VID_3F7C*"] = 2;
  fake_runner.listings[L"findall *QZV*"] =
      "HID\\QZV_PAD\\8&3D: QZV Pad\r\n1 matching device(s) found.\r\n";
  fake_files.error = 5;
  fake_registry.enum_error_at = 1;
  fake_registry.subkeys = {L"KxDrvSetup", L"KxDriverCache"};

  EXPECT_EQ(1, Run({"--json"}));

  const nlohmann::json document = ParsedJson();
  EXPECT_EQ(
      nlohmann::json::parse(R"([
        {"check": "devices",
         "reason": "devcon findall *VID_3F7C* ended with exit code 2"},
        {"check": "driver-files",
         "reason": "C:\\windows\\system32\\drivers could not be read: system error 5"},
        {"check": "registry-keys",
         "reason": "HKEY_LOCAL_MACHINE\\Software\\Kovex (32-bit view) could not be read to its end: system error 1359"}
      ])"),
      document["unchecked"]);
  std::vector<std::string> ids;
  for (const auto& trace : document["traces"]) ids.push_back(trace["id"]);
  EXPECT_EQ((std::vector<std::string>{"HID\\QZV_PAD\\8&3D",
                                      "SWD\\MMDEVAPI\\{0.0.0}.{a}", "oem12.inf",
                                      "KxDrvSetup"}),
            ids);
}

TEST_F(RunCheckTest, RegistryOpenDeniedIsUncheckedNotClean) {
  fake_registry.open_result = 5;
  EXPECT_EQ(2, Run());
  EXPECT_NE(std::string::npos,
            printed.find("\t NOT CHECKED: HKEY_LOCAL_MACHINE\\Software\\Kovex "
                         "(32-bit view) could not be opened: system error 5\n"))
      << printed;
  EXPECT_NE(std::string::npos,
            printed.find("Verdict: UNKNOWN: nothing of Kovex's drivers found, "
                         "but 1 check could not run.\n"))
      << printed;
}

TEST_F(RunCheckTest, BadCommandLineIsStatus3WithUsageAndLooksAtNothing) {
  EXPECT_EQ(3, Run({"--jsn"}));
  EXPECT_EQ("", printed);
  EXPECT_EQ(0u, printed_errors.find("kovex-deepclean-check: unknown option "
                                    "'--jsn'\n\nUsage: kovex-deepclean-check"));
  EXPECT_TRUE(fake_runner.captured.empty());

  EXPECT_EQ(0, Run({"--help"}));
  EXPECT_EQ(0u, printed.find("Usage: kovex-deepclean-check [--json]\n"));
  EXPECT_TRUE(fake_runner.captured.empty());
}
