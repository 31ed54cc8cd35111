// The check's Windows pieces on the real API (under Wine in the build): the
// pipe capture of devcon, the driver file search, the read-only registry
// open. KOVEX_DEVCON names the device console simulator.
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "exec/capture.h"
#include "exec/files.h"
#include "exec/registry.h"
#include "gtest/gtest.h"
#include "tests/win32/scratch_directory.h"

namespace {

// The scratch directory, the simulator installed in it or not.
class CaptureDeviceConsoleTest : public ScratchDirectoryTest {
 protected:
  void InstallDevcon(const std::wstring& folder) { InstallAsDevcon(devcon_, folder); }
};

const char kHeadset[] =
    "device USB\\VID_3F7C&PID_0A01\\6&2B&0&1\n"
    "  description Kovex Headset\n"
    "  hardware USB\\VID_3F7C&PID_0A01\n";

}  // namespace

TEST_F(CaptureDeviceConsoleTest, ReadsOutputAndExitCodeFromWorkingDirectory) {
  InstallDevcon(directory_);
  Machine(kHeadset);
  std::string output;
  unsigned long exit_code = 99;
  std::wstring failure;

  ASSERT_TRUE(CaptureDeviceConsole(L"findall *VID_3F7C*", &output, &exit_code, &failure))
      << std::string(failure.begin(), failure.end());
  EXPECT_EQ(0u, exit_code);
  EXPECT_EQ("USB\\VID_3F7C&PID_0A01\\6&2B&0&1" + std::string(60 - 30, ' ') +
                ": Kovex Headset\r\n1 matching device(s) found.\r\n",
            output);

  Machine("fault dp_enum exit 2\n");
  ASSERT_TRUE(CaptureDeviceConsole(L"/dp_enum", &output, &exit_code, &failure));
  EXPECT_EQ(2u, exit_code);
  EXPECT_EQ("", output);
}

TEST_F(CaptureDeviceConsoleTest, FindsDevconOnPathOrSaysItIsMissing) {
  Machine(kHeadset);
  std::string output;
  unsigned long exit_code = 0;
  std::wstring failure;
  SetEnvironmentVariableW(L"PATH", L"C:\\windows\\system32;C:\\windows");
  EXPECT_FALSE(CaptureDeviceConsole(L"findall *QZV*", &output, &exit_code, &failure));
  EXPECT_EQ(L"devcon.exe is neither in the working directory nor on PATH", failure);

  InstallDevcon(directory_ + L"\\on path");
  SetEnvironmentVariableW(
      L"PATH", (L"C:\\windows\\system32;;\"" + directory_ + L"\\on path\"").c_str());
  ASSERT_TRUE(CaptureDeviceConsole(L"findall *QZV*", &output, &exit_code, &failure));
  EXPECT_EQ("No matching devices found.\r\n", output);
}

TEST(FindWindowsFiles, MatchesFilesByWildcardFoldersLeftOut) {
  wchar_t windows[MAX_PATH];
  GetSystemWindowsDirectoryW(windows, MAX_PATH);
  const std::wstring drivers = std::wstring(windows) + L"\\system32\\drivers\\";
  for (const wchar_t* name : {L"KxWinTest_b.sys", L"KxWinTest_a.sys", L"KxWinTest.sys"}) {
    HANDLE file = CreateFileW((drivers + name).c_str(), GENERIC_WRITE, 0, nullptr,
                              CREATE_ALWAYS, 0, nullptr);
    CloseHandle(file);
  }
  CreateDirectoryW((drivers + L"KxWinTest_dir.sys").c_str(), nullptr);

  std::wstring directory;
  std::vector<std::wstring> names;
  EXPECT_EQ(0, FindWindowsFiles(L"system32\\drivers", L"KxWinTest_*.sys", &directory, &names));
  std::sort(names.begin(), names.end());
  EXPECT_EQ((std::vector<std::wstring>{L"KxWinTest_a.sys", L"KxWinTest_b.sys"}), names);
  EXPECT_EQ(drivers.substr(0, drivers.size() - 1), directory);

  EXPECT_EQ(0, FindWindowsFiles(L"system32\\drivers", L"KxNoSuch_*.sys", &directory, &names));
  EXPECT_TRUE(names.empty());
  EXPECT_NE(0, FindWindowsFiles(L"system32\\kx-no-such-folder", L"*.sys", &directory, &names));

  for (const wchar_t* name : {L"KxWinTest_b.sys", L"KxWinTest_a.sys", L"KxWinTest.sys"}) {
    DeleteFileW((drivers + name).c_str());
  }
  RemoveDirectoryW((drivers + L"KxWinTest_dir.sys").c_str());
}

TEST(OpenLocalMachineKey32ForReading, OpensTheKeyButGrantsNoWrite) {
  const wchar_t path[] = L"Software\\KovexReadOnlyTest";
  HKEY made = nullptr;
  ASSERT_EQ(0, RegCreateKeyExW(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0,
                               KEY_ALL_ACCESS | KEY_WOW64_32KEY, nullptr, &made, nullptr));
  RegCloseKey(made);

  RegistryKey key = nullptr;
  ASSERT_EQ(0, OpenLocalMachineKey32ForReading(path, &key));
  const wchar_t value[] = L"1";
  EXPECT_NE(0, RegSetValueExW(static_cast<HKEY>(key), L"Written", 0, REG_SZ,
                              reinterpret_cast<const BYTE*>(value), sizeof(value)));
  CloseRegistryKey(key);
  EXPECT_EQ(kRegistryKeyNotFound,
            OpenLocalMachineKey32ForReading(L"Software\\KovexNoSuchKey", &key));
  RegDeleteKeyExW(HKEY_LOCAL_MACHINE, path, KEY_WOW64_32KEY, 0);
}

TEST(SystemErrorText, IsTheSystemsOwnTextWithoutItsLineEnd) {
  // What a NOT CHECKED line and the JSON reason show after the folder's name.
  wchar_t* text = nullptr;
  ASSERT_NE(0u, FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER |
                                   FORMAT_MESSAGE_IGNORE_INSERTS |
                                   FORMAT_MESSAGE_FROM_SYSTEM,
                               nullptr, ERROR_ACCESS_DENIED, 0,
                               reinterpret_cast<wchar_t*>(&text), 0, nullptr));
  std::wstring expected = text;
  LocalFree(text);
  while (!expected.empty() && (expected.back() == L'\n' || expected.back() == L'\r' ||
                               expected.back() == L' ')) {
    expected.pop_back();
  }
  ASSERT_FALSE(expected.empty());
  EXPECT_EQ(expected, SystemErrorText(ERROR_ACCESS_DENIED));
}
