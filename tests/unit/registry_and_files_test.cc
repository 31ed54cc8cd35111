#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "steps/steps.h"
#include "tests/unit/fakes.h"

namespace {

using Names = std::vector<std::wstring>;
using RemoveInstallerRegistryTest = FakeSystemTest;
using RemoveDriverFilesTest = FakeSystemTest;

const char kHeading[] = "Removing driver installer registry...\n";

}  // namespace

TEST_F(RemoveInstallerRegistryTest, DeletesDrvAndDriverNamesAfterEnumerating) {
  fake_registry.subkeys = {L"KxDrvSetup", L"Settings", L"AudioDriverInstaller",
                           L"Drv", L"drvtools", L"DRIVER", L"Update"};
  RemoveInstallerRegistry();
  EXPECT_EQ(L"Software\\Kovex", fake_registry.opened_path);
  EXPECT_EQ((Names{L"KxDrvSetup", L"AudioDriverInstaller", L"Drv"}),
            fake_registry.deleted);
  EXPECT_EQ(1, fake_registry.closes);
  EXPECT_EQ(kHeading, printed);
}

TEST_F(RemoveInstallerRegistryTest, FailedDeletionIsReportedOthersStillTried) {
  fake_registry.subkeys = {L"DrvA", L"DriverB", L"DrvC"};
  fake_registry.failing_deletes = {L"DriverB"};
  RemoveInstallerRegistry();
  EXPECT_EQ((Names{L"DrvA", L"DriverB", L"DrvC"}), fake_registry.deleted);
  EXPECT_EQ(std::string(kHeading) +
                "\t Error deleting registry : Software\\Kovex\\DriverB\n",
            printed);
  EXPECT_EQ(1, fake_registry.closes);
}

TEST_F(RemoveInstallerRegistryTest, EnumerationErrorKeepsWhatWasCollected) {
  fake_registry.subkeys = {L"DrvA", L"Other", L"DrvB", L"DrvC"};
  fake_registry.enum_error_at = 2;
  RemoveInstallerRegistry();
  EXPECT_EQ((Names{L"DrvA"}), fake_registry.deleted);
  EXPECT_EQ(1, fake_registry.closes);
}

TEST_F(RemoveInstallerRegistryTest, MissingOrDeniedKeyPrintsHeadingOnly) {
  fake_registry.open_result = 2;  // ERROR_FILE_NOT_FOUND
  RemoveInstallerRegistry();
  EXPECT_TRUE(fake_registry.deleted.empty());
  EXPECT_EQ(0, fake_registry.closes);
  EXPECT_EQ(kHeading, printed);

  printed.clear();
  fake_registry.open_result = 5;  // ERROR_ACCESS_DENIED
  RemoveInstallerRegistry();
  EXPECT_EQ(kHeading, printed);
}

TEST_F(RemoveInstallerRegistryTest, NameBeyondTheBufferEndsTheEnumeration) {
  fake_registry.subkeys = {L"DrvA", std::wstring(260, L'D') + L"Drv", L"DrvB"};
  RemoveInstallerRegistry();
  EXPECT_EQ((Names{L"DrvA"}), fake_registry.deleted);
}

TEST_F(RemoveInstallerRegistryTest, LongestNameThatFitsIsDeleted) {
  const std::wstring longest = L"Driver" + std::wstring(253, L'x');
  fake_registry.subkeys = {longest};
  RemoveInstallerRegistry();
  EXPECT_EQ((Names{longest}), fake_registry.deleted);
}

TEST_F(RemoveDriverFilesTest, TwoForcedDeletionsWhateverTheyReturn) {
  const std::wstring first =
      L" /D /C del /F %WINDIR%\\system32\\drivers\\KxDev_*.sys ";
  const std::wstring second =
      L" /D /C del /F %WINDIR%\\system32\\drivers\\KxCommon.sys ";
  fake_runner.statuses[first] = 1;
  fake_runner.statuses[second] = 1;
  RemoveDriverFiles();
  ASSERT_EQ(2u, fake_runner.runs.size());
  EXPECT_EQ(kInterpreterPath, fake_runner.runs[0].program);
  EXPECT_EQ(first, fake_runner.runs[0].parameters);
  EXPECT_EQ(kInterpreterPath, fake_runner.runs[1].program);
  EXPECT_EQ(second, fake_runner.runs[1].parameters);
  EXPECT_EQ("Removing driver files...\n", printed);
}
