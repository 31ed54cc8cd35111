// What the programs the tools start see, and what starting them many times
// leaves behind, on the real Windows API (under Wine in the build).
// KOVEX_STARTED_PROGRAM names a program that tells how it was started (see
// started_program.cc); KOVEX_DEVCON the device console simulator.
#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "exec/capture.h"
#include "exec/files.h"
#include "exec/registry.h"
#include "exec/runner.h"
#include "exec/tools.h"
#include "gtest/gtest.h"

namespace {

std::wstring FromEnvironment(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr) {
    ADD_FAILURE() << name << " is not set";
    return std::wstring();
  }
  std::wstring wide(value, value + std::string(value).size());
  for (wchar_t& c : wide) {
    if (c == L'/') c = L'\\';
  }
  return wide;
}

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

// A scratch working directory, with PATH and the simulator's state put back
// after.
class StartedProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    wchar_t buffer[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, buffer);
    old_directory_ = buffer;
    GetEnvironmentVariableW(L"PATH", buffer, MAX_PATH);
    old_path_ = buffer;
    directory_ = old_directory_ + L"\\started-test";
    CreateDirectoryW(directory_.c_str(), nullptr);
    CreateDirectoryW((directory_ + L"\\on path").c_str(), nullptr);
    SetCurrentDirectoryW(directory_.c_str());
    started_program_ = FromEnvironment("KOVEX_STARTED_PROGRAM");
    devcon_ = FromEnvironment("KOVEX_DEVCON");
    // An empty simulated machine.
    const std::wstring state = directory_ + L"\\state.txt";
    CloseHandle(CreateFileW(state.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0,
                            nullptr));
    SetEnvironmentVariableW(L"DEVCON_SIM_STATE", state.c_str());
  }

  void TearDown() override {
    for (const wchar_t* name : {L"\\devcon.exe", L"\\on path\\devcon.exe",
                                L"\\state.txt", L"\\how.txt"}) {
      DeleteFileW((directory_ + name).c_str());
    }
    RemoveDirectoryW((directory_ + L"\\on path").c_str());
    SetCurrentDirectoryW(old_directory_.c_str());
    RemoveDirectoryW(directory_.c_str());
    SetEnvironmentVariableW(L"PATH", old_path_.c_str());
    SetEnvironmentVariableW(L"DEVCON_SIM_STATE", nullptr);
  }

  // Puts `program` into `folder` under the name the check looks for.
  static void InstallAsDevcon(const std::wstring& program, const std::wstring& folder) {
    ASSERT_TRUE(CopyFileW(program.c_str(), (folder + L"\\devcon.exe").c_str(), FALSE));
  }

  std::string Capture(const wchar_t* parameters, unsigned long* exit_code) {
    std::string output;
    std::wstring failure;
    EXPECT_TRUE(CaptureDeviceConsole(parameters, &output, exit_code, &failure))
        << std::string(failure.begin(), failure.end());
    return output;
  }

  std::wstring directory_;
  std::wstring started_program_;
  std::wstring devcon_;

 private:
  std::wstring old_directory_;
  std::wstring old_path_;
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
         std::string output;
         unsigned long exit_code = 0;
         std::wstring failure;
         CaptureDeviceConsole(L"findall *QZV*", &output, &exit_code, &failure);
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
         std::vector<std::wstring> names;
         FindWindowsFiles(L"system32\\drivers", L"*.sys", &directory, &names);
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
