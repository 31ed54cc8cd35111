#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "steps/steps.h"
#include "tests/unit/fakes.h"

namespace {

const wchar_t kVendorListing[] =
    L" /D /C devcon -u findall *VID_3F7C* > devicelist.txt";
const wchar_t kBrandListing[] = L" /D /C devcon -u findall *QZV* >> devicelist.txt";
const wchar_t kAudioListing[] =
    L" /D /C devcon -u findall *MMDEVAPI* > audiodevicelist.txt";

std::string DeviceLine(const std::string& id, const std::string& description) {
  std::string line = id;
  if (line.size() < 60) line.resize(60, ' ');
  return line + ": " + description + "\r\n";
}

std::vector<std::wstring> Removals() {
  std::vector<std::wstring> removals;
  for (const RecordedRun& run : fake_runner.runs) {
    if (run.program == L"devcon") removals.push_back(run.parameters);
  }
  return removals;
}

std::wstring RemoveParameters(const std::string& id) {
  std::string padded = id;
  if (padded.size() < 60) padded.resize(60, ' ');
  return L" -f remove @" + std::wstring(padded.begin(), padded.end());
}

using RemoveDevicesTest = FakeSystemTest;
using RemoveAudioDevicesTest = FakeSystemTest;

}  // namespace

TEST_F(RemoveDevicesTest, BothListingsIntoOneFileEveryLineRemoved) {
  fake_runner.listings[L"findall *VID_3F7C*"] =
      DeviceLine("USB\\VID_3F7C&PID_0A01\\1", "Kovex Headset") +
      DeviceLine("USB\\VID_3F7C&PID_0B02\\7", "Kovex Mouse") +
      "2 matching device(s) found.\r\n";
  fake_runner.listings[L"findall *QZV*"] =
      DeviceLine("HID\\QZV_PAD\\2", "QZV Pad: Wireless") +
      DeviceLine("USB\\VID_3F7C&PID_0A01\\1", "Kovex Headset") +
      "2 matching device(s) found.\r\n";
  fake_runner.statuses[RemoveParameters("USB\\VID_3F7C&PID_0B02\\7")] = 2;

  RemoveDevices();

  ASSERT_GE(fake_runner.runs.size(), 2u);
  EXPECT_EQ(kVendorListing, fake_runner.runs[0].parameters);
  EXPECT_EQ(kBrandListing, fake_runner.runs[1].parameters);
  // The instance matching both patterns is listed, removed and reported twice.
  EXPECT_EQ((std::vector<std::wstring>{
                RemoveParameters("USB\\VID_3F7C&PID_0A01\\1"),
                RemoveParameters("USB\\VID_3F7C&PID_0B02\\7"),
                RemoveParameters("HID\\QZV_PAD\\2"),
                RemoveParameters("USB\\VID_3F7C&PID_0A01\\1")}),
            Removals());
  EXPECT_EQ(
      "Removing devices...\n"
      "\t Removed :  Kovex Headset\n"
      "\t !!! Remove FAILED :  Kovex Mouse\n"
      "\t Removed :  QZV Pad: Wireless\n"
      "\t Removed :  Kovex Headset\n",
      printed);
}

TEST_F(RemoveDevicesTest, ListedDevicesGoWhateverTheirDescriptionNames) {
  // Windows' generic descriptions name neither the maker nor the brand.
  fake_runner.listings[L"findall *VID_3F7C*"] =
      DeviceLine("USB\\VID_3F7C&PID_0E40\\5", "USB Composite Device");
  fake_runner.listings[L"findall *QZV*"] =
      DeviceLine("HID\\QZV_PAD&COL02\\3", "HID-compliant consumer control");
  RemoveDevices();
  EXPECT_EQ((std::vector<std::wstring>{
                RemoveParameters("USB\\VID_3F7C&PID_0E40\\5"),
                RemoveParameters("HID\\QZV_PAD&COL02\\3")}),
            Removals());
  EXPECT_EQ(
      "Removing devices...\n"
      "\t Removed :  USB Composite Device\n"
      "\t Removed :  HID-compliant consumer control\n",
      printed);
}

TEST_F(RemoveDevicesTest, RemovalWaitingForARebootIsReportedFailed) {
  // devcon's status 1: the device goes only when the machine restarts.
  fake_runner.listings[L"findall *VID_3F7C*"] =
      DeviceLine("USB\\VID_3F7C&PID_0F50\\5", "Kovex Wireless Dongle");
  fake_runner.statuses[RemoveParameters("USB\\VID_3F7C&PID_0F50\\5")] = 1;
  RemoveDevices();
  EXPECT_EQ("Removing devices...\n\t !!! Remove FAILED :  Kovex Wireless Dongle\n",
            printed);
}

TEST_F(RemoveDevicesTest, FailedFirstListingRemovesNothingThoughSecondRan) {
  fake_runner.listings[L"findall *QZV*"] =
      DeviceLine("HID\\QZV_PAD\\2", "QZV Pad");
  fake_runner.statuses[kVendorListing] = 2;
  RemoveDevices();
  EXPECT_EQ((std::vector<std::wstring>{kVendorListing, kBrandListing}),
            fake_runner.ParametersRun());
  EXPECT_EQ("Removing devices...\n", printed);
}

TEST_F(RemoveDevicesTest, FailedSecondListingGoesUnnoticed) {
  fake_runner.listings[L"findall *VID_3F7C*"] =
      DeviceLine("USB\\VID_3F7C&PID_0A01\\1", "Kovex Headset");
  fake_runner.statuses[kBrandListing] = 2;
  RemoveDevices();
  EXPECT_EQ(1u, Removals().size());
  EXPECT_EQ("Removing devices...\n\t Removed :  Kovex Headset\n", printed);
}

TEST_F(RemoveDevicesTest, NoMatchingDevicesPrintsHeadingOnly) {
  fake_runner.listings[L"findall *VID_3F7C*"] = "No matching devices found.\r\n";
  fake_runner.listings[L"findall *QZV*"] = "No matching devices found.\r\n";
  RemoveDevices();
  EXPECT_TRUE(Removals().empty());
  EXPECT_EQ("Removing devices...\n", printed);
}

TEST_F(RemoveDevicesTest, DeviceWithoutDescriptionHasNoColonAndIsPassedOver) {
  fake_runner.listings[L"findall *VID_3F7C*"] =
      "USB\\VID_3F7C&PID_0C03\\9\r\n1 matching device(s) found.\r\n";
  RemoveDevices();
  EXPECT_TRUE(Removals().empty());
  EXPECT_EQ("Removing devices...\n", printed);
}

TEST_F(RemoveAudioDevicesTest, RemovesLinesNamingMakerOrBrandOnly) {
  fake_runner.listings[L"findall *MMDEVAPI*"] =
      DeviceLine("SWD\\MMDEVAPI\\{0.0.0.00000000}.{a1}", "Speakers (Kovex Headset)") +
      DeviceLine("SWD\\MMDEVAPI\\{0.0.1.00000000}.{b2}", "Microphone (QZV Cam)") +
      DeviceLine("SWD\\MMDEVAPI\\{0.0.0.00000000}.{c3}", "Speakers (Realtime Audio)") +
      DeviceLine("SWD\\MMDEVAPI\\{0.0.0.00000000}.{d4}", "Speakers (KOVEX Pro)") +
      DeviceLine("SWD\\MMDEVAPI\\{0.0.0.00000000}.{e5}", "Speakers (kovex)") +
      "SWD\\MMDEVAPI\\Kovex-without-description\r\n"
      "5 matching device(s) found.\r\n";
  fake_runner.statuses[RemoveParameters("SWD\\MMDEVAPI\\{0.0.1.00000000}.{b2}")] = -1;

  RemoveAudioDevices();

  EXPECT_EQ(kAudioListing, fake_runner.runs.at(0).parameters);
  EXPECT_EQ((std::vector<std::wstring>{
                RemoveParameters("SWD\\MMDEVAPI\\{0.0.0.00000000}.{a1}"),
                RemoveParameters("SWD\\MMDEVAPI\\{0.0.1.00000000}.{b2}")}),
            Removals());
  EXPECT_EQ(
      "Removing audio devices...\n"
      "\t Removed :  Speakers (Kovex Headset)\n"
      "\t !!! Remove FAILED :  Microphone (QZV Cam)\n",
      printed);
}

TEST_F(RemoveAudioDevicesTest, MakerNamedInInstanceIdCountsToo) {
  fake_runner.listings[L"findall *MMDEVAPI*"] =
      "SWD\\MMDEVAPI\\QZV.1: Speakers\r\n";
  RemoveAudioDevices();
  EXPECT_EQ((std::vector<std::wstring>{L" -f remove @SWD\\MMDEVAPI\\QZV.1"}),
            Removals());
}

TEST_F(RemoveAudioDevicesTest, UnlaunchableListingSkipsTheStaleFile) {
  // The interpreter never ran, so last run's file is still there.
  WriteFile("audiodevicelist.txt", "SWD\\MMDEVAPI\\1: Kovex Speakers\r\n");
  fake_runner.unlaunchable.insert(kInterpreterPath);
  RemoveAudioDevices();
  EXPECT_TRUE(Removals().empty());
  EXPECT_EQ(
      "Removing audio devices...\n"
      "\t \t Failed to launch process Error Code 2: "
      "The system cannot find the file specified.\r\n\n",
      printed);
}

TEST_F(RemoveAudioDevicesTest, FailedListingRemovesNothingThatItListed) {
  // devcon wrote an endpoint, then failed: the interpreter hands on its
  // status, and a failed listing is no list of what to remove.
  fake_runner.listings[L"findall *MMDEVAPI*"] =
      DeviceLine("SWD\\MMDEVAPI\\{0.0.0.00000000}.{a1}", "Speakers (Kovex Headset)");
  fake_runner.statuses[kAudioListing] = 1;
  RemoveAudioDevices();
  EXPECT_TRUE(Removals().empty());
  EXPECT_EQ("Removing audio devices...\n", printed);
}

TEST_F(RemoveAudioDevicesTest, GluedLineCountsOnlyTheFirstEndpointsOwnPart) {
  // A devcon without -u cut each first endpoint's description at a "™" and
  // glued the next line on: the maker's names after the second instance ID
  // are not the first endpoint's.
  fake_runner.devcon_knows_unicode = false;
  fake_runner.listings[L"findall *MMDEVAPI*"] =
      "SWD\\MMDEVAPI\\{0.0.0.00000000}.{o1}                          "
      ": Speakers (Realtek" +
      DeviceLine("SWD\\MMDEVAPI\\{0.0.0.00000000}.{k1}", "Speakers (Kovex Pulse)") +
      "SWD\\MMDEVAPI\\{0.0.1.00000000}.{k2}                          "
      ": Microphone (QZV" +
      DeviceLine("SWD\\MMDEVAPI\\{0.0.0.00000000}.{o2}", "Speakers (Other)") +
      "2 matching device(s) found.\r\n";

  RemoveAudioDevices();

  EXPECT_EQ((std::vector<std::wstring>{
                RemoveParameters("SWD\\MMDEVAPI\\{0.0.1.00000000}.{k2}")}),
            Removals());
  // Reported as before: the description is the rest of the line.
  EXPECT_EQ(
      "Removing audio devices...\n"
      "\t Removed :  Microphone (QZVSWD\\MMDEVAPI\\{0.0.0.00000000}.{o2}"
      "                          : Speakers (Other)\n",
      printed);
}

TEST_F(RemoveDevicesTest, StartWithoutProcessAndHungRemovalFailTheRunGoesOn) {
  fake_runner.listings[L"findall *VID_3F7C*"] =
      DeviceLine("USB\\VID_3F7C&PID_0A01\\1", "Kovex Headset") +
      DeviceLine("USB\\VID_3F7C&PID_0B02\\7", "Kovex Mouse") +
      DeviceLine("USB\\VID_3F7C&PID_0C03\\9", "Kovex Pad");
  fake_runner.processless.insert(RemoveParameters("USB\\VID_3F7C&PID_0A01\\1"));
  const std::wstring hung = RemoveParameters("USB\\VID_3F7C&PID_0B02\\7");
  fake_runner.hanging.insert(hung);

  RemoveDevices();

  EXPECT_EQ(
      "Removing devices...\n"
      "\t \t Failed to launch process Error Code 6: The handle is invalid.\r\n\n"
      "\t !!! Remove FAILED :  Kovex Headset\n"
      "\t Not finished within 600 s, ended: devcon" +
          std::string(hung.begin(), hung.end()) +
          "\n"
          "\t !!! Remove FAILED :  Kovex Mouse\n"
          "\t Removed :  Kovex Pad\n",
      printed);
  // Every program waited for gets ten minutes.
  for (const RecordedRun& run : fake_runner.runs) {
    if (fake_runner.processless.count(run.parameters) == 0) {
      EXPECT_EQ(600000u, run.time_limit_ms);
    }
  }
}
