#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "steps/steps.h"
#include "tests/unit/fakes.h"

namespace {

const wchar_t kEnum[] = L" /D /C devcon -u /dp_enum > driverlist.txt";

class RemoveDriverPackagesTest : public FakeSystemTest {
 protected:
  static void Listing(const std::string& text) {
    fake_runner.listings[L"/dp_enum"] = text;
  }
  static std::string Package(const char* name, const char* provider,
                             const char* klass = "Sound") {
    return std::string(name) + "\r\n    Provider: " + provider +
           "\r\n    Class: " + klass + "\r\n";
  }
  static std::vector<std::wstring> Deletions() {
    std::vector<std::wstring> deleted;
    for (const RecordedRun& run : fake_runner.runs) {
      if (run.program == L"devcon") deleted.push_back(run.parameters);
    }
    return deleted;
  }
};

const char kHeader[] =
    "The following third-party driver packages are installed on this "
    "computer:\r\n";
const char kHeadings[] =
    "Scanning installed drivers...\nCleanning up driver packages...\n";

}  // namespace

TEST_F(RemoveDriverPackagesTest, DeletesTheMakersPackagesOnly) {
  Listing(std::string(kHeader) + Package("oem3.inf", "Other Corp") +
          Package("oem12.inf", "Kovex Inc") +
          Package("oem40.inf", "Somebody", "QZV Audio") +
          Package("oem41.inf", "Kovex") + Package("oem7.inf", "Kovex Inc"));
  fake_runner.statuses[L" -f /dp_delete oem7.inf"] = 2;

  RemoveDriverPackages();

  EXPECT_EQ(kEnum, fake_runner.runs.at(0).parameters);
  EXPECT_EQ(kInterpreterPath, fake_runner.runs.at(0).program);
  EXPECT_EQ((std::vector<std::wstring>{L" -f /dp_delete oem12.inf",
                                       L" -f /dp_delete oem40.inf",
                                       L" -f /dp_delete oem7.inf"}),
            Deletions());
  EXPECT_EQ(std::string(kHeadings) +
                "\t Kovex INF: oem12.inf - Removed\n"
                "\t Kovex INF: oem40.inf - Removed\n"
                "\t Kovex INF: oem7.inf - Remove FAILED!!!\n",
            printed);
}

TEST_F(RemoveDriverPackagesTest, SecondProviderLineFindsNothingPending) {
  Listing("oem5.inf\nProvider: Kovex Inc\nClass: QZV Labs\n");
  RemoveDriverPackages();
  EXPECT_EQ((std::vector<std::wstring>{L" -f /dp_delete oem5.inf"}), Deletions());
  EXPECT_EQ(std::string(kHeadings) +
                "\t Kovex INF: oem5.inf - Removed\n"
                "\t Error parsing driverlist... \n",
            printed);
}

TEST_F(RemoveDriverPackagesTest, FailedDeletionStillEmptiesThePendingName) {
  // The brand on a later line of the same package is not a second try.
  Listing("oem5.inf\nProvider: Kovex Inc\nClass: QZV Audio\n");
  // 1 is no success either: devcon could not delete it now.
  fake_runner.statuses[L" -f /dp_delete oem5.inf"] = 1;
  RemoveDriverPackages();
  EXPECT_EQ((std::vector<std::wstring>{L" -f /dp_delete oem5.inf"}), Deletions());
  EXPECT_EQ(std::string(kHeadings) +
                "\t Kovex INF: oem5.inf - Remove FAILED!!!\n"
                "\t Error parsing driverlist... \n",
            printed);
}

TEST_F(RemoveDriverPackagesTest, ProviderFarBelowStillConsumesPendingName) {
  Listing("oem9.inf\na\nb\n\nc\nd\n    Provider: Kovex Inc\n");
  RemoveDriverPackages();
  EXPECT_EQ((std::vector<std::wstring>{L" -f /dp_delete oem9.inf"}), Deletions());
}

TEST_F(RemoveDriverPackagesTest, OtherProvidersPrintTheTwoHeadingsOnly) {
  Listing(std::string(kHeader) + Package("oem1.inf", "Other Corp") +
          Package("oem2.inf", "kovex inc"));
  RemoveDriverPackages();
  EXPECT_TRUE(Deletions().empty());
  EXPECT_EQ(kHeadings, printed);
}

TEST_F(RemoveDriverPackagesTest, NextPackageLineReplacesAnUnconsumedName) {
  Listing("oem1.inf\nProvider: Other\noem2.inf\nProvider: Kovex Inc\n");
  RemoveDriverPackages();
  EXPECT_EQ((std::vector<std::wstring>{L" -f /dp_delete oem2.inf"}), Deletions());
}

TEST_F(RemoveDriverPackagesTest, LineWithInfAndProviderIsOnlyAPackageLine) {
  Listing("oem4.inf Kovex Inc\nProvider: Other\n");
  RemoveDriverPackages();
  EXPECT_TRUE(Deletions().empty());
  EXPECT_EQ(kHeadings, printed);
}

TEST_F(RemoveDriverPackagesTest, FullLineWithBlanksIsThePackageName) {
  Listing("  oem6.inf \r\nProvider: Kovex Inc\r\n");
  RemoveDriverPackages();
  EXPECT_EQ((std::vector<std::wstring>{L" -f /dp_delete   oem6.inf "}),
            Deletions());
  EXPECT_EQ(std::string(kHeadings) + "\t Kovex INF:   oem6.inf  - Removed\n",
            printed);
}

TEST_F(RemoveDriverPackagesTest, ProviderLineBeforeAnyPackageIsAParseError) {
  Listing("Provider: Kovex Inc\noem8.inf\n");
  RemoveDriverPackages();
  EXPECT_TRUE(Deletions().empty());
  EXPECT_EQ(std::string(kHeadings) + "\t Error parsing driverlist... \n",
            printed);
}

TEST_F(RemoveDriverPackagesTest, FailedListingStopsAfterFirstHeading) {
  Listing("oem12.inf\nProvider: Kovex Inc\n");
  fake_runner.statuses[kEnum] = 9009;
  RemoveDriverPackages();
  EXPECT_EQ(1u, fake_runner.runs.size());
  EXPECT_EQ("Scanning installed drivers...\n", printed);
}

TEST_F(RemoveDriverPackagesTest, UnlaunchableListingLeavesStaleFileUnread) {
  // The interpreter never ran, so last run's file is still there.
  WriteFile("driverlist.txt", "oem12.inf\nProvider: Kovex Inc\n");
  fake_runner.unlaunchable.insert(kInterpreterPath);
  RemoveDriverPackages();
  EXPECT_EQ(1u, fake_runner.runs.size());
  EXPECT_EQ(
      "Scanning installed drivers...\n"
      "\t \t Failed to launch process Error Code 2: "
      "The system cannot find the file specified.\r\n\n",
      printed);
}

TEST_F(RemoveDriverPackagesTest, StaleListingIsReplacedByTheCapture) {
  WriteFile("driverlist.txt", "oem12.inf\nProvider: Kovex Inc\n");
  Listing("There are no third-party driver packages on this machine.\r\n");
  RemoveDriverPackages();
  EXPECT_TRUE(Deletions().empty());
  EXPECT_EQ(kHeadings, printed);
}

TEST_F(RemoveDriverPackagesTest, UnlaunchableDeletionIsReportedAndWalkGoesOn) {
  Listing("oem1.inf\nProvider: Kovex Inc\noem2.inf\nProvider: Kovex Inc\n");
  fake_runner.unlaunchable.insert(L"devcon");
  RemoveDriverPackages();
  EXPECT_EQ(2u, Deletions().size());
  const std::string report =
      "\t \t Failed to launch process Error Code 2: "
      "The system cannot find the file specified.\r\n\n";
  EXPECT_EQ(std::string(kHeadings) + report +
                "\t Kovex INF: oem1.inf - Remove FAILED!!!\n" + report +
                "\t Kovex INF: oem2.inf - Remove FAILED!!!\n",
            printed);
}
