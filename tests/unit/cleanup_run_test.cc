#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "run/cleanup_run.h"
#include "tests/unit/fakes.h"

namespace {

class RunCleanupTest : public FakeSystemTest {
 protected:
  // Listing files of an earlier run (or of another machine, in a shared
  // folder), each naming the maker's items.
  static void WriteStaleListings() {
    WriteFile("devicelist.txt", "USB\\VID_3F7C&PID_0A01\\1: Kovex Headset\r\n");
    WriteFile("audiodevicelist.txt", "SWD\\MMDEVAPI\\{a}: Speakers (Kovex)\r\n");
    WriteFile("driverlist.txt", "oem12.inf\r\n    Provider: Kovex Inc\r\n");
  }
};

// "Jun 21 2021 11:52:20": the compiler's build date (day padded with a
// blank below 10) and time.
bool IsBuildStamp(const std::string& stamp) {
  static const std::string months = "JanFebMarAprMayJunJulAugSepOctNovDec";
  const std::string shape = "Mmm Dd YYYY hh:mm:ss";
  if (stamp.size() != shape.size()) return false;
  const std::string::size_type month = months.find(stamp.substr(0, 3));
  if (month == std::string::npos || month % 3 != 0) return false;
  for (std::size_t i = 3; i < shape.size(); ++i) {
    const char c = stamp[i];
    const bool digit = c >= '0' && c <= '9';
    switch (shape[i]) {
      case 'D': if (!(c == ' ' || (c >= '1' && c <= '3'))) return false; break;
      case ' ': case ':': if (c != shape[i]) return false; break;
      default: if (!digit) return false; break;
    }
  }
  return true;
}

// The banner line, checked by its shape, and the rest of the output.
std::string AfterBanner(const std::string& output) {
  const std::string head = "Deep Clean Kovex Drivers (";
  const std::string::size_type end = output.find(")\n");
  EXPECT_EQ(0u, output.find(head)) << output;
  EXPECT_NE(std::string::npos, end) << output;
  if (end == std::string::npos) return output;
  EXPECT_TRUE(IsBuildStamp(output.substr(head.size(), end - head.size())))
      << output.substr(0, end);
  return output.substr(end + 2);
}

// The four listings, in the order the run makes them.
const std::vector<std::wstring> kListingRuns = {
    L" /D /C devcon -u findall *VID_3F7C* > devicelist.txt",
    L" /D /C devcon -u findall *QZV* >> devicelist.txt",
    L" /D /C devcon -u findall *MMDEVAPI* > audiodevicelist.txt",
    L" /D /C devcon -u /dp_enum > driverlist.txt"};

// What a run prints when no listing could be read, `rescan` being what the
// rescan printed.
std::string NothingListed(const std::string& rescan) {
  return "Removing devices...\n"
         "Removing audio devices...\n"
         "Scanning installed drivers...\n"
         "Removing driver files...\n"
         "Removing driver installer registry...\n"
         "Rescannig...\n" +
         rescan + "Done.\n";
}

}  // namespace

TEST_F(RunCleanupTest, CleanMachineShowsHeadingsInStepOrder) {
  fake_registry.open_result = 2;
  RunCleanup();
  EXPECT_EQ(
      "Removing devices...\n"
      "Removing audio devices...\n"
      "Scanning installed drivers...\n"
      "Cleanning up driver packages...\n"
      "Removing driver files...\n"
      "Removing driver installer registry...\n"
      "Rescannig...\n"
      "Done.\n",
      AfterBanner(printed));
  EXPECT_EQ((std::vector<std::wstring>{
                L" /D /C devcon -u findall *VID_3F7C* > devicelist.txt",
                L" /D /C devcon -u findall *QZV* >> devicelist.txt",
                L" /D /C devcon -u findall *MMDEVAPI* > audiodevicelist.txt",
                L" /D /C devcon -u /dp_enum > driverlist.txt",
                L" /D /C del /F %WINDIR%\\system32\\drivers\\KxDev_*.sys ",
                L" /D /C del /F %WINDIR%\\system32\\drivers\\KxCommon.sys ",
                L" rescan "}),
            fake_runner.ParametersRun());
  // The interpreter by its full path, every time; devcon by bare name.
  std::vector<std::wstring> programs;
  for (const RecordedRun& run : fake_runner.runs) programs.push_back(run.program);
  std::vector<std::wstring> expected(6, kInterpreterPath);
  expected.push_back(L"devcon");
  EXPECT_EQ(expected, programs);
}

TEST_F(RunCleanupTest, NothingLaunchableStillEndsWithDone) {
  fake_runner.unlaunchable = {kInterpreterPath, L"devcon"};
  fake_runner.launch_error = 1400;
  fake_registry.open_result = 5;
  RunCleanup();
  const std::string report =
      "\t \t Failed to launch process Error Code 1400: "
      "The system cannot find the file specified.\r\n\n";
  EXPECT_EQ("Removing devices...\n" + report + report +
                "Removing audio devices...\n" + report +
                "Scanning installed drivers...\n" + report +
                "Removing driver files...\n" + report + report +
                "Removing driver installer registry...\n"
                "Rescannig...\n" + report + "Done.\n",
            AfterBanner(printed));
}

TEST_F(RunCleanupTest, ListingsFailingAndDevconMissingPrintHeadingsAndReport) {
  for (const std::wstring& listing : kListingRuns) {
    fake_runner.statuses[listing] = 9009;
  }
  fake_runner.unlaunchable = {L"devcon"};
  RunCleanup();
  EXPECT_EQ(NothingListed("\t \t Failed to launch process Error Code 2: "
                          "The system cannot find the file specified.\r\n\n"),
            AfterBanner(printed));
}

namespace {

std::vector<std::wstring> DevconRuns() {
  std::vector<std::wstring> runs;
  for (const RecordedRun& run : fake_runner.runs) {
    if (run.program == L"devcon") runs.push_back(run.parameters);
  }
  return runs;
}

}  // namespace

TEST_F(RunCleanupTest, ListingsReportingSuccessWithoutTheirFileActOnNothing) {
  // As when the interpreter wrote them into another folder (a UNC working
  // directory): the stale files here must not be read in their place.
  WriteStaleListings();
  fake_runner.unwritten.insert(kListingRuns.begin(), kListingRuns.end());
  fake_registry.open_result = 2;

  RunCleanup();

  EXPECT_EQ((std::vector<std::wstring>{L" rescan "}), DevconRuns());
  EXPECT_EQ(NothingListed(""), AfterBanner(printed));
  // Each file a ">" creates is deleted first; the appended one is not.
  EXPECT_EQ((std::vector<std::string>{"devicelist.txt", "audiodevicelist.txt",
                                      "driverlist.txt"}),
            fake_files.deletions);
}

TEST_F(RunCleanupTest, ListingFilesThatCannotBeDeletedAreNeverRead) {
  WriteStaleListings();
  fake_files.undeletable = {"devicelist.txt", "audiodevicelist.txt",
                            "driverlist.txt"};
  // Were the listings run all the same, they would name the maker's items.
  fake_runner.listings[L"findall *VID_3F7C*"] =
      "USB\\VID_3F7C&PID_0B02\\7: Kovex Mouse\r\n";
  fake_runner.listings[L"findall *MMDEVAPI*"] =
      "SWD\\MMDEVAPI\\{b}: Speakers (Kovex)\r\n";
  fake_runner.listings[L"/dp_enum"] = "oem7.inf\r\n    Provider: Kovex Inc\r\n";
  fake_registry.open_result = 2;

  RunCleanup();

  EXPECT_EQ((std::vector<std::wstring>{L" rescan "}), DevconRuns());
  EXPECT_EQ(NothingListed(""), AfterBanner(printed));
  // Only the appending listing ran, into a file that is never read.
  for (const std::wstring& run : fake_runner.ParametersRun()) {
    EXPECT_EQ(std::wstring::npos, run.find(L" > "));
  }
  EXPECT_EQ("SWD\\MMDEVAPI\\{a}: Speakers (Kovex)\r\n",
            ReadFile("audiodevicelist.txt"));
}

TEST_F(RunCleanupTest, AnotherCleanupPastTheDeadlineLeavesThisOneActingOnNothing) {
  // Its listing files, of the other run, stay; nothing is started or deleted.
  WriteStaleListings();
  fake_runner.lock_free_at_ms = ~0ull;

  RunCleanup();

  const std::string not_started = "\t Not started, the run's 1500 s are spent: ";
  const std::string interpreter = "C:\\Windows\\system32\\cmd.exe /D /C ";
  EXPECT_EQ("Waiting for the cleanup already running on this machine to end (within the "
            "run's 1500 s)...\n"
            "Removing devices...\n" +
                not_started + interpreter + "devcon -u findall *VID_3F7C* > devicelist.txt\n" +
                not_started + interpreter + "devcon -u findall *QZV* >> devicelist.txt\n" +
                "Removing audio devices...\n" + not_started + interpreter +
                "devcon -u findall *MMDEVAPI* > audiodevicelist.txt\n"
                "Scanning installed drivers...\n" +
                not_started + interpreter + "devcon -u /dp_enum > driverlist.txt\n"
                "Removing driver files...\n" +
                not_started + interpreter + "del /F %WINDIR%\\system32\\drivers\\KxDev_*.sys \n" +
                not_started + interpreter + "del /F %WINDIR%\\system32\\drivers\\KxCommon.sys \n"
                "Removing driver installer registry...\n" +
                not_started + "the installer subkeys of HKLM\\Software\\Kovex\n"
                "Rescannig...\n" +
                not_started + "devcon rescan \n"
                "Done.\n",
            AfterBanner(printed));
  EXPECT_TRUE(fake_runner.runs.empty());
  EXPECT_TRUE(fake_files.deletions.empty());
  EXPECT_TRUE(fake_registry.opened_path.empty());
  EXPECT_EQ("USB\\VID_3F7C&PID_0A01\\1: Kovex Headset\r\n", ReadFile("devicelist.txt"));
}
