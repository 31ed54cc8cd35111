// The command runner on the real Windows API (under Wine in the build).
// KOVEX_DEVCON names the device console simulator, used here as a program
// whose exit, crash and delay can be ordered through its state file.
#include <windows.h>
#include <objbase.h>
#include <shellapi.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <string>

#include "exec/process_tree.h"
#include "exec/runner.h"
#include "exec/tools.h"
#include "gtest/gtest.h"
#include "tests/unit/fakes.h"
#include "tests/win32/running_processes.h"

namespace {

// Widens a path, turning its slashes into backslashes.
std::wstring WindowsPath(const std::string& path) {
  std::wstring wide(path.begin(), path.end());
  for (wchar_t& c : wide) {
    if (c == L'/') c = L'\\';
  }
  return wide;
}

// Runs the simulator with `arguments`, its state file holding `state`.
int RunSimulator(const std::string& state, const wchar_t* arguments) {
  const char* devcon = std::getenv("KOVEX_DEVCON");
  if (devcon == nullptr) {
    ADD_FAILURE() << "KOVEX_DEVCON is not set";
    return -2;
  }
  const std::string state_path = "runner-test-state.txt";
  std::FILE* file = std::fopen(state_path.c_str(), "wb");
  std::fputs(state.c_str(), file);
  std::fclose(file);
  SetEnvironmentVariableW(L"DEVCON_SIM_STATE", WindowsPath(state_path).c_str());
  const int status = RunProgram(WindowsPath(devcon), arguments);
  std::remove(state_path.c_str());
  return status;
}

// How many processes of the started program are running; with `end`, ends
// them too.
int VisitStartedPrograms(bool end) {
  return VisitProcessesNamed(L"started_program.exe", end);
}

// The count once it has settled at `expected`, or after ten seconds; with
// `end`, then ends them all, so that a failed test leaves none holding the
// test run's output.
int StartedProgramsRunning(int expected, bool end = false) {
  int count = VisitStartedPrograms(false);
  for (int waited = 0; waited < 200 && count != expected; ++waited) {
    Sleep(50);
    count = VisitStartedPrograms(false);
  }
  if (end) VisitStartedPrograms(true);
  return count;
}

std::wstring StartedProgramPath() {
  const char* program = std::getenv("KOVEX_STARTED_PROGRAM");
  if (program == nullptr) {
    ADD_FAILURE() << "KOVEX_STARTED_PROGRAM is not set";
    return std::wstring();
  }
  return WindowsPath(program);
}

}  // namespace

TEST(RunProgramWithin, ProgramPastItsLimitIsEndedWithWhatItStarted) {
  const std::wstring program = StartedProgramPath();
  printed.clear();
  auto run = std::async(std::launch::async,
                        [&program] { return RunProgramWithin(program, L" tree", 4000); });
  // The program and the one it started, both running before the limit.
  EXPECT_EQ(2, StartedProgramsRunning(2));
  EXPECT_EQ(-1, run.get());
  EXPECT_EQ(0, StartedProgramsRunning(0, true)) << "a process of it was left running";
  std::string narrow(program.begin(), program.end());
  EXPECT_EQ("\t Not finished within 4 s, ended: " + narrow + " tree\n", printed);
}

TEST(RunProgramWithin, ProgramEndingByItselfLeavesWhatItStartedRunning) {
  // A class installer's helper that outlives devcon finishes its work.
  printed.clear();
  EXPECT_EQ(0, RunProgramWithin(StartedProgramPath(), L" leave", 20000));
  Sleep(500);
  EXPECT_EQ(1, StartedProgramsRunning(1, true)) << "what it started was ended with it";
  EXPECT_EQ("", printed);
}

TEST(EndProcessTree, EndsWhatTheProgramStartedOutsideAnyJob) {
  // Started outside any job, as what a program started before it was put
  // into one: only its parent's process ID tells it belongs.
  std::wstring command_line = L"\"" + StartedProgramPath() + L"\" tree";
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  ASSERT_TRUE(CreateProcessW(nullptr, command_line.data(), nullptr, nullptr, FALSE,
                             CREATE_NO_WINDOW, nullptr, nullptr, &startup, &process));
  CloseHandle(process.hThread);
  EXPECT_EQ(2, StartedProgramsRunning(2));
  EndProcessTree(nullptr, process.hProcess);
  CloseHandle(process.hProcess);
  EXPECT_EQ(0, StartedProgramsRunning(0, true)) << "what it started was left running";
}

TEST(RunProgram, ReturnsTheInterpretersExitCode) {
  printed.clear();
  const std::wstring cmd = CommandInterpreterPath();
  EXPECT_EQ(0, RunProgram(cmd, L" /C exit 0"));
  EXPECT_EQ(3, RunProgram(cmd, L" /C exit 3"));
  EXPECT_EQ(9009, RunProgram(cmd, L" /C exit 9009"));
  EXPECT_EQ("", printed);
}

TEST(RunProgram, InitialisesComBeforeTheShellStartsAProgram) {
  // On a thread of its own, whose COM no other test touched.
  auto asked = std::async(std::launch::async, [] {
    RunProgram(CommandInterpreterPath(), L" /D /C exit 0");
    // S_FALSE: COM was initialised on this thread already, apartment-
    // threaded; S_OK would mean the start found it not initialised.
    const HRESULT again = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (SUCCEEDED(again)) CoUninitialize();
    return again;
  });
  EXPECT_EQ(S_FALSE, asked.get());
}

TEST(CommandInterpreterPath, IsTheSystemsOwnNotOnePlantedInTheWorkingDirectory) {
  // A "cmd.exe" in the working directory: the simulator, which answers
  // " /C exit 7" with its usage code 3.
  const char* devcon = std::getenv("KOVEX_DEVCON");
  ASSERT_NE(nullptr, devcon) << "KOVEX_DEVCON is not set";
  ASSERT_TRUE(CopyFileW(WindowsPath(devcon).c_str(), L"cmd.exe", FALSE));
  SetEnvironmentVariableW(L"DEVCON_SIM_STATE", nullptr);
  const int by_bare_name = RunProgram(L"cmd", L" /C exit 7");
  const std::wstring path = CommandInterpreterPath();
  const int by_path = RunProgram(path, L" /C exit 7");
  DeleteFileW(L"cmd.exe");

  EXPECT_EQ(3, by_bare_name) << "the planted program should be what a bare name finds";
  EXPECT_EQ(7, by_path);
  ASSERT_GT(path.size(), 3u);
  EXPECT_EQ(L":\\", path.substr(1, 2));
  EXPECT_EQ(L"\\cmd.exe", path.substr(path.size() - 8));
}

TEST(RunProgram, EmptyProgramStartsNothingAndIsALaunchFailure) {
  printed.clear();
  EXPECT_EQ(-1, RunProgram(L"", L" /C exit 0"));
  EXPECT_EQ(0u, printed.find("\t \t Failed to launch process Error Code 2: "))
      << printed;
}

TEST(RunProgram, WaitsForTheProgramToEnd) {
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(0, RunSimulator("fault rescan sleep 1500\n", L" rescan "));
  EXPECT_GE(std::chrono::steady_clock::now() - start,
            std::chrono::milliseconds(1400));
}

TEST(RunProgram, NonZeroExitAndCrashAreStatusesNotLaunchFailures) {
  printed.clear();
  EXPECT_EQ(2, RunSimulator("fault rescan exit 2\n", L" rescan "));
  const int crashed = RunSimulator("fault rescan crash\n", L" rescan ");
  EXPECT_NE(0, crashed);
  EXPECT_NE(-1, crashed);
  EXPECT_EQ("", printed);
}

TEST(RunProgram, UnknownProgramReportsTheSystemsCodeAndTextAndReturnsMinusOne) {
  // What the shell itself says when asked the same, with no dialog, and the
  // system's text for that code: "file not found" (2). Wine, when it is let
  // show its dialog, answers 1400 (no window) instead.
  SHELLEXECUTEINFOW info = {};
  info.cbSize = sizeof(info);
  info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI | SEE_MASK_NOASYNC;
  info.lpFile = L"kovex-no-such-program";
  info.nShow = SW_HIDE;
  ASSERT_FALSE(ShellExecuteExW(&info));
  const DWORD code = GetLastError();
  wchar_t* text = nullptr;
  ASSERT_NE(0u, FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER |
                                   FORMAT_MESSAGE_IGNORE_INSERTS |
                                   FORMAT_MESSAGE_FROM_SYSTEM,
                               nullptr, code, 0, reinterpret_cast<wchar_t*>(&text),
                               0, nullptr));
  std::string expected_text;
  for (const wchar_t* c = text; *c != L'\0'; ++c) {
    expected_text.push_back(*c <= 0xFF ? static_cast<char>(*c) : '?');
  }
  LocalFree(text);
  ASSERT_NE(0u, code);

  EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), code);

  printed.clear();
  EXPECT_EQ(-1, RunProgram(L"kovex-no-such-program", L" rescan "));
  EXPECT_EQ("\t \t Failed to launch process Error Code " + std::to_string(code) +
                ": " + expected_text + "\n",
            printed);
}
