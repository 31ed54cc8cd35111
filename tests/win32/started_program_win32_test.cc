// What the programs the tools start see, and what starting them many times
// leaves behind, on the real Windows API (under Wine in the build).
// KOVEX_STARTED_PROGRAM names a program that tells how it was started (see
// started_program.cc); KOVEX_DEVCON the device console simulator.
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "exec/capture.h"
#include "exec/files.h"
#include "exec/registry.h"
#include "exec/runner.h"
#include "exec/tools.h"
#include "gtest/gtest.h"
#include "tests/win32/scratch_directory.h"

namespace {

std::string ReadAll(const std::wstring& path) {
  std::string bytes;
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return bytes;
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(file, buffer, sizeof(buffer), &got, nullptr) && got > 0) {
    bytes.append(buffer, got);
  }
  CloseHandle(file);
  return bytes;
}

// How many handles the process holds. Wine counts none; there the highest
// of 256 new handles stands in for the count: Wine gives each new handle the
// lowest free slot, so every handle left open below raises it by one, while
// the holes that closed handles leave are filled either way.
unsigned long HandlesInUse() {
  DWORD count = 0;
  if (GetProcessHandleCount(GetCurrentProcess(), &count) && count != 0) {
    return count;
  }
  std::vector<HANDLE> probes;
  std::uintptr_t highest = 0;
  for (int i = 0; i < 256; ++i) {
    probes.push_back(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    const std::uintptr_t value = reinterpret_cast<std::uintptr_t>(probes.back());
    if (value > highest) highest = value;
  }
  for (HANDLE probe : probes) CloseHandle(probe);
  return static_cast<unsigned long>(highest / 4);
}

// The scratch directory, and the program that tells how it was started.
class StartedProgramTest : public ScratchDirectoryTest {
 protected:
  void SetUp() override {
    ScratchDirectoryTest::SetUp();
    started_program_ = FromEnvironment("KOVEX_STARTED_PROGRAM");
  }

  static std::string Capture(const wchar_t* parameters, unsigned long* exit_code) {
    DeviceConsoleRun run;
    std::wstring failure;
    EXPECT_EQ(CaptureResult::kFinished,
              CaptureDeviceConsole(parameters, kLimitMs, &run, &failure))
        << std::string(failure.begin(), failure.end());
    *exit_code = run.exit_code;
    return run.output;
  }

  static constexpr unsigned long kLimitMs = 60000;

  std::wstring started_program_;
};

}  // namespace

TEST_F(StartedProgramTest, NeitherToolShowsAWindowForWhatItStarts) {
  // The cleanup's runner asks the system to hide the program's window.
  EXPECT_EQ(0, RunProgram(started_program_, L"window how.txt"));
  EXPECT_EQ(0u, ReadAll(directory_ + L"\\how.txt").find("show=0 "))  // SW_HIDE
      << ReadAll(directory_ + L"\\how.txt");

  // The check's devcon runs in a console of its own that has no window,
  // whether or not the check itself has one.
  InstallAsDevcon(started_program_, directory_);
  unsigned long exit_code = 99;
  const std::string how = Capture(L"window", &exit_code);
  EXPECT_EQ(0u, exit_code);
  EXPECT_NE(std::string::npos, how.find(" console=yes window=no\n")) << how;
}

TEST_F(StartedProgramTest, ManyStartsLeaveNoHandleOpen) {
  InstallAsDevcon(devcon_, directory_);
  const std::vector<std::pair<const char*, void (*)()>> uses = {
      {"RunProgram", [] { RunProgram(CommandInterpreterPath(), L" /C exit 0"); }},
      {"CaptureDeviceConsole",
       [] {
         DeviceConsoleRun run;
         std::wstring failure;
         CaptureDeviceConsole(L"findall *QZV*", 60000, &run, &failure);
       }},
      {"OpenLocalMachineKey32ForReading",
       [] {
         RegistryKey key = nullptr;
         if (OpenLocalMachineKey32ForReading(L"Software", &key) == 0) {
           CloseRegistryKey(key);
         }
       }},
      {"FindWindowsFiles",
       [] {
         std::wstring directory;
         std::vector<WindowsFile> files;
         FindWindowsFiles(L"system32\\drivers", L"*.sys", &directory, &files);
       }},
  };
  for (const auto& use : uses) {
    SCOPED_TRACE(use.first);
    use.second();  // whatever the system keeps from a first use
    const unsigned long before = HandlesInUse();
    for (int i = 0; i < 16; ++i) use.second();
    EXPECT_LT(HandlesInUse(), before + 8);
  }
}

TEST_F(StartedProgramTest, CaptureReadsALongOutputToItsLastByte) {
  InstallAsDevcon(started_program_, directory_);
  unsigned long exit_code = 99;
  const std::string output = Capture(L"long 20000", &exit_code);
  EXPECT_EQ(0u, exit_code);
  ASSERT_EQ(20000u * 13 + 4, output.size());
  EXPECT_EQ("line 000000\r\nline 000001\r\n", output.substr(0, 26));
  EXPECT_EQ("line 019999\r\nlast", output.substr(output.size() - 17));
}

TEST_F(StartedProgramTest, CaptureTakesDevconInTheWorkingDirectoryBeforePath) {
  // The simulator in the working directory, another program of that name on
  // PATH: the interpreter would run the first, and so must the check.
  InstallAsDevcon(devcon_, directory_);
  InstallAsDevcon(started_program_, directory_ + L"\\on path");
  SetEnvironmentVariableW(L"PATH", (directory_ + L"\\on path").c_str());
  unsigned long exit_code = 99;
  EXPECT_EQ("No matching devices found.\r\n", Capture(L"findall *QZV*", &exit_code));
  EXPECT_EQ(0u, exit_code);
}
