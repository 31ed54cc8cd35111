#include <string>

#include "check/machine_check.h"
#include "check/report.h"
#include "gtest/gtest.h"
#include "tests/unit/fakes.h"

namespace {

using CheckMachineTest = FakeSystemTest;

}  // namespace

TEST_F(CheckMachineTest, HiddenOrSystemDriverFileGetsTheDelThatSelectsIt) {
  // The cleanup's `del /F` without /A passes over hidden and system files.
  fake_registry.open_result = 2;
  fake_files.matches[L"KxDev_*.sys"] = {L"KxDev_s.sys", L"KxDev_h.sys",
                                        L"KxDev_plain.sys"};
  fake_files.matches[L"KxCommon.sys"] = {L"KxCommon.sys"};
  fake_files.hidden = {L"KxDev_h.sys", L"KxCommon.sys"};
  fake_files.system = {L"KxDev_s.sys", L"KxCommon.sys"};

  const Findings findings = CheckMachine();

  const std::string dir = "C:\\windows\\system32\\drivers\\";
  PrintReport(findings);
  EXPECT_NE(std::string::npos,
            printed.find("Driver files in C:\\windows\\system32\\drivers:\n"
                         "\t KxDev_h.sys (a hidden file: del without /A passes over it)\n"
                         "\t \t the cleanup passes over it; remove it with: "
                         "del /F /A:H \"" + dir + "KxDev_h.sys\"\n"
                         "\t KxDev_plain.sys\n"
                         "\t KxDev_s.sys (a system file: del without /A passes over it)\n"
                         "\t \t the cleanup passes over it; remove it with: "
                         "del /F /A:S \"" + dir + "KxDev_s.sys\"\n"
                         "\t KxCommon.sys (a hidden system file: del without /A "
                         "passes over it)\n"
                         "\t \t the cleanup passes over it; remove it with: "
                         "del /F /A:HS \"" + dir + "KxCommon.sys\"\n"))
      << printed;
}
