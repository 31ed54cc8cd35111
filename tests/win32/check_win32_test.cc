// The check's Windows pieces on the real API (under Wine in the build): the
// pipe capture of devcon, the driver file search, the read-only registry
// open. KOVEX_DEVCON names the device console simulator.
#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <algorithm>
#include <future>
#include <string>
#include <vector>

#include "exec/capture.h"
#include "exec/files.h"
#include "exec/registry.h"
#include "gtest/gtest.h"
#include "tests/win32/running_processes.h"
#include "tests/win32/scratch_directory.h"

namespace {

// The scratch directory, the simulator installed in it or not.
class CaptureDeviceConsoleTest : public ScratchDirectoryTest {
 protected:
  void SetUp() override {
    ScratchDirectoryTest::SetUp();
    SetEnvironmentVariableW(L"DEVCON_SIM_LOG", (directory_ + L"\\log.txt").c_str());
  }

  void TearDown() override {
    ScratchDirectoryTest::TearDown();
    SetEnvironmentVariableW(L"DEVCON_SIM_LOG", nullptr);
  }

  // Whether devcon has been started: it logs each run first thing.
  bool DevconStarted() const {
    return GetFileAttributesW((directory_ + L"\\log.txt").c_str()) !=
           INVALID_FILE_ATTRIBUTES;
  }

  void InstallDevcon(const std::wstring& folder) { InstallAsDevcon(devcon_, folder); }
};

const char kHeadset[] =
    "device USB\\VID_3F7C&PID_0A01\\6&2B&0&1\n"
    "  description Kovex Headset\n"
    "  hardware USB\\VID_3F7C&PID_0A01\n";

}  // namespace

// How many processes named devcon.exe are running.
int RunningDevcons() { return VisitProcessesNamed(L"devcon.exe", false); }

std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

constexpr unsigned long kLimitMs = 120000;

// devcon, found and run to its end, lists no device of the second brand.
void ExpectBrandListedEmpty() {
  DeviceConsoleRun run;
  std::wstring failure;
  ASSERT_EQ(CaptureResult::kFinished,
            CaptureDeviceConsole(L"findall *QZV*", kLimitMs, &run, &failure))
      << Narrow(failure);
  EXPECT_EQ("No matching devices found.\r\n", run.output);
}

TEST_F(CaptureDeviceConsoleTest, ReadsOutputErrorsAndExitCodeFromWorkingDirectory) {
  InstallDevcon(directory_);
  Machine(kHeadset);
  DeviceConsoleRun run;
  run.exit_code = 99;
  std::wstring failure;

  ASSERT_EQ(CaptureResult::kFinished,
            CaptureDeviceConsole(L"findall *VID_3F7C*", kLimitMs, &run, &failure))
      << Narrow(failure);
  EXPECT_EQ(0u, run.exit_code);
  const std::string listing = "USB\\VID_3F7C&PID_0A01\\6&2B&0&1" + std::string(60 - 30, ' ') +
                              ": Kovex Headset\r\n1 matching device(s) found.\r\n";
  EXPECT_EQ(listing, run.output);

  // With -u, every character comes as UTF-16LE.
  ASSERT_EQ(CaptureResult::kFinished,
            CaptureDeviceConsole(L"-u findall *VID_3F7C*", kLimitMs, &run, &failure));
  std::string wide;
  for (char c : listing) wide += std::string{c, '\0'};
  EXPECT_EQ(wide, run.output);

  // Standard error is read apart from standard output.
  ASSERT_EQ(CaptureResult::kFinished, CaptureDeviceConsole(L"findall", kLimitMs, &run, &failure));
  EXPECT_EQ(3u, run.exit_code);
  EXPECT_EQ("", run.output);
  EXPECT_NE(std::string::npos, run.errors.find("Invalid use of findall")) << run.errors;

  Machine("fault dp_enum exit 2\n");
  ASSERT_EQ(CaptureResult::kFinished, CaptureDeviceConsole(L"/dp_enum", kLimitMs, &run, &failure));
  EXPECT_EQ(2u, run.exit_code);
  EXPECT_EQ("", run.output);
}

TEST_F(CaptureDeviceConsoleTest, FindsDevconOnPathOrSaysItIsMissing) {
  Machine(kHeadset);
  DeviceConsoleRun run;
  std::wstring failure;
  SetEnvironmentVariableW(L"PATH", L"C:\\windows\\system32;C:\\windows");
  EXPECT_EQ(CaptureResult::kNotStarted,
            CaptureDeviceConsole(L"findall *QZV*", kLimitMs, &run, &failure));
  EXPECT_EQ(L"devcon.exe is neither in the working directory nor on PATH", failure);

  InstallDevcon(directory_ + L"\\on path");
  SetEnvironmentVariableW(
      L"PATH", (L"C:\\windows\\system32;;\"" + directory_ + L"\\on path\"").c_str());
  ExpectBrandListedEmpty();
}

TEST_F(CaptureDeviceConsoleTest, FindsDevconAsTheInterpreterDoesOrSaysWhy) {
  Machine(kHeadset);
  DeviceConsoleRun run;
  std::wstring failure;
  SetEnvironmentVariableW(L"PATH", L"C:\\windows\\system32;C:\\windows");
  InstallDevcon(directory_);

  // With NoDefaultCurrentDirectoryInExePath set, the interpreter does not
  // look in the working directory, and neither does the check.
  SetEnvironmentVariableW(L"NoDefaultCurrentDirectoryInExePath", L"1");
  const BOOL needs_working_directory = NeedCurrentDirectoryForExePathW(L"devcon");
  const CaptureResult skipped =
      CaptureDeviceConsole(L"findall *QZV*", kLimitMs, &run, &failure);
  SetEnvironmentVariableW(L"NoDefaultCurrentDirectoryInExePath", nullptr);
  EXPECT_FALSE(needs_working_directory) << "Wine ignores the variable";
  EXPECT_EQ(CaptureResult::kNotStarted, skipped);
  EXPECT_EQ(L"devcon.exe is not on PATH, and the working directory is not searched "
            L"(NoDefaultCurrentDirectoryInExePath is set)",
            failure);
  EXPECT_FALSE(DevconStarted());

  // A devcon.bat first in PATHEXT's order: what the cleanup's listings run,
  // and not run by the check.
  wchar_t old_extensions[512] = L"";
  GetEnvironmentVariableW(L"PATHEXT", old_extensions, 512);
  SetEnvironmentVariableW(L"PATHEXT", L".COM;.BAT;.EXE");
  const std::wstring script = directory_ + L"\\devcon.BAT";
  CloseHandle(CreateFileW(script.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0,
                          nullptr));
  const CaptureResult not_run =
      CaptureDeviceConsole(L"findall *QZV*", kLimitMs, &run, &failure);
  EXPECT_EQ(CaptureResult::kNotStarted, not_run);
  EXPECT_EQ(L"the cleanup's interpreter would run " + script +
                L", which the check does not run",
            failure);
  EXPECT_FALSE(DevconStarted());

  // A devcon.com ahead of it, a program whatever its name ends in: run.
  ASSERT_TRUE(CopyFileW(devcon_.c_str(), (directory_ + L"\\devcon.COM").c_str(), FALSE));
  const CaptureResult run_com =
      CaptureDeviceConsole(L"findall *QZV*", kLimitMs, &run, &failure);
  SetEnvironmentVariableW(L"PATHEXT", old_extensions);
  EXPECT_EQ(CaptureResult::kFinished, run_com) << Narrow(failure);
  EXPECT_EQ("No matching devices found.\r\n", run.output);
}

TEST_F(CaptureDeviceConsoleTest, DevconPastItsTimeIsEndedAndSaidSo) {
  InstallDevcon(directory_);
  Machine("fault findall sleep 60000\n");
  DeviceConsoleRun run;
  std::wstring failure;
  const ULONGLONG start = GetTickCount64();

  EXPECT_EQ(CaptureResult::kTimedOut,
            CaptureDeviceConsole(L"findall *QZV*", 1500, &run, &failure));

  EXPECT_LT(GetTickCount64() - start, 30000u) << "waited for devcon to finish";
  EXPECT_EQ(L"devcon did not finish within 1500 ms", failure);
  EXPECT_EQ(0, RunningDevcons()) << "devcon left running";

  // Within its time, a slow devcon is waited for.
  Machine("fault findall sleep 300\n");
  ExpectBrandListedEmpty();
}

TEST_F(CaptureDeviceConsoleTest, DevconInheritsNoHandleButItsOwn) {
  InstallDevcon(directory_);
  Machine("fault findall sleep 4000\n");
  // An inheritable pipe of the caller's own, such as its output to its
  // caller: while devcon holds a copy of its write end, it does not end.
  SECURITY_ATTRIBUTES inheritable = {sizeof(inheritable), nullptr, TRUE};
  HANDLE read_end = nullptr;
  HANDLE write_end = nullptr;
  ASSERT_TRUE(CreatePipe(&read_end, &write_end, &inheritable, 0));

  auto capture = std::async(std::launch::async, [] {
    DeviceConsoleRun run;
    std::wstring failure;
    return CaptureDeviceConsole(L"findall *QZV*", kLimitMs, &run, &failure);
  });
  for (int waited = 0; !DevconStarted() && waited < 600; ++waited) Sleep(50);
  ASSERT_TRUE(DevconStarted());
  CloseHandle(write_end);
  DWORD available = 0;
  const BOOL still_open = PeekNamedPipe(read_end, nullptr, 0, nullptr, &available, nullptr);
  const DWORD error = GetLastError();
  EXPECT_EQ(CaptureResult::kFinished, capture.get());
  CloseHandle(read_end);

  EXPECT_FALSE(still_open) << "devcon holds a handle it was not given";
  EXPECT_EQ(static_cast<DWORD>(ERROR_BROKEN_PIPE), error);
}

TEST_F(CaptureDeviceConsoleTest, DevconsEveryWayOfEndingIsReadToItsEnd) {
  // The started program in devcon's place, told what to do by its command.
  const std::wstring console = FromEnvironment("KOVEX_STARTED_PROGRAM");
  const std::wstring windowless = FromEnvironment("KOVEX_WINDOWLESS_PROGRAM");
  struct Case {
    const std::wstring& program;
    const wchar_t* mode;
    CaptureResult result;
    const char* output;
    const char* errors;
  };
  const Case cases[] = {
      // In its job before it runs: what it starts cannot escape the job.
      {console, L"job", CaptureResult::kFinished, "in-job=yes", ""},
      // Its standard input is the null device, which it inherited.
      {console, L"stdin", CaptureResult::kFinished, "stdin=eof", ""},
      // Standard error is read to its own end, not only to standard output's.
      {console, L"late-errors", CaptureResult::kFinished, "",
       "usage, after the output ended\r\n"},
      // It has ended, and a program it started holds its outputs open: they
      // are taken as they are, a grace after its end (here its time limit).
      {console, L"outlive", CaptureResult::kFinished, "listed\r\n", ""},
      // Its outputs closed, it has not finished: the time limit still holds,
      // and no "exit code" of a running program is taken for its end.
      {windowless, L"linger", CaptureResult::kTimedOut, "", ""},
      // It never stops writing: the time limit holds all the same.
      {console, L"flood", CaptureResult::kTimedOut, nullptr, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Narrow(c.mode));
    InstallAsDevcon(c.program, directory_);
    DeviceConsoleRun run;
    std::wstring failure;
    const ULONGLONG start = GetTickCount64();
    EXPECT_EQ(c.result, CaptureDeviceConsole(c.mode, 1500, &run, &failure)) << Narrow(failure);
    EXPECT_LT(GetTickCount64() - start, 15000u) << "waited past the time limit";
    if (c.output != nullptr) {
      EXPECT_EQ(c.output, run.output);
    }
    EXPECT_EQ(c.errors, run.errors);
    if (c.result == CaptureResult::kTimedOut) {
      EXPECT_EQ(L"devcon did not finish within 1500 ms", failure);
    }
  }
}

TEST(DevconPipes, AreNamedUnpredictablyAndAdmitOnlyThisUserAndSystem) {
  const std::wstring prefix = L"\\\\.\\pipe\\kovex-deepclean-check-";
  const std::wstring name = NewPipeName();
  ASSERT_EQ(0u, name.find(prefix));
  EXPECT_EQ(prefix.size() + 32, name.size()) << "128 bits in hexadecimal";
  EXPECT_NE(name, NewPipeName());

  // A pipe with that security: its DACL, read back, grants SYSTEM and this
  // process's user alone (not Everyone, as the default DACL of a pipe does).
  PSECURITY_DESCRIPTOR made = nullptr;
  ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(
      PipeSecurity().c_str(), SDDL_REVISION_1, &made, nullptr));
  SECURITY_ATTRIBUTES security = {sizeof(security), made, FALSE};
  HANDLE pipe = CreateNamedPipeW(name.c_str(), PIPE_ACCESS_INBOUND, 0, 1, 4096, 4096, 0,
                                 &security);
  LocalFree(made);
  ASSERT_NE(INVALID_HANDLE_VALUE, pipe);
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR read = nullptr;
  ASSERT_EQ(static_cast<DWORD>(ERROR_SUCCESS),
            GetSecurityInfo(pipe, SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                            nullptr, &dacl, nullptr, &read));
  HANDLE token = nullptr;
  ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token));
  unsigned char user[256];
  DWORD size = 0;
  ASSERT_TRUE(GetTokenInformation(token, TokenUser, user, sizeof(user), &size));
  CloseHandle(token);
  const PSID own = reinterpret_cast<TOKEN_USER*>(user)->User.Sid;
  std::vector<std::string> granted;
  for (DWORD at = 0; dacl != nullptr && at < dacl->AceCount; ++at) {
    ACCESS_ALLOWED_ACE* ace = nullptr;
    ASSERT_TRUE(GetAce(dacl, at, reinterpret_cast<void**>(&ace)));
    ASSERT_EQ(ACCESS_ALLOWED_ACE_TYPE, ace->Header.AceType);
    const PSID sid = &ace->SidStart;
    granted.push_back(IsWellKnownSid(sid, WinLocalSystemSid) ? "system"
                      : EqualSid(sid, own)                    ? "user"
                                                              : "someone else");
  }
  LocalFree(read);
  CloseHandle(pipe);
  EXPECT_EQ((std::vector<std::string>{"system", "user"}), granted);
}

TEST(FindWindowsFiles, MatchesFilesByWildcardFoldersLeftOutHiddenAndSystemIn) {
  wchar_t windows[MAX_PATH];
  GetSystemWindowsDirectoryW(windows, MAX_PATH);
  const std::wstring drivers = std::wstring(windows) + L"\\system32\\drivers\\";
  const DWORD hidden_system = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
  for (const wchar_t* name : {L"KxWinTest_b.sys", L"KxWinTest_a.sys", L"KxWinTest.sys",
                              L"KxWinTest_h.sys", L"KxWinTest_s.sys"}) {
    HANDLE file = CreateFileW((drivers + name).c_str(), GENERIC_WRITE, 0, nullptr,
                              CREATE_ALWAYS, 0, nullptr);
    CloseHandle(file);
  }
  SetFileAttributesW((drivers + L"KxWinTest_b.sys").c_str(), hidden_system);
  SetFileAttributesW((drivers + L"KxWinTest_h.sys").c_str(), FILE_ATTRIBUTE_HIDDEN);
  SetFileAttributesW((drivers + L"KxWinTest_s.sys").c_str(), FILE_ATTRIBUTE_SYSTEM);
  CreateDirectoryW((drivers + L"KxWinTest_dir.sys").c_str(), nullptr);

  std::wstring directory;
  std::vector<WindowsFile> files;
  EXPECT_EQ(0, FindWindowsFiles(L"system32\\drivers", L"KxWinTest_*.sys", &directory, &files));
  std::vector<std::wstring> names;
  for (const WindowsFile& file : files) {
    names.push_back(file.name + (file.hidden ? L" H" : L"") + (file.system ? L" S" : L""));
  }
  std::sort(names.begin(), names.end());
  EXPECT_EQ((std::vector<std::wstring>{L"KxWinTest_a.sys", L"KxWinTest_b.sys H S",
                                       L"KxWinTest_h.sys H", L"KxWinTest_s.sys S"}),
            names);
  EXPECT_EQ(drivers.substr(0, drivers.size() - 1), directory);

  EXPECT_EQ(0, FindWindowsFiles(L"system32\\drivers", L"KxNoSuch_*.sys", &directory, &files));
  EXPECT_TRUE(files.empty());
  EXPECT_NE(0, FindWindowsFiles(L"system32\\kx-no-such-folder", L"*.sys", &directory, &files));

  for (const wchar_t* name : {L"KxWinTest_b.sys", L"KxWinTest_a.sys", L"KxWinTest.sys",
                              L"KxWinTest_h.sys", L"KxWinTest_s.sys"}) {
    SetFileAttributesW((drivers + name).c_str(), FILE_ATTRIBUTE_NORMAL);
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
