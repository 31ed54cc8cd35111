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
const char kTm[] = "\xE2\x84\xA2";  // U+2122, beyond one byte

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

// An instance ID as printf("%-60s: ...") pads it.
std::string Pad(const std::string& id) { return id + std::string(60 - id.size(), ' ') + ": "; }

// UTF-16LE bytes of ASCII text, with \n as CR LF, and of single characters.
std::string Wide(const std::string& ascii) {
  std::string bytes;
  for (char c : ascii) {
    if (c == '\n') bytes += std::string("\r\0\n\0", 4);
    else bytes += std::string(1, c) + '\0';
  }
  return bytes;
}

struct Result {
  int code;
  std::string out;
  std::string err;
  bool changed;
};

Result Execute(Machine& machine, const std::vector<std::string>& args, bool scan_fails = false) {
  Result result{0, "", "", false};
  result.code = ExecuteCommand("devcon", ParseCommandLine(args), machine, scan_fails, result.out,
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
  Device& headset = machine.devices[0];  // absent
  EXPECT_TRUE(DeviceMatches(headset, std::string("@") + kHeadsetId, false));
  EXPECT_TRUE(DeviceMatches(headset, "@usb\\vid_3f7c&pid_0a01\\6&2b1c&0&1", false));
  EXPECT_FALSE(DeviceMatches(headset, "@USB\\VID_3F7C&PID_0A01", true));  // exact, not prefix
  EXPECT_FALSE(DeviceMatches(headset, "@*6&2B1C*", false));  // wildcard: present devices only
  EXPECT_TRUE(DeviceMatches(headset, "@*6&2B1C*", true));
  EXPECT_FALSE(DeviceMatches(headset, "@USB\\VID_3F7C&PID_0A01&REV_0100", true));
  // A removed device has no instance: nothing opens it, not even an exact @instance.
  headset.absent = false;
  headset.removed = true;
  EXPECT_FALSE(DeviceMatches(headset, std::string("@") + kHeadsetId, true));
  EXPECT_FALSE(DeviceMatches(headset, "*VID_3F7C*", true));
}

TEST(CommandLineTest, OptionsPrecedeTheCommand) {
  CommandLine cl = ParseCommandLine({"-F", "/r", "-U", "-m:\\\\box", "/DP_ENUM", "-f", "x"});
  EXPECT_TRUE(cl.force);
  EXPECT_TRUE(cl.reboot);
  EXPECT_TRUE(cl.unicode);
  EXPECT_FALSE(cl.bad_option);
  EXPECT_EQ(cl.machine, "\\\\box");
  ASSERT_TRUE(cl.command.has_value());
  EXPECT_EQ(*cl.command, "DP_ENUM");
  EXPECT_EQ(cl.arguments, (std::vector<std::string>{"-f", "x"}));

  // "-fx" is not the -f option: it is the command "fx". "-m:" alone is no machine.
  CommandLine odd = ParseCommandLine({"-fx", "remove"});
  EXPECT_FALSE(odd.force);
  EXPECT_EQ(odd.command.value_or(""), "fx");
  EXPECT_TRUE(ParseCommandLine({"-m:", "findall", "*"}).bad_option);
}

TEST(EncodeOutputTest, OneBytePerCharacterUntilTheFirstBeyondIt) {
  struct Row {
    const char* name;
    std::string text;
    std::string bytes;
  } rows[] = {
      {"latin-1 kept", "caf\xC3\xA9 \xC2\xAE\n", "caf\xE9 \xAE\r\n"},
      {"cut loses the rest and the line end",
       std::string("Pulse") + kTm + " Headset \xC3\xA9\nnext\n", "Pulsenext\r\n"},
      {"cut on the last line", std::string("a\nb") + kTm + "c\n", "a\r\nb"},
      {"bytes that are not UTF-8 cut too", "ab\xFF" "cd\nef\n", "abef\r\n"},
      {"truncated sequence", "ab\xC3", "ab"},
      {"no line end", "tail", "tail"},
  };
  for (const Row& row : rows) EXPECT_EQ(EncodeOutput(row.text, false), row.bytes) << row.name;
}

TEST(EncodeOutputTest, UnicodeIsUtf16LittleEndianWithoutByteOrderMark) {
  EXPECT_EQ(EncodeOutput(std::string("P") + kTm + "\xC3\xA9\n", true),
            std::string("P\0\x22\x21\xE9\0\r\0\n\0", 10));
  EXPECT_EQ(EncodeOutput("\xF0\x9F\x8E\xA7", true), "\x3C\xD8\xA7\xDF");  // U+1F3A7: a pair
  EXPECT_EQ(EncodeOutput("", true), "");
}

TEST(ProgramNameTest, DropsTheFolder) {
  EXPECT_EQ(ProgramName("C:\\tools\\devcon.exe"), "devcon.exe");
  EXPECT_EQ(ProgramName("devcon"), "devcon");
  EXPECT_EQ(ProgramName("/usr/bin/devcon"), "devcon");
}

// The whole program, with real files in a scratch directory: the bytes it writes.
class RunDevconTest : public ::testing::Test {
 protected:
  struct Row {
    const char* name;
    std::vector<std::string> args;
    int code;
    std::string out;
    std::string err;
  };

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

  Result Run(const std::vector<std::string>& args, const std::string& program = "devcon") {
    Result result{0, "", "", false};
    result.code = RunDevcon(program, args, state_path_, log_path_, result.out, result.err);
    return result;
  }

  // Each row on a fresh copy of `machine`.
  void ExpectRows(const std::string& machine, const std::vector<Row>& rows) {
    for (const Row& row : rows) {
      WriteState(machine);
      Result r = Run(row.args);
      EXPECT_EQ(r.code, row.code) << row.name;
      EXPECT_EQ(r.out, row.out) << row.name;
      EXPECT_EQ(r.err, row.err) << row.name;
    }
  }

  std::string state_path_;
  std::string log_path_;
};

const char kA2[] = "USB\\VID_3F7C&PID_0A01\\6&2B1C&0&2";
const char kA3[] = "USB\\VID_3F7C&PID_0B10\\7&1&0&3";

TEST_F(RunDevconTest, FindAllWritesWhatTheRealOneWrites) {
  const std::string machine = std::string("device ") + kA2 +
                              "\n  description Kovex Pulse" + kTm +
                              " Headset\n  hardware USB\\VID_3F7C&PID_0A01\n"
                              "device " + kA3 + "\n  description Kovex Glide Mouse (caf\xC3\xA9)\n"
                              "  hardware USB\\VID_3F7C&PID_0B10\n  absent\n"
                              "device ROOT\\LEGACY\\0000\n  hardware ROOT\\LEGACY\n";
  const std::string usage =
      "devcon: Invalid use of findall.\r\nFor more information, type: devcon help findall\r\n";
  ExpectRows(machine, {
      {"the cut line glues the next one", {"findall", "*VID_3F7C*"}, 0,
       Pad(kA2) + "Kovex Pulse" + Pad(kA3) + "Kovex Glide Mouse (caf\xE9)\r\n" +
           "2 matching device(s) found.\r\n", ""},
      {"-u: every character, UTF-16LE", {"-u", "findall", "*PID_0A01*"}, 0,
       Wide(Pad(kA2) + "Kovex Pulse") + std::string("\x22\x21", 2) +
           Wide(" Headset\n1 matching device(s) found.\n"), ""},
      {"no description: the bare ID", {"findall", "root\\legacy", "@ROOT\\LEGACY\\0000"}, 0,
       "ROOT\\LEGACY\\0000\r\n1 matching device(s) found.\r\n", ""},
      {"nothing matches", {"findall", "*VID_0000*"}, 0, "No matching devices found.\r\n", ""},
      {"no pattern", {"findall"}, 3, "", usage},
      {"no pattern, -u", {"-u", "findall"}, 3, "",
       Wide("devcon: Invalid use of findall.\nFor more information, type: devcon help findall\n")},
  });
}

TEST_F(RunDevconTest, LongIdsAreNeverCut) {
  std::string long_id(70, 'X');
  WriteState("device " + long_id + "\n  description Long One\n  hardware H\n");
  EXPECT_EQ(Run({"findall", "h"}).out, long_id + ": Long One\r\n1 matching device(s) found.\r\n");
}

const char kStateMachine[] =
    "device HID\\QZV_PAD\\1\n  description QZV Pad\n  hardware HID\\QZV_PAD\n"
    "  driver-problem\n"
    "device USB\\VID_3F7C&PID_0F50\\5\n  description Kovex Wireless Dongle\n"
    "  hardware USB\\VID_3F7C&PID_0F50\n  problem 21\n  running\n"
    "device USB\\VID_3F7C&PID_0E40\\5\n  hardware USB\\VID_3F7C&PID_0E40\n  problem 28\n"
    "device USB\\VID_3F7C&PID_0B10\\7\n  description Kovex Glide Mouse\n"
    "  hardware USB\\VID_3F7C&PID_0B10\n  absent\n"
    "removed USB\\VID_3F7C&PID_0A01\\6\n  description Kovex Pulse Headset\n"
    "  hardware USB\\VID_3F7C&PID_0A01\n"
    "device USB\\VID_3F7C&PID_0C00\\1\n  description Stopped One\n"
    "  hardware USB\\VID_3F7C&PID_0C00\n  stopped\n"
    "device USB\\VID_3F7C&PID_0C10\\1\n  description Disabled One\n"
    "  hardware USB\\VID_3F7C&PID_0C10\n  problem 22\n"
    "device USB\\VID_3F7C&PID_0C20\\1\n  hardware USB\\VID_3F7C&PID_0C20\n"
    "  status-unreadable\n";

TEST_F(RunDevconTest, FindAndStatusSeePresentDevicesOnly) {
  ExpectRows(kStateMachine, {
      {"find", {"find", "*VID_3F7C*"}, 0,
       Pad("USB\\VID_3F7C&PID_0F50\\5") + "Kovex Wireless Dongle\r\n"
       "USB\\VID_3F7C&PID_0E40\\5\r\n" +
           Pad("USB\\VID_3F7C&PID_0C00\\1") + "Stopped One\r\n" +
           Pad("USB\\VID_3F7C&PID_0C10\\1") + "Disabled One\r\n"
           "USB\\VID_3F7C&PID_0C20\\1\r\n5 matching device(s) found.\r\n", ""},
      {"findall adds the unplugged one, not the removed one", {"findall", "*PID_0B10*",
       "*PID_0A01*"}, 0, Pad("USB\\VID_3F7C&PID_0B10\\7") + "Kovex Glide Mouse\r\n"
       "1 matching device(s) found.\r\n", ""},
      {"find opens no unplugged instance", {"find", "@USB\\VID_3F7C&PID_0B10\\7"}, 0,
       "No matching devices found.\r\n", ""},
      {"status: problems 21 and 28, stopped, disabled, unreadable", {"status", "*VID_3F7C*"}, 0,
       "USB\\VID_3F7C&PID_0F50\\5\r\n    Name: Kovex Wireless Dongle\r\n"
       "    The device has the following problem: 21\r\n    Driver is running.\r\n"
       "USB\\VID_3F7C&PID_0E40\\5\r\n    The device has the following problem: 28\r\n"
       "USB\\VID_3F7C&PID_0C00\\1\r\n    Name: Stopped One\r\n"
       "    Device is currently stopped.\r\n"
       "USB\\VID_3F7C&PID_0C10\\1\r\n    Name: Disabled One\r\n    Device is disabled.\r\n"
       "USB\\VID_3F7C&PID_0C20\\1\r\n    Error retrieving the device's status.\r\n"
       "5 matching device(s) found.\r\n", ""},
      {"status: a running driver's own problem", {"STATUS", "@hid\\qzv_pad\\1"}, 0,
       "HID\\QZV_PAD\\1\r\n    Name: QZV Pad\r\n"
       "    The driver reported a problem with the device.\r\n    Driver is running.\r\n"
       "1 matching device(s) found.\r\n", ""},
      {"status of an unplugged device", {"status", "@USB\\VID_3F7C&PID_0B10\\7"}, 0,
       "No matching devices found.\r\n", ""},
      {"status without a pattern", {"/status"}, 3, "",
       "devcon: Invalid use of status.\r\nFor more information, type: devcon help status\r\n"},
  });
}

TEST_F(RunDevconTest, DpEnumPrintsNameProviderAndClass) {
  ExpectRows(kSampleMachine, {
      {"three lines, unknown values, unreadable INF", {"/dp_enum"}, 0,
       "The following third-party driver packages are installed on this computer:\r\n"
       "oem12.inf\r\n    Provider: Kovex Inc\r\n    Class: Sound, video and game controllers\r\n"
       "oem7.inf\r\n    Provider: Kovex Inc\r\n    Class: unknown\r\n"
       "oem9.inf\r\n", ""},
      {"extra arguments", {"dp_enum", "extra"}, 3, "",
       "devcon: Invalid use of dp_enum.\r\nFor more information, type: devcon help dp_enum\r\n"},
  });
  ExpectRows("device A\n", {
      {"empty store", {"dp_enum"}, 0,
       "There are no third-party driver packages on this machine.\r\n", ""},
  });
}

TEST_F(RunDevconTest, DpDeleteTakesAPathAndIgnoresExtraArguments) {
  const std::string failed = "devcon: command dp_delete failed\r\n";
  const std::string because = "Deleting the specified driver package from the machine failed\r\n";
  ExpectRows(kSampleMachine, {
      {"a path", {"-f", "/dp_delete", "C:\\Windows\\INF\\OEM12.INF"}, 0,
       "Driver package 'OEM12.INF' deleted.\r\n", ""},
      {"extra arguments", {"dp_delete", "oem7.inf", "oem9.inf", "x"}, 0,
       "Driver package 'oem7.inf' deleted.\r\n", ""},
      {"in use, without -f", {"dp_delete", "oem12.inf"}, 2,
       because + "because it is in use by a device.\r\n", failed},
      {"failure without a reason: one line", {"-f", "dp_delete", "oem9.inf"}, 2,
       "Deleting the specified driver package from the machine failed.\r\n", failed},
      {"not oemN.inf: Windows refuses it", {"dp_delete", "usbaudio.inf"}, 2,
       because + "because it is not an third-party package.\r\n", failed},
      {"no such package", {"dp_delete", "oem44.inf"}, 2,
       because + "because it is not an third-party package.\r\n", failed},
      {"a path ending in a backslash", {"dp_delete", "C:\\Windows\\INF\\"}, 2,
       "The specified INF path is not valid.\r\n", failed},
      {"no argument", {"dp_delete"}, 3, "",
       "devcon: Invalid use of dp_delete.\r\nFor more information, type: devcon help dp_delete\r\n"},
  });
  WriteState(kSampleMachine);
  Run({"-f", "dp_delete", "C:\\Windows\\INF\\oem12.inf", "oem7.inf"});
  Machine expected = ParseOrDie(kSampleMachine);
  expected.packages.erase(expected.packages.begin());
  EXPECT_EQ(ParseOrDie(Read(state_path_)), expected);
}

TEST_F(RunDevconTest, ErrorTextsNameTheProgramAsStarted) {
  const std::string usage =
      "devcon Usage: devcon [-r] [-m:\\\\<machine>] <command> [<arg>...]\r\n"
      "For more information, type: devcon help\r\n";
  ExpectRows(kSampleMachine, {
      {"nothing", {}, 3, "", usage},
      {"options alone", {"-f", "-r"}, 3, "", usage},
      {"unknown command", {"frobnicate", "*"}, 3, "", usage},
      {"-fx is an unknown command", {"-fx", "remove", "*"}, 3, "", usage},
      {"-m: alone", {"-m:", "findall", "*"}, 3, "", usage},
      {"unreachable machine", {"-m:\\\\box", "findall", "*"}, 2, "",
       "devcon: command findall failed\r\n"},
      {"command named as given", {"/FindAll"}, 3, "",
       "devcon: Invalid use of FindAll.\r\nFor more information, type: devcon help FindAll\r\n"},
  });
  Result exe = Run({"-u", "bogus"}, "devcon.exe");
  EXPECT_EQ(exe.code, 3);
  EXPECT_EQ(exe.err, Wide("devcon.exe Usage: devcon.exe [-r] [-m:\\\\<machine>] <command> "
                          "[<arg>...]\nFor more information, type: devcon.exe help\n"));
  EXPECT_EQ(Run({"-ReScAn"}).code, kExitOk);
}

// A plugged-in device removed comes back at the rescan as its bus or Windows' own driver
// makes it, its endpoints with it; an unplugged one does not.
TEST_F(RunDevconTest, RescanRecreatesPluggedInDevicesAndTheirEndpoints) {
  WriteState(
      "device USB\\H\\1\n  description Kovex Pulse Headset\n  hardware USB\\VID_3F7C&PID_0A01\n"
      "  compatible USB\\Class_01\n  rescan-description USB Audio Device\n"
      "  rescan-driver usbaudio\n"
      "device SWD\\MMDEVAPI\\{1}\n  description Speakers (Kovex Pulse Headset)\n"
      "  hardware MMDEVAPI\\AudioEndpoints\n  parent USB\\H\\1\n  rescan-driver audioendpoint\n"
      "device HID\\P\\1\n  description QZV Control Pad\n  hardware HID\\QZV_PAD\n"
      "  rescan-description USB Input Device\n"
      "device USB\\M\\1\n  description Kovex Glide Mouse\n  hardware USB\\VID_3F7C&PID_0B10\n"
      "  absent\n"
      "device SWD\\MMDEVAPI\\{2}\n  description Microphone (Kovex Glide Mouse)\n"
      "  hardware MMDEVAPI\\AudioEndpoints\n  parent USB\\M\\1\n"
      "device ROOT\\KEEP\\0\n  description Kovex Virtual\n  hardware ROOT\\KOVEX\n");
  EXPECT_EQ(Run({"-f", "remove", "*VID_3F7C*", "*QZV*", "*MMDEVAPI*"}).code, kExitOk);
  EXPECT_EQ(Run({"-f", "remove", "@USB\\M\\1"}).out,
            Pad("USB\\M\\1") + "Removed\r\n1 device(s) were removed.\r\n");
  EXPECT_EQ(Run({"findall", "*"}).out,
            Pad("ROOT\\KEEP\\0") + "Kovex Virtual\r\n1 matching device(s) found.\r\n");

  Result scan = Run({"rescan", "ignored"});
  EXPECT_EQ(scan.code, kExitOk);
  EXPECT_EQ(scan.out, "Scanning for new hardware.\r\nScanning completed.\r\n");
  EXPECT_EQ(Run({"findall", "*"}).out,
            Pad("USB\\H\\1") + "USB Audio Device\r\n" + Pad("SWD\\MMDEVAPI\\{1}") +
                "Speakers (Kovex Pulse Headset)\r\n" + Pad("HID\\P\\1") +
                "USB Input Device\r\n" + Pad("ROOT\\KEEP\\0") + "Kovex Virtual\r\n" +
                "4 matching device(s) found.\r\n");
  EXPECT_EQ(Run({"status", "usb\\class_01", "hid\\qzv_pad"}).out,
            "USB\\H\\1\r\n    Name: USB Audio Device\r\n    Driver is running.\r\n"
            "HID\\P\\1\r\n    Name: USB Input Device\r\n"
            "    The device has the following problem: 28\r\n"
            "2 matching device(s) found.\r\n");
  // Once back, a device stays: the next rescan changes nothing.
  std::string state = Read(state_path_);
  Run({"rescan"});
  EXPECT_EQ(Read(state_path_), state);
}

TEST_F(RunDevconTest, FailedScanRecreatesNothing) {
  WriteState("removed USB\\H\\1\n  hardware H\nfault rescan scan-fails\n");
  Result scan = Run({"rescan"});
  EXPECT_EQ(scan.code, kExitFail);
  EXPECT_EQ(scan.out, "Scanning for new hardware.\r\n");
  EXPECT_EQ(scan.err, "devcon: command rescan failed\r\n");
  EXPECT_EQ(Run({"findall", "*"}).out, "No matching devices found.\r\n");
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

  // An exact @instance reaches the absent headset, which is then gone for good.
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
  // The plugged-in device waits for the rescan, no longer seen.
  ASSERT_EQ(machine.devices.size(), 3u);
  EXPECT_TRUE(machine.devices[2].removed);
  EXPECT_EQ(Execute(machine, {"remove", "ROOT\\LEGACY"}).out, "No devices were removed.\n");
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
  EXPECT_EQ(machine, ParseOrDie(kSampleMachine));
}

TEST(RemoveTest, RemovalWaitingForRebootLeavesTheDevicePresentWithProblem21) {
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
  EXPECT_TRUE(alone.changed);
  ASSERT_EQ(machine.devices.size(), 4u);
  EXPECT_TRUE(IsPresent(machine.devices[3]));
  EXPECT_EQ(machine.devices[3].problem, kProblemBeingRemoved);
  EXPECT_TRUE(machine.devices[3].running);
  EXPECT_FALSE(Execute(machine, {"-f", "remove", "@USB\\VID_3F7C&PID_0F50\\1"}).changed);

  // Removed beside waiting: the one goes, the reboot message and code win.
  Result mixed = Execute(machine, {"remove", "*PID_0F50*", "ROOT\\LEGACY"});
  EXPECT_EQ(mixed.code, kExitReboot);
  EXPECT_EQ(mixed.out, "ROOT\\LEGACY\\0000" + std::string(44, ' ') + ": Removed\n" +
                           "USB\\VID_3F7C&PID_0F50\\1" + std::string(37, ' ') +
                           ": Removed on reboot\n" + reboot);
  EXPECT_TRUE(mixed.changed);

  // A strict machine keeps the reboot code, but a failure beside it is a failure.
  machine.strict_remove = true;
  EXPECT_EQ(Execute(machine, {"remove", "*PID_0F50*"}).code, kExitReboot);
  EXPECT_EQ(Execute(machine, {"remove", "*PID_0F50*", "*PID_0B02*"}).code, kExitFail);
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
  // Lines the real program never prints have no keyword.
  EXPECT_EQ(ParseError("package oem1.inf\n  signer X\n").substr(0, 7), "line 2:");
  EXPECT_EQ(ParseError("removed A\n  absent\n").substr(0, 7), "line 2:");
  EXPECT_EQ(ParseError("device A\n  problem 0\n").substr(0, 7), "line 2:");
  EXPECT_EQ(ParseError("device A\n  problem 28\n  problem 21\n").substr(0, 7), "line 3:");
  EXPECT_EQ(ParseError("device A\n  parent\n").substr(0, 7), "line 2:");
  EXPECT_EQ(ParseError("device A\n  running\ndevice B\n").substr(0, 7), "line 1:");
  EXPECT_EQ(ParseError("device A\n  problem 28\n  stopped\n").substr(0, 7), "line 1:");
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
                              "strict-remove\ndevice E\\F\\3\n  remove-on-reboot\n"
                              "removed G\\H\\4\n  problem 21\n  running\n  driver-problem\n"
                              "  parent E\\F\\3\n  rescan-description USB Audio Device\n"
                              "  rescan-driver usbaudio\n  status-unreadable\n"
                              "device I\n  stopped\n");
  EXPECT_TRUE(sample.strict_remove);
  EXPECT_TRUE(sample.devices[3].remove_on_reboot);
  EXPECT_TRUE(sample.devices[4].removed);
  EXPECT_EQ(sample.devices[4].parent.value_or(""), "E\\F\\3");
  for (const Machine& original : {machine, sample}) {
    std::string text = SerialiseMachine(original);
    EXPECT_EQ(ParseOrDie(text), original) << text;
    EXPECT_EQ(SerialiseMachine(ParseOrDie(text)), text);
  }
}

TEST_F(RunDevconTest, LogsEveryRunAndRewritesTheState) {
  WriteState(kSampleMachine);
  EXPECT_EQ(Run({"-f", "dp_delete", "oem12.inf"}).code, kExitOk);
  EXPECT_EQ(Run({"remove", "@ROOT\\LEGACY\\0000"}).code, kExitOk);
  EXPECT_EQ(Run({"findall", "*"}).code, kExitOk);
  EXPECT_EQ(Read(log_path_),
            "-f\tdp_delete\toem12.inf\nremove\t@ROOT\\LEGACY\\0000\nfindall\t*\n");

  Machine expected = ParseOrDie(kSampleMachine);
  expected.packages.erase(expected.packages.begin());
  expected.devices.back().removed = true;
  EXPECT_EQ(ParseOrDie(Read(state_path_)), expected);
}

TEST_F(RunDevconTest, MissingStateIsAnEmptyMachineAndBadStateIsLoud) {
  Result empty = Run({"findall", "*"});
  EXPECT_EQ(empty.code, kExitOk);
  EXPECT_EQ(empty.out, "No matching devices found.\r\n");

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
  EXPECT_EQ(scan.out, "Scanning for new hardware.\r\n");
  EXPECT_EQ(scan.err, "devcon: command rescan failed\r\n");
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
