#ifndef KOVEX_TESTS_WIN32_SCRATCH_DIRECTORY_H_
#define KOVEX_TESTS_WIN32_SCRATCH_DIRECTORY_H_

#include <windows.h>

#include <cstdlib>
#include <string>

#include "gtest/gtest.h"

// Each test in a scratch working directory of its own, named after it, with
// a folder "on path" inside for the tests to put on PATH, and the
// simulator's machine in "state.txt" there (empty to begin with). The
// working directory, PATH and the simulator's state variable are put back
// after, and every file the test left in the two folders is deleted.
// KOVEX_DEVCON names the device console simulator.
class ScratchDirectoryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    wchar_t buffer[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, buffer);
    old_directory_ = buffer;
    GetEnvironmentVariableW(L"PATH", buffer, MAX_PATH);
    old_path_ = buffer;
    const std::string name =
        ::testing::UnitTest::GetInstance()->current_test_info()->name();
    directory_ = old_directory_ + L"\\scratch-" + std::wstring(name.begin(), name.end());
    CreateDirectoryW(directory_.c_str(), nullptr);
    CreateDirectoryW((directory_ + L"\\on path").c_str(), nullptr);
    SetCurrentDirectoryW(directory_.c_str());
    devcon_ = FromEnvironment("KOVEX_DEVCON");
    Machine("");
    SetEnvironmentVariableW(L"DEVCON_SIM_STATE", (directory_ + L"\\state.txt").c_str());
  }

  void TearDown() override {
    SetCurrentDirectoryW(old_directory_.c_str());
    for (const std::wstring& folder : {directory_ + L"\\on path", directory_}) {
      WIN32_FIND_DATAW found;
      HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &found);
      if (find != INVALID_HANDLE_VALUE) {
        do {
          DeleteFileW((folder + L"\\" + found.cFileName).c_str());
        } while (FindNextFileW(find, &found));
        FindClose(find);
      }
      RemoveDirectoryW(folder.c_str());
    }
    SetEnvironmentVariableW(L"PATH", old_path_.c_str());
    SetEnvironmentVariableW(L"DEVCON_SIM_STATE", nullptr);
  }

  // A path from the environment, its slashes turned into backslashes.
  static std::wstring FromEnvironment(const char* name) {
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

  // The simulated machine, as the simulator's state text.
  void Machine(const char* state) {
    HANDLE file = CreateFileW((directory_ + L"\\state.txt").c_str(), GENERIC_WRITE, 0,
                              nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(file, state, static_cast<DWORD>(std::string(state).size()), &written,
              nullptr);
    CloseHandle(file);
  }

  // Puts `program` into `folder` under the name devcon.exe.
  static void InstallAsDevcon(const std::wstring& program, const std::wstring& folder) {
    ASSERT_TRUE(CopyFileW(program.c_str(), (folder + L"\\devcon.exe").c_str(), FALSE));
  }

  std::wstring directory_;
  std::wstring devcon_;

 private:
  std::wstring old_directory_;
  std::wstring old_path_;
};

#endif  // KOVEX_TESTS_WIN32_SCRATCH_DIRECTORY_H_
