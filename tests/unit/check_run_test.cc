#include <filesystem>
#include <string>
#include <vector>

#include "check/check_run.h"
#include "kovex_version.h"
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

  fake_machine.host_name = L"K\x00FChl-PC";

  EXPECT_EQ(1, Run({"--json"}));

  const nlohmann::json expected = {
      {"clean", false},
      {"complete", true},
      {"traces",
       {{{"kind", "device"},
         {"id", "USB\\VID_3F7C&PID_0D30\\5&AB12&0&4"},
         {"description", "Kovex Stuck Receiver"},
         {"awaits_reboot", false}},
        {{"kind", "device"},
         {"id", "USB\\VID_3F7C&PID_0E40\\5&CD34&0&5"},
         {"description", ""},
         {"awaits_reboot", false},
         {"manual_removal", "devcon -f remove \"@USB\\VID_3F7C&PID_0E40\\5&CD34&0&5\""}},
        {{"kind", "device"},
         {"id", "HID\\QZV_PAD\\8&3D"},
         {"description", "Pad \xC3\xA9\xC3\xBF"},
         {"awaits_reboot", false}},
        {{"kind", "audio-endpoint"},
         {"id", "SWD\\MMDEVAPI\\{0.0.0}.{a}"},
         {"description", "Speakers (Kovex Pulse H\xC3\xB6rer)"},
         {"awaits_reboot", false}},
        {{"kind", "driver-package"}, {"id", "oem12.inf"}, {"description", "Kovex Inc"},
         {"awaits_reboot", false}},
        {{"kind", "driver-file"},
         {"id", "KxDev_audio.sys"},
         {"description", "C:\\windows\\system32\\drivers\\KxDev_audio.sys"},
         {"awaits_reboot", false}},
        {{"kind", "driver-file"},
         {"id", "KxDev_hid.sys"},
         {"description", "C:\\windows\\system32\\drivers\\KxDev_hid.sys"},
         {"awaits_reboot", false}},
        {{"kind", "registry-key"},
         {"id", "KxDrvSetup"},
         {"description", "HKEY_LOCAL_MACHINE\\Software\\Kovex\\KxDrvSetup"},
         {"awaits_reboot", false}}}},
      {"unchecked", nlohmann::json::array()},
      {"attached", nlohmann::json::array()},
      {"computer", "K\xC3\xBChl-PC"},
      {"checked_at", "2026-12-08T04:11:29Z"},
      {"version", KOVEX_VERSION}};
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
  // Opened for reading and closed, though its listing broke off.
  EXPECT_EQ(1, fake_registry.closes);
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
  const std::vector<std::vector<std::string>> bad = {
      {"--jsn"},
      {"--remediation", "--json"},
      {"--remediation", "--reboot-code"},
      {"--reboot-code", "--remediation"},
      {"--json", "--reboot-code", "--remediation"}};
  for (const std::vector<std::string>& arguments : bad) {
    SCOPED_TRACE(arguments.back());
    printed.clear();
    printed_errors.clear();
    EXPECT_EQ(3, Run(arguments));
    EXPECT_EQ("", printed);
    EXPECT_NE(std::string::npos, printed_errors.find("\n\nUsage: kovex-deepclean-check"));
    EXPECT_TRUE(fake_runner.captured.empty());
  }
  EXPECT_EQ(0u, printed_errors.find("kovex-deepclean-check: --remediation goes alone"));

  EXPECT_EQ(0, Run({"--help"}));
  EXPECT_EQ(0u, printed.find("Usage: kovex-deepclean-check [--json] [--reboot-code] | --remediation\n"));
  EXPECT_TRUE(fake_runner.captured.empty());
}

namespace {

// "<id padded to 60>: <description>\r\n", as findall writes a line.
std::string Line(const std::string& id, const std::string& description) {
  return id + std::string(id.size() < 60 ? 60 - id.size() : 0, ' ') + ": " +
         description + "\r\n";
}

const char kHeadset[] = "USB\\VID_3F7C&PID_0A01\\6&2B&0&1";
const char kStuck[] = "USB\\VID_3F7C&PID_0D30\\5&AB12&0&4";
const char kBare[] = "USB\\VID_3F7C&PID_0E40\\5&CD34&0&5";
const char kPad[] = "HID\\QZV_PAD\\8&3D";
const char kSpeakers[] = "SWD\\MMDEVAPI\\{0.0.0}.{a}";

// After a cleanup and its rescan: the headset and the pad plugged in and
// re-created, the receiver's removal waiting for a reboot, the bare
// instance gone from the bus but kept.
void MachineAfterRescan() {
  fake_registry.open_result = 2;
  fake_runner.listings[L"findall *VID_3F7C*"] =
      Line(kHeadset, "USB Audio Device") + Line(kStuck, "Kovex Stuck Receiver") +
      kBare + "\r\n3 matching device(s) found.\r\n";
  fake_runner.listings[L"findall *QZV*"] = std::string(kPad) + "\r\n1 matching device(s) found.\r\n";
  fake_runner.listings[L"findall *MMDEVAPI*"] =
      Line(kSpeakers, "Speakers (Kovex Pulse Headset)") + "1 matching device(s) found.\r\n";
  fake_runner.listings[L"status *VID_3F7C*"] =
      std::string(kHeadset) + "\r\n    Name: USB Audio Device\r\n    Driver is running.\r\n" +
      kStuck + "\r\n    Name: Kovex Stuck Receiver\r\n"
      "    The device has the following problem: 21\r\n"
      "2 matching device(s) found.\r\n";
  fake_runner.listings[L"status *QZV*"] =
      std::string(kPad) + "\r\n    Name: HID-compliant game controller\r\n"
      "    The device has the following problem: 28\r\n1 matching device(s) found.\r\n";
  fake_runner.listings[L"status *MMDEVAPI*"] =
      std::string(kSpeakers) + "\r\n    Name: Speakers (Kovex Pulse Headset)\r\n"
      "    Driver is running.\r\n1 matching device(s) found.\r\n";
}

std::vector<std::string> Reasons(const nlohmann::json& document) {
  std::vector<std::string> reasons;
  for (const auto& entry : document["unchecked"]) {
    reasons.push_back(entry["check"].get<std::string>() + ": " +
                      entry["reason"].get<std::string>());
  }
  return reasons;
}

}  // namespace

TEST_F(RunCheckTest, PluggedInDevicesAreAttachedWaitingRemovalAndAbsentOnesAreTraces) {
  MachineAfterRescan();

  EXPECT_EQ(1, Run());

  EXPECT_EQ(std::string("Kovex driver check (read-only: nothing is changed)\n"
                        "Devices:\n"
                        "\t ") + kStuck + " : Kovex Stuck Receiver\n"
            "\t \t its removal waits for a reboot [The device has the following problem: 21]\n"
            "\t " + kBare + " (listed without a description)\n"
            "\t \t the cleanup passes over it; remove it with: devcon -f remove \"@" + kBare +
                "\"\n"
            "Audio endpoints:\n\t none\n"
            "Driver packages:\n\t none\n"
            "Driver files in C:\\windows\\system32\\drivers:\n\t none\n"
            "Installer registry keys in HKEY_LOCAL_MACHINE\\Software\\Kovex (32-bit view):\n"
            "\t none\n"
            "Attached now (plugged in, not traces):\n"
            "\t " + kHeadset + " : USB Audio Device [Driver is running.]\n"
            "\t " + kPad + " : HID-compliant game controller "
                "[The device has the following problem: 28]\n"
            "\t " + kSpeakers + " : Speakers (Kovex Pulse Headset) [Driver is running.]\n"
            "\t Windows re-creates a plugged-in device at every rescan. Whatever of "
            "Kovex's it still runs shows above, under driver packages and files.\n"
            "What to do:\n"
            "\t Reboot to finish the removals that wait for it, then check again.\n"
            "\t Remove what the cleanup passes over with the command shown under it, "
            "in an elevated console.\n"
            "Verdict: NOT CLEAN: 2 traces of Kovex's drivers found.\n",
            printed);

  // Nothing left but what is plugged in: clean, and the JSON says what is.
  fake_runner.listings[L"findall *VID_3F7C*"] =
      Line(kHeadset, "USB Audio Device") + "1 matching device(s) found.\r\n";
  printed.clear();
  EXPECT_EQ(0, Run({"--json"}));
  const nlohmann::json document = ParsedJson();
  EXPECT_EQ(true, document["clean"]);
  EXPECT_EQ(nlohmann::json::array(), document["traces"]);
  EXPECT_EQ(nlohmann::json::parse(R"json([
      {"kind": "device", "id": "USB\\VID_3F7C&PID_0A01\\6&2B&0&1",
       "description": "USB Audio Device", "status": "Driver is running."},
      {"kind": "device", "id": "HID\\QZV_PAD\\8&3D",
       "description": "HID-compliant game controller",
       "status": "The device has the following problem: 28"},
      {"kind": "audio-endpoint", "id": "SWD\\MMDEVAPI\\{0.0.0}.{a}",
       "description": "Speakers (Kovex Pulse Headset)", "status": "Driver is running."}
    ])json"),
            document["attached"]);
}

TEST_F(RunCheckTest, CharactersAboveLatin1ArriveWholeAndHideNoNeighbour) {
  fake_registry.open_result = 2;
  // The fake writes these as UTF-16, from UTF-8: "™" is U+2122.
  fake_runner.listings[L"findall *VID_3F7C*"] =
      Line(kHeadset, "Kovex Pulse\xE2\x84\xA2 Headset") + Line(kStuck, "Kovex Dock") +
      "2 matching device(s) found.\r\n";
  // A Japanese endpoint name: "スピーカー (Kovex Pulse)".
  fake_runner.listings[L"findall *MMDEVAPI*"] =
      Line(kSpeakers, "\xE3\x82\xB9\xE3\x83\x94\xE3\x83\xBC\xE3\x82\xAB\xE3\x83\xBC "
                      "(Kovex Pulse)") +
      "1 matching device(s) found.\r\n";

  EXPECT_EQ(1, Run({"--json"}));

  const nlohmann::json document = ParsedJson();
  EXPECT_EQ(true, document["complete"]);
  ASSERT_EQ(3u, document["traces"].size()) << printed;
  EXPECT_EQ("Kovex Pulse\xE2\x84\xA2 Headset", document["traces"][0]["description"]);
  EXPECT_EQ(kStuck, document["traces"][1]["id"]);
  EXPECT_EQ("audio-endpoint", document["traces"][2]["kind"]);
  EXPECT_EQ("\xE3\x82\xB9\xE3\x83\x94\xE3\x83\xBC\xE3\x82\xAB\xE3\x83\xBC (Kovex Pulse)",
            document["traces"][2]["description"]);
}

TEST_F(RunCheckTest, DevconWithoutUnicodeIsAskedAgainAndItsCutLinesCaught) {
  fake_registry.open_result = 2;
  fake_runner.devcon_knows_unicode = false;
  // Without -u devcon cut the line at "™" and glued the next one on.
  fake_runner.listings[L"findall *VID_3F7C*"] =
      Line(kHeadset, "Kovex Pulse").substr(0, 74) + Line(kStuck, "Kovex Dock") +
      "2 matching device(s) found.\r\n";
  // Its bytes are the system's text: UTF-8 here, decoded once in the JSON.
  fake_runner.listings[L"findall *QZV*"] =
      "HID\\QZV_PAD\\8&3D: Pad \xC3\xA9\r\n1 matching device(s) found.\r\n";

  EXPECT_EQ(1, Run({"--json"}));

  EXPECT_EQ((std::vector<std::wstring>{
                L"-u findall *VID_3F7C*", L"findall *VID_3F7C*", L"findall *QZV*",
                L"findall *MMDEVAPI*", L"/dp_enum", L"status *VID_3F7C*", L"status *QZV*",
                L"status *MMDEVAPI*"}),
            fake_runner.captured);
  const nlohmann::json document = ParsedJson();
  EXPECT_EQ(std::vector<std::string>{"devices: devcon reported 2 devices and listed 1"},
            Reasons(document));
  EXPECT_EQ(kHeadset, document["traces"][0]["id"]);
  EXPECT_EQ("Pad \xC3\xA9", document["traces"][1]["description"]);

  // Exit code 3 for another reason than an unknown option is a failure.
  printed.clear();
  fake_runner = FakeRunner();
  fake_runner.capture_exit_codes[L"-u /dp_enum"] = 3;
  fake_runner.capture_errors[L"-u /dp_enum"] = Utf16Output("devcon.exe: Invalid use of dp_enum.\r\n");
  EXPECT_EQ(2, Run({"--json"}));
  EXPECT_EQ(std::vector<std::string>{"driver-packages: devcon /dp_enum ended with exit code 3"},
            Reasons(ParsedJson()));
  EXPECT_EQ(7u, fake_runner.captured.size());
}

TEST_F(RunCheckTest, ListingThatLostLinesOrPresenceUntoldIsNeverClean) {
  fake_registry.open_result = 2;
  fake_runner.listings[L"findall *VID_3F7C*"] = "5 matching device(s) found.\r\n";
  EXPECT_EQ(2, Run({"--json"}));
  EXPECT_EQ(std::vector<std::string>{"devices: devcon reported 5 devices and listed 0"},
            Reasons(ParsedJson()));

  // Where status fails or lost lines, every instance of its kind stays a
  // trace; with none to tell of, presence does not matter.
  MachineAfterRescan();
  fake_runner.capture_exit_codes[L"status *QZV*"] = 2;
  fake_runner.listings[L"status *MMDEVAPI*"] = "2 matching device(s) found.\r\n";
  printed.clear();
  EXPECT_EQ(1, Run({"--json"}));
  const nlohmann::json document = ParsedJson();
  EXPECT_EQ((std::vector<std::string>{
                "devices: whether they are plugged in could not be told: devcon status "
                "*QZV* ended with exit code 2",
                "audio-endpoints: whether they are plugged in could not be told: devcon "
                "status *MMDEVAPI*: devcon reported 2 devices and listed 0"}),
            Reasons(document));
  EXPECT_EQ(5u, document["traces"].size());
  EXPECT_EQ(nlohmann::json::array(), document["attached"]);

  fake_runner.listings.clear();
  printed.clear();
  EXPECT_EQ(0, Run());
}

TEST_F(RunCheckTest, HungDevconIsEndedAndNoMoreIsStarted) {
  fake_registry.open_result = 2;
  fake_runner.capture_timeouts.insert(L"-u findall *QZV*");

  EXPECT_EQ(2, Run({"--json"}));

  EXPECT_EQ(120000u, fake_runner.capture_time_limit_ms);
  EXPECT_EQ((std::vector<std::wstring>{L"-u findall *VID_3F7C*", L"-u findall *QZV*"}),
            fake_runner.captured);
  EXPECT_EQ((std::vector<std::string>{
                "devices: devcon did not finish within 120 s",
                "audio-endpoints: devcon did not finish within 120 s",
                "driver-packages: devcon did not finish within 120 s"}),
            Reasons(ParsedJson()));
}

TEST_F(RunCheckTest, DevconRunsShareTheChecksDeadline) {
  struct Case {
    const char* name;
    unsigned long audio_listing_takes_ms;  // the first two take 100 s each
    std::string reason;                    // of the kinds not checked
  };
  const Case cases[] = {
      {"the third run gets what is left, and is ended there", 101000,
       "devcon did not finish within the check's 300 s"},
      {"the third run spends the rest: none more starts", 100000,
       "not run: the check's 300 s for devcon are spent"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ResetFakeMachine();
    fake_registry.open_result = 2;
    fake_runner.capture_durations[L"-u findall *VID_3F7C*"] = 100000;
    fake_runner.capture_durations[L"-u findall *QZV*"] = 100000;
    fake_runner.capture_durations[L"-u findall *MMDEVAPI*"] = c.audio_listing_takes_ms;

    EXPECT_EQ(2, Run({"--json"}));

    EXPECT_EQ(3u, fake_runner.captured.size());
    // The third run's limit: what was left of the 300 s.
    EXPECT_EQ(100000u, fake_runner.capture_time_limit_ms);
    const std::vector<std::string> reasons = Reasons(ParsedJson());
    ASSERT_FALSE(reasons.empty());
    EXPECT_EQ("driver-packages: " + c.reason, reasons.back());
  }
}

// What each engine is told: the line and status of --remediation, the
// status of --reboot-code, and the two fields the fleet's document carries
// for the traces the cleanup cannot finish.
TEST_F(RunCheckTest, EnginesAreToldWhetherTheCleanupHelpsOrAReboot) {
  struct Case {
    const char* name;
    void (*machine)();
    int remediation_status;
    std::string line;
    int reboot_status;
  };
  const std::string stuck = kStuck;
  const std::string bare = kBare;
  const Case cases[] = {
      {"clean", [] { fake_registry.open_result = 2; }, 0,
       "CLEAN: nothing of Kovex's drivers is left", 0},
      {"only a reboot and a manual command left", MachineAfterRescan, 0,
       "PENDING: nothing the cleanup removes | reboot to finish removing device " + stuck +
           " | remove by hand: devcon -f remove \"@" + bare + "\"",
       3010},
      {"a file the cleanup removes, and a reboot",
       [] {
         MachineAfterRescan();
         fake_files.matches[L"KxCommon.sys"] = {L"KxCommon.sys"};
       },
       1,
       "NOT CLEAN: the cleanup removes driver-file KxCommon.sys | reboot to finish removing "
       "device " + stuck + " | remove by hand: devcon -f remove \"@" + bare + "\"",
       3010},
      {"a listing that failed",
       [] {
         fake_registry.open_result = 2;
         fake_runner.capture_exit_codes[L"findall *VID_3F7C*"] = 2;
       },
       0, "UNKNOWN: nothing found | not checked: devices: devcon findall *VID_3F7C* ended with exit code 2",
       0},
      {"a name beyond ASCII",
       [] {
         fake_registry.open_result = 2;
         fake_files.matches[L"KxDev_*.sys"] = {L"KxDev_\x00E9\x2122.sys"};
       },
       1, "NOT CLEAN: the cleanup removes driver-file KxDev_??.sys", 0},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.name);
    ResetFakeMachine();
    test.machine();
    printed.clear();
    EXPECT_EQ(test.remediation_status, Run({"--remediation"}));
    EXPECT_EQ(test.line + "\n", printed);
    printed.clear();
    EXPECT_EQ(test.reboot_status, Run({"--json", "--reboot-code"}));
    const nlohmann::json document = ParsedJson();
    for (const auto& trace : document["traces"]) {
      EXPECT_EQ(trace["id"] == stuck, trace["awaits_reboot"]) << trace;
      EXPECT_EQ(trace["id"] == bare, trace.contains("manual_removal")) << trace;
    }
  }

  // Hundreds of traces: one line, cut to the engine's limit.
  fake_runner = FakeRunner();
  fake_registry.open_result = 2;
  for (int i = 0; i < 300; ++i) {
    fake_files.matches[L"KxDev_*.sys"].push_back(L"KxDev_" + std::to_wstring(i) + L".sys");
  }
  printed.clear();
  EXPECT_EQ(1, Run({"--remediation"}));
  EXPECT_EQ(2049u, printed.size());
  EXPECT_EQ("...\n", printed.substr(2045));
  EXPECT_EQ(printed.size() - 1, printed.find('\n'));
}

// The collector's rows: the header, then one row per trace or one bare row,
// every field quoted as Export-Csv quotes it, text in UTF-8; and --csv goes
// alone.
TEST_F(RunCheckTest, CsvGivesEveryMachineItsRows) {
  const std::string header =
      "\"machine\",\"status\",\"clean\",\"complete\",\"kind\",\"id\",\"description\","
      "\"awaits_reboot\",\"manual_removal\",\"unchecked\",\"checked_at\"\n";
  const std::string stuck = kStuck;
  const std::string bare = kBare;
  struct Case {
    const char* name;
    void (*machine)();
    int status;
    std::string rows;
  };
  const Case cases[] = {
      {"clean: one bare row", [] { fake_registry.open_result = 2; }, 0,
       "\"PC-0042\",\"0\",\"True\",\"True\",\"\",\"\",\"\",\"\",\"\",\"\",\"2026-12-08T04:11:29Z\"\n"},
      {"a reboot and a manual command, quotes doubled", MachineAfterRescan, 1,
       "\"PC-0042\",\"1\",\"False\",\"True\",\"device\",\"" + stuck +
           "\",\"Kovex Stuck Receiver\",\"True\",\"\",\"\",\"2026-12-08T04:11:29Z\"\n"
           "\"PC-0042\",\"1\",\"False\",\"True\",\"device\",\"" + bare +
           "\",\"\",\"False\",\"devcon -f remove \"\"@" + bare + "\"\"\",\"\",\"2026-12-08T04:11:29Z\"\n"},
      {"nothing found, two checks could not run: one bare row",
       [] {
         fake_registry.open_result = 2;
         fake_runner.capture_exit_codes[L"findall *VID_3F7C*"] = 2;
         fake_runner.capture_exit_codes[L"findall *QZV*"] = 5;
       },
       2,
       "\"PC-0042\",\"2\",\"False\",\"False\",\"\",\"\",\"\",\"\",\"\",\"devices: devcon "
       "findall *VID_3F7C* ended with exit code 2; devices: devcon findall *QZV* ended "
       "with exit code 5\",\"2026-12-08T04:11:29Z\"\n"},
      {"a description beyond ASCII, in UTF-8",
       [] {
         fake_registry.open_result = 2;
         fake_runner.listings[L"findall *MMDEVAPI*"] =
             "SWD\\MMDEVAPI\\{0.0.0}.{a}: Speakers (Kovex Pulse H\xF6rer)\r\n"
             "1 matching device(s) found.\r\n";
       },
       1,
       "\"PC-0042\",\"1\",\"False\",\"True\",\"audio-endpoint\",\"SWD\\MMDEVAPI\\{0.0.0}.{a}\","
       "\"Speakers (Kovex Pulse H\xC3\xB6rer)\",\"False\",\"\",\"\",\"2026-12-08T04:11:29Z\"\n"},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.name);
    ResetFakeMachine();
    test.machine();
    printed.clear();
    EXPECT_EQ(test.status, Run({"--csv"}));
    EXPECT_EQ(header + test.rows, printed);
  }

  for (const std::vector<std::string>& together :
       {std::vector<std::string>{"--csv", "--json"}, {"--reboot-code", "--csv"},
        {"--csv", "--remediation"}}) {
    SCOPED_TRACE(together[0] + " " + together[1]);
    printed.clear();
    fake_runner = FakeRunner();
    EXPECT_EQ(3, Run(together));
    EXPECT_EQ("", printed);
    EXPECT_TRUE(fake_runner.captured.empty());
  }
}
