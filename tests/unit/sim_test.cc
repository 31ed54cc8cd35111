#include "sim/sim.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace devcon_sim {
namespace {

const char kHeadsetId[] = "USB\\VID_3F7C&PID_0A01\\6&2B1C&0&1";

Machine ParseOrDie(const std::string& text) {
  Machine machine;
  std::string error;
  EXPECT_TRUE(ParseMachine(text, machine, error)) << error;
  return machine;
}

std::string ParseError(const std::string& text) {
  Machine machine;
  std::string error;
  EXPECT_FALSE(ParseMachine(text, machine, error)) << text;
  return error;
}

struct Result {
  int code;
  std::string out;
  std::string err;
  bool changed;
};

Result Execute(Machine& machine, const std::vector<std::string>& args, bool scan_fails = false) {
  Result result{0, "", "", false};
  result.code = ExecuteCommand(ParseCommandLine(args), machine, scan_fails, result.out,
                               result.err, result.changed);
  return result;
}

const char kSampleMachine[] =
    "# sample\n"
    "device USB\\VID_3F7C&PID_0A01\\6&2B1C&0&1\n"
    "  description Kovex Headset\n"
    "  hardware USB\\VID_3F7C&PID_0A01&REV_0100\n"
    "  hardware USB\\VID_3F7C&PID_0A01\n"
    "  compatible USB\\Class_01&SubClass_01\n"
    "  absent\n"
    "device USB\\VID_3F7C&PID_0B02\\7&1&0&2\n"
    "  description Kovex Dock\n"
    "  hardware USB\\VID_3F7C&PID_0B02\n"
    "  fail-remove\n"
    "device ROOT\\LEGACY\\0000\n"
    "  hardware ROOT\\LEGACY\n"
    "package oem12.inf\n"
    "  provider Kovex Inc\n"
    "  class Sound, video and game controllers\n"
    "  signer Microsoft Windows Hardware Compatibility Publisher\n"
    "  date 03/15/2021\n"
    "  version 1.2.3.4\n"
    "  in-use\n"
    "package oem7.inf\n"
    "  provider Kovex Inc\n"
    "package oem9.inf\n"
    "  unreadable\n"
    "  fail-delete\n";

TEST(WildcardMatchTest, StarMatchesAnyRunAndCaseIsIgnored) {
  EXPECT_TRUE(WildcardMatch("*VID_3F7C*", "usb\\vid_3f7c&pid_0a01"));
  EXPECT_TRUE(WildcardMatch("USB\\*&PID_0A01", "USB\\VID_3F7C&PID_0A01"));
  EXPECT_TRUE(WildcardMatch("usb*", "USB"));  // the run may be empty
  EXPECT_TRUE(WildcardMatch("*", ""));
  EXPECT_TRUE(WildcardMatch("*a*b*c", "xaxbxbxc"));
  EXPECT_TRUE(WildcardMatch("*AB", "AAB"));  // first candidate for the star is wrong
  EXPECT_FALSE(WildcardMatch("*VID_3F7D*", "USB\\VID_3F7C&PID_0A01"));
  EXPECT_FALSE(WildcardMatch("*a*b", "ab_"));
}

TEST(WildcardMatchTest, WithoutStarTheWholeStringMustMatch) {
  EXPECT_TRUE(WildcardMatch("usb\\vid_3f7c", "USB\\VID_3F7C"));
  EXPECT_FALSE(WildcardMatch("USB\\VID_3F7C", "USB\\VID_3F7C&PID_0A01"));
  EXPECT_FALSE(WildcardMatch("VID_3F7C", "USB\\VID_3F7C"));
  EXPECT_FALSE(WildcardMatch("?SB", "USB"));  // '?' is an ordinary character
}

TEST(DeviceMatchesTest, PlainPatternsSeeHardwareAndCompatibleIdsOnly) {
  Machine machine = ParseOrDie(kSampleMachine);
  const Device& headset = machine.devices[0];  // absent
  EXPECT_TRUE(DeviceMatches(headset, "usb\\vid_3f7c&pid_0a01", true));
  EXPECT_TRUE(DeviceMatches(headset, "*class_01*", true));
  EXPECT_FALSE(DeviceMatches(headset, "*6&2B1C*", true));  // only in the instance ID
  EXPECT_FALSE(DeviceMatches(headset, "*VID_3F7C*", false));  // absent, not asked for
  EXPECT_TRUE(DeviceMatches(machine.devices[1], "*VID_3F7C*", false));
}

TEST(DeviceMatchesTest, AtArgumentsMatchTheInstanceId) {
  Machine machine = ParseOrDie(kSampleMachine);
  const Device& headset = machine.devices[0];  // absent
  EXPECT_TRUE(DeviceMatches(headset, std::string("@") + kHeadsetId, false));
  EXPECT_TRUE(DeviceMatches(headset, "@usb\\vid_3f7c&pid_0a01\\6&2b1c&0&1", false));
  EXPECT_FALSE(DeviceMatches(headset, "@USB\\VID_3F7C&PID_0A01", true));  // exact, not prefix
  EXPECT_FALSE(DeviceMatches(headset, "@*6&2B1C*", false));  // wildcard: present devices only
  EXPECT_TRUE(DeviceMatches(headset, "@*6&2B1C*", true));
  EXPECT_FALSE(DeviceMatches(headset, "@USB\\VID_3F7C&PID_0A01&REV_0100", true));
}

TEST(CommandLineTest, OptionsPrecedeTheCommand) {
  CommandLine cl = ParseCommandLine({"-F", "/r", "-m:\\\\box", "/DP_ENUM", "-f", "x"});
  EXPECT_TRUE(cl.force);
  EXPECT_TRUE(cl.reboot);
  EXPECT_FALSE(cl.unconfigured);
  EXPECT_EQ(cl.machine, "\\\\box");
  ASSERT_TRUE(cl.command.has_value());
  EXPECT_EQ(*cl.command, "DP_ENUM");
  EXPECT_EQ(cl.arguments, (std::vector<std::string>{"-f", "x"}));

  // "-fx" is not the -f option: it is the command "fx".
  CommandLine odd = ParseCommandLine({"-fx", "remove"});
  EXPECT_FALSE(odd.force);
  EXPECT_EQ(odd.command.value_or(""), "fx");
}

TEST(CommandLineTest, UnknownOrMissingCommandIsUsage) {
  Machine machine = ParseOrDie(kSampleMachine);
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{}, {"-f"}, {"status", "*"}, {"-fx"}}) {
    Result r = Execute(machine, args);
    EXPECT_EQ(r.code, kExitUsage);
    EXPECT_TRUE(r.out.empty());
    EXPECT_NE(r.err.find("Usage: devcon"), std::string::npos);
  }
  EXPECT_EQ(Execute(machine, {"/dp_enum"}).code, kExitOk);
  EXPECT_EQ(Execute(machine, {"-ReScAn"}).code, kExitOk);
}

TEST(FindAllTest, PadsIdsToSixtyColumnsAndCountsMatches) {
  std::string long_id(70, 'X');
  Machine machine = ParseOrDie(std::string(kSampleMachine) + "device " + long_id +
                               "\n  description Long One\n  hardware USB\\VID_3F7C&PID_FFFF\n");
  Result r = Execute(machine, {"findall", "*vid_3f7c*"});
  EXPECT_EQ(r.code, kExitOk);
  std::string headset = kHeadsetId;
  std::string dock = "USB\\VID_3F7C&PID_0B02\\7&1&0&2";
  EXPECT_EQ(r.out, headset + std::string(60 - headset.size(), ' ') + ": Kovex Headset\n" +
                       dock + std::string(60 - dock.size(), ' ') + ": Kovex Dock\n" +
                       long_id + ": Long One\n" + "3 matching device(s) found.\n");
  EXPECT_TRUE(r.err.empty());
  EXPECT_FALSE(r.changed);
}

TEST(FindAllTest, BareIdWithoutDescriptionAndNoMatches) {
  Machine machine = ParseOrDie(kSampleMachine);
  Result legacy = Execute(machine, {"findall", "root\\legacy", "@ROOT\\LEGACY\\0000"});
  EXPECT_EQ(legacy.out, "ROOT\\LEGACY\\0000\n1 matching device(s) found.\n");

  Result none = Execute(machine, {"findall", "*VID_0000*"});
  EXPECT_EQ(none.code, kExitOk);
  EXPECT_EQ(none.out, "No matching devices found.\n");

  Result usage = Execute(machine, {"findall"});
  EXPECT_EQ(usage.code, kExitUsage);
  EXPECT_TRUE(usage.out.empty());
}

TEST(DpEnumTest, ListsPackagesInOrderWithUnknownFields) {
  Machine machine = ParseOrDie(kSampleMachine);
  Result r = Execute(machine, {"dp_enum"});
  EXPECT_EQ(r.code, kExitOk);
  EXPECT_EQ(r.out,
            "The following third-party driver packages are installed on this computer:\n"
            "oem12.inf\n"
            "    Provider: Kovex Inc\n"
            "    Class: Sound, video and game controllers\n"
            "    Signer: Microsoft Windows Hardware Compatibility Publisher\n"
            "    Date: 03/15/2021\n"
            "    Version: 1.2.3.4\n"
            "oem7.inf\n"
            "    Provider: Kovex Inc\n"
            "    Class: unknown\n"
            "    Signer: unknown\n"
            "    Date: unknown\n"
            "    Version: unknown\n"
            "oem9.inf\n");

  Machine empty;
  EXPECT_EQ(Execute(empty, {"dp_enum"}).out,
            "There are no third-party driver packages on this machine.\n");
  EXPECT_EQ(Execute(empty, {"dp_enum", "extra"}).code, kExitUsage);
}

TEST(RemoveTest, StrictMachineFailsUnlessEverythingMatchedWasRemoved) {
  Machine machine = ParseOrDie(std::string("strict-remove\n") + kSampleMachine);
  // The headset is absent, so the pattern reaches only the dock, which fails to go.
  Result failed = Execute(machine, {"-f", "remove", "*VID_3F7C*"});
  EXPECT_EQ(failed.code, kExitFail);
  EXPECT_EQ(failed.out, "USB\\VID_3F7C&PID_0B02\\7&1&0&2" + std::string(31, ' ') +
                            ": Remove failed\nNo devices were removed.\n");
  EXPECT_EQ(failed.err, "devcon: command remove failed\n");
  EXPECT_FALSE(failed.changed);
  EXPECT_EQ(machine.devices.size(), 3u);

  // An exact @instance reaches the absent headset.
  Result removed = Execute(machine, {"remove", std::string("@") + kHeadsetId});
  EXPECT_EQ(removed.code, kExitOk);
  EXPECT_EQ(removed.out, kHeadsetId + std::string(28, ' ') +
                             ": Removed\n1 device(s) were removed.\n");
  EXPECT_TRUE(removed.err.empty());
  EXPECT_TRUE(removed.changed);
  ASSERT_EQ(machine.devices.size(), 2u);
  EXPECT_EQ(machine.devices[0].instance_id, "USB\\VID_3F7C&PID_0B02\\7&1&0&2");

  Result gone = Execute(machine, {"remove", std::string("@") + kHeadsetId});
  EXPECT_EQ(gone.code, kExitFail);
  EXPECT_EQ(gone.out, "No devices were removed.\n");
}

TEST(RemoveTest, StrictPartialFailureStillRemovesTheOthers) {
  Machine machine = ParseOrDie(std::string("strict-remove\n") + kSampleMachine);
  Result r = Execute(machine, {"remove", "*VID_3F7C&PID_0B02*", "ROOT\\LEGACY"});
  EXPECT_EQ(r.code, kExitFail);
  EXPECT_NE(r.out.find(": Remove failed\n"), std::string::npos);
  EXPECT_NE(r.out.find("ROOT\\LEGACY\\0000" + std::string(44, ' ') + ": Removed\n"),
            std::string::npos);
  EXPECT_NE(r.out.find("\n1 device(s) were removed.\n"), std::string::npos);
  EXPECT_TRUE(r.changed);
  EXPECT_EQ(machine.devices.size(), 2u);
  EXPECT_EQ(Execute(machine, {"remove"}).code, kExitUsage);
}

TEST(RemoveTest, ExitsZeroLikeTheRealOneWhenNothingWasRemoved) {
  Machine machine = ParseOrDie(kSampleMachine);
  Result failed = Execute(machine, {"-f", "remove", "@USB\\VID_3F7C&PID_0B02\\7&1&0&2"});
  EXPECT_EQ(failed.code, kExitOk);
  EXPECT_EQ(failed.out, "USB\\VID_3F7C&PID_0B02\\7&1&0&2" + std::string(31, ' ') +
                            ": Remove failed\nNo devices were removed.\n");
  EXPECT_TRUE(failed.err.empty());
  Result missing = Execute(machine, {"-f", "remove", "@ROOT\\NOTHERE\\0"});
  EXPECT_EQ(missing.code, kExitOk);
  EXPECT_EQ(missing.out, "No devices were removed.\n");
  EXPECT_EQ(machine.devices.size(), 3u);
}

TEST(RemoveTest, RemovalWaitingForRebootKeepsTheDeviceAndExitsOne) {
  Machine machine = ParseOrDie(std::string(kSampleMachine) +
                               "device USB\\VID_3F7C&PID_0F50\\1\n"
                               "  hardware USB\\VID_3F7C&PID_0F50\n"
                               "  remove-on-reboot\n");
  const std::string reboot =
      "The 1 device(s) are ready to be removed. To remove the devices, reboot the system.\n";
  Result alone = Execute(machine, {"-f", "remove", "@USB\\VID_3F7C&PID_0F50\\1"});
  EXPECT_EQ(alone.code, kExitReboot);
  EXPECT_EQ(alone.out, "USB\\VID_3F7C&PID_0F50\\1" + std::string(37, ' ') +
                           ": Removed on reboot\n" + reboot);
  EXPECT_TRUE(alone.err.empty());
  EXPECT_FALSE(alone.changed);
  EXPECT_EQ(machine.devices.size(), 4u);

  // Removed beside waiting: the one goes, the reboot message and code win.
  Result mixed = Execute(machine, {"remove", "*PID_0F50*", "ROOT\\LEGACY"});
  EXPECT_EQ(mixed.code, kExitReboot);
  EXPECT_EQ(mixed.out, "ROOT\\LEGACY\\0000" + std::string(44, ' ') + ": Removed\n" +
                           "USB\\VID_3F7C&PID_0F50\\1" + std::string(37, ' ') +
                           ": Removed on reboot\n" + reboot);
  EXPECT_TRUE(mixed.changed);
  EXPECT_EQ(machine.devices.size(), 3u);

  // A strict machine keeps the reboot code, but a failure beside it is a failure.
  machine.strict_remove = true;
  EXPECT_EQ(Execute(machine, {"remove", "*PID_0F50*"}).code, kExitReboot);
  EXPECT_EQ(Execute(machine, {"remove", "*PID_0F50*", "*PID_0B02*"}).code, kExitFail);
}

TEST(DpDeleteTest, InUseNeedsForce) {
  Machine machine = ParseOrDie(kSampleMachine);
  Result refused = Execute(machine, {"dp_delete", "oem12.inf"});
  EXPECT_EQ(refused.code, kExitFail);
  EXPECT_EQ(refused.out,
            "Deleting the specified driver package from the machine failed\n"
            "because it is in use by a device.\n");
  EXPECT_EQ(refused.err, "devcon: command dp_delete failed\n");
  EXPECT_EQ(machine.packages.size(), 3u);

  Result forced = Execute(machine, {"/F", "dp_delete", "OEM12.INF"});
  EXPECT_EQ(forced.code, kExitOk);
  EXPECT_EQ(forced.out, "Driver package 'OEM12.INF' deleted.\n");
  EXPECT_TRUE(forced.changed);
  ASSERT_EQ(machine.packages.size(), 2u);
  EXPECT_EQ(machine.packages[0].published_name, "oem7.inf");
}

TEST(DpDeleteTest, FailuresLeaveTheStoreAlone) {
  Machine machine = ParseOrDie(kSampleMachine);
  Result failing = Execute(machine, {"-f", "dp_delete", "oem9.inf"});
  EXPECT_EQ(failing.code, kExitFail);
  EXPECT_EQ(failing.out, "Deleting the specified driver package from the machine failed.\n");

  Result missing = Execute(machine, {"dp_delete", "oem44.inf"});
  EXPECT_EQ(missing.code, kExitFail);
  EXPECT_EQ(missing.out,
            "Deleting the specified driver package from the machine failed\n"
            "because it is not an third-party package.\n");

  for (const char* bad : {"usbaudio.inf", "oem.inf", "oem1x.inf", "oem12.inf.bak"}) {
    Result invalid = Execute(machine, {"dp_delete", bad});
    EXPECT_EQ(invalid.code, kExitFail) << bad;
    EXPECT_EQ(invalid.out, "The specified INF path is not valid.\n") << bad;
  }
  EXPECT_EQ(Execute(machine, {"dp_delete"}).code, kExitUsage);
  EXPECT_EQ(Execute(machine, {"dp_delete", "oem7.inf", "oem9.inf"}).code, kExitUsage);
  EXPECT_EQ(machine.packages.size(), 3u);
  EXPECT_EQ(Execute(machine, {"dp_delete", "oem7.inf"}).code, kExitOk);
}

TEST(RescanTest, CompletesUnlessTheScanFails) {
  Machine machine;
  Result ok = Execute(machine, {"rescan", "ignored"});
  EXPECT_EQ(ok.code, kExitOk);
  EXPECT_EQ(ok.out, "Scanning for new hardware.\nScanning completed.\n");
  Result failed = Execute(machine, {"rescan"}, true);
  EXPECT_EQ(failed.code, kExitFail);
  EXPECT_EQ(failed.out, "Scanning for new hardware.\n");
}

TEST(StateFileTest, ParsesFaults) {
  Machine machine = ParseOrDie(
      "fault rescan exit 2\n"
      "fault findall:*VID_3F7C* exit -1\n"
      "fault remove:@ROOT\\A B:1 crash\n"
      "fault DP_ENUM sleep 2000\n"
      "fault rescan scan-fails\n");
  ASSERT_EQ(machine.faults.size(), 5u);
  EXPECT_EQ(machine.faults[0].command, "rescan");
  EXPECT_FALSE(machine.faults[0].argument.has_value());
  EXPECT_EQ(machine.faults[0].value, 2);
  EXPECT_EQ(machine.faults[1].argument.value_or(""), "*VID_3F7C*");
  EXPECT_EQ(machine.faults[1].value, -1);
  EXPECT_EQ(machine.faults[2].argument.value_or(""), "@ROOT\\A B:1");
  EXPECT_EQ(machine.faults[2].action, FaultAction::kCrash);
  EXPECT_EQ(machine.faults[3].action, FaultAction::kSleep);
  EXPECT_EQ(machine.faults[3].value, 2000);
  EXPECT_EQ(machine.faults[4].action, FaultAction::kScanFails);

  for (const char* bad : {"fault rescan\n", "fault rescan exit\n", "fault rescan exit two\n",
                          "fault rescan explode\n", "fault dp_enum scan-fails\n",
                          "fault rescan sleep -5\n", "fault a b crash\n"}) {
    EXPECT_NE(ParseError(bad).find("line 1:"), std::string::npos) << bad;
  }
}

TEST(StateFileTest, RejectsWhatItDoesNotUnderstand) {
  EXPECT_EQ(ParseError("# c\n\n  hardware X\n").substr(0, 7), "line 3:");
  EXPECT_EQ(ParseError("device A\n  colour red\n").substr(0, 7), "line 2:");
  EXPECT_EQ(ParseError("device A\n  description x\n  description y\n").substr(0, 7), "line 3:");
  EXPECT_EQ(ParseError("device A\n  absent yes\n").substr(0, 7), "line 2:");
  EXPECT_EQ(ParseError("package oem1.inf\n  absent\n").substr(0, 7), "line 2:");
  EXPECT_EQ(ParseError("device\n").substr(0, 7), "line 1:");
  EXPECT_EQ(ParseError("widget W\n").substr(0, 7), "line 1:");
  EXPECT_EQ(ParseError("fault rescan exit 2\n  absent\n").substr(0, 7), "line 2:");
  EXPECT_EQ(ParseError("strict-remove\nstrict-remove\n").substr(0, 7), "line 2:");
  EXPECT_EQ(ParseError("strict-remove yes\n").substr(0, 7), "line 1:");
  EXPECT_EQ(ParseError("device A\n  strict-remove\n").substr(0, 7), "line 2:");
}

TEST(StateFileTest, KeepsValuesExactlyAndRoundTrips) {
  Machine machine = ParseOrDie(
      "\xEF\xBB\xBF"
      "device A\\B\\1\r\n"
      "\tdescription   spaced  \r\n"
      "  hardware \r\n"
      "device C\\D\\2\r\n"
      "  description\r\n");
  ASSERT_EQ(machine.devices.size(), 2u);
  EXPECT_EQ(machine.devices[0].instance_id, "A\\B\\1");
  EXPECT_EQ(machine.devices[0].description.value_or("?"), "  spaced  ");
  EXPECT_EQ(machine.devices[0].hardware_ids, std::vector<std::string>{""});
  EXPECT_EQ(machine.devices[1].description.value_or("?"), "");

  Machine sample = ParseOrDie(std::string(kSampleMachine) +
                              "fault findall:*VID_3F7C* exit 2\nfault rescan scan-fails\n"
                              "strict-remove\ndevice E\\F\\3\n  remove-on-reboot\n");
  EXPECT_TRUE(sample.strict_remove);
  EXPECT_TRUE(sample.devices.back().remove_on_reboot);
  for (const Machine& original : {machine, sample}) {
    std::string text = SerialiseMachine(original);
    EXPECT_EQ(ParseOrDie(text), original) << text;
    EXPECT_EQ(SerialiseMachine(ParseOrDie(text)), text);
  }
}

// RunDevcon end to end, with real files in a scratch directory.
class RunDevconTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string base = ::testing::TempDir() + "devcon_sim_" +
                       ::testing::UnitTest::GetInstance()->current_test_info()->name();
    state_path_ = base + ".state";
    log_path_ = base + ".log";
    std::remove(state_path_.c_str());
    std::remove(log_path_.c_str());
  }

  void WriteState(const std::string& text) {
    std::ofstream(state_path_, std::ios::binary) << text;
  }

  static std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
  }

  Result Run(const std::vector<std::string>& args) {
    Result result{0, "", "", false};
    result.code = RunDevcon(args, state_path_, log_path_, result.out, result.err);
    return result;
  }

  std::string state_path_;
  std::string log_path_;
};

TEST_F(RunDevconTest, LogsEveryRunAndRewritesTheState) {
  WriteState(kSampleMachine);
  EXPECT_EQ(Run({"-f", "dp_delete", "oem12.inf"}).code, kExitOk);
  EXPECT_EQ(Run({"remove", "@ROOT\\LEGACY\\0000"}).code, kExitOk);
  EXPECT_EQ(Run({"findall", "*"}).code, kExitOk);
  EXPECT_EQ(Read(log_path_),
            "-f\tdp_delete\toem12.inf\nremove\t@ROOT\\LEGACY\\0000\nfindall\t*\n");

  Machine expected = ParseOrDie(kSampleMachine);
  expected.packages.erase(expected.packages.begin());
  expected.devices.pop_back();
  EXPECT_EQ(ParseOrDie(Read(state_path_)), expected);
}

TEST_F(RunDevconTest, MissingStateIsAnEmptyMachineAndBadStateIsLoud) {
  Result empty = Run({"findall", "*"});
  EXPECT_EQ(empty.code, kExitOk);
  EXPECT_EQ(empty.out, "No matching devices found.\n");

  WriteState("device A\n  colour red\n");
  Result bad = Run({"rescan"});
  EXPECT_EQ(bad.code, kExitSimError);
  EXPECT_TRUE(bad.out.empty());
  EXPECT_NE(bad.err.find("line 2"), std::string::npos);
  EXPECT_EQ(Read(log_path_), "findall\t*\nrescan\n");  // logged before the state was read
}

TEST_F(RunDevconTest, FaultsMatchCommandAndFirstArgument) {
  WriteState(std::string(kSampleMachine) +
             "fault FINDALL:*vid_3f7c* exit 7\n"
             "fault dp_enum sleep 150\n"
             "fault rescan scan-fails\n");
  Result faulted = Run({"/findall", "*VID_3F7C*"});
  EXPECT_EQ(faulted.code, 7);
  EXPECT_TRUE(faulted.out.empty());
  EXPECT_TRUE(faulted.err.empty());
  EXPECT_EQ(Run({"findall", "ROOT\\LEGACY"}).code, kExitOk);
  EXPECT_EQ(Run({"findall", "x", "*VID_3F7C*"}).code, kExitOk);  // first argument only

  auto start = std::chrono::steady_clock::now();
  Result slow = Run({"dp_enum"});
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(150));
  EXPECT_EQ(slow.code, kExitOk);
  EXPECT_EQ(slow.out.substr(0, 20), "The following third-");

  Result scan = Run({"rescan"});
  EXPECT_EQ(scan.code, kExitFail);
  EXPECT_EQ(scan.out, "Scanning for new hardware.\n");
  EXPECT_EQ(scan.err, "devcon: command rescan failed\n");
  EXPECT_EQ(Read(log_path_), "/findall\t*VID_3F7C*\nfindall\tROOT\\LEGACY\nfindall\tx\t*VID_3F7C*\n"
                             "dp_enum\nrescan\n");
}

TEST_F(RunDevconTest, CrashFaultKillsTheProcessAfterLogging) {
  WriteState("fault remove crash\n");
  EXPECT_DEATH(Run({"remove", "@X"}), "");
  EXPECT_EQ(Read(log_path_), "remove\t@X\n");
  EXPECT_EQ(Read(state_path_), "fault remove crash\n");
}

}  // namespace
}  // namespace devcon_sim
