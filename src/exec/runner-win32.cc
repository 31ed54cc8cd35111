#include "exec/runner.h"

#include <windows.h>
#include <shellapi.h>

#include "exec/process_tree.h"

std::wstring LaunchErrorText(long code) {
  wchar_t* message = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS |
          FORMAT_MESSAGE_FROM_SYSTEM,
      nullptr, static_cast<DWORD>(code), MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
      reinterpret_cast<wchar_t*>(&message), 0, nullptr);
  std::wstring text = length != 0 ? std::wstring(message, length) : std::wstring();
  if (message != nullptr) LocalFree(message);
  return text;
}

ShellStart StartHidden(const std::wstring& program, const std::wstring& parameters) {
  SHELLEXECUTEINFOW info = {};
  info.cbSize = sizeof(info);
  // No message box when the program cannot be found or started: nobody may be
  // there to dismiss it (a run as SYSTEM), and the launch failure report
  // says it instead. NOASYNC: the tool's thread has no message loop, which
  // the shell may need to finish the start. NOZONECHECKS: a devcon.exe from
  // a downloaded archive that was not unblocked would otherwise make the
  // shell ask before every start, and hold an unattended run.
  info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI | SEE_MASK_NOASYNC |
               SEE_MASK_NOZONECHECKS;
  info.hwnd = nullptr;
  info.lpVerb = nullptr;
  info.lpFile = program.c_str();
  info.lpParameters = parameters.c_str();
  info.lpDirectory = nullptr;
  info.nShow = SW_HIDE;
  ShellStart start;
  if (!ShellExecuteExW(&info)) {
    start.error = static_cast<long>(GetLastError());
    return start;
  }
  start.started = true;
  start.program.process = info.hProcess;
  if (info.hProcess == nullptr) return start;
  // The shell cannot start a program suspended: what it starts before this
  // escapes the job, and EndProcessTree finds it by its parent.
  HANDLE job = JobEndingWithCaller();
  if (job != nullptr && !AssignProcessToJobObject(job, info.hProcess)) {
    CloseHandle(job);
    job = nullptr;
  }
  start.program.job = job;
  return start;
}

ProgramWait WaitForProgram(const StartedProgram& program, unsigned long time_limit_ms) {
  switch (WaitForSingleObject(static_cast<HANDLE>(program.process), time_limit_ms)) {
    case WAIT_OBJECT_0:
      return ProgramWait::kEnded;
    case WAIT_TIMEOUT:
      return ProgramWait::kTimedOut;
    default:
      return ProgramWait::kFailed;
  }
}

bool ReadExitCode(const StartedProgram& program, unsigned long* exit_code) {
  DWORD code = 0;
  if (!GetExitCodeProcess(static_cast<HANDLE>(program.process), &code)) return false;
  *exit_code = code;
  return true;
}

void EndProgramTree(const StartedProgram& program) {
  EndProcessTree(program.job, program.process);
}

void ReleaseProgram(const StartedProgram& program, bool leave_running) {
  if (program.process != nullptr) CloseHandle(static_cast<HANDLE>(program.process));
  if (program.job == nullptr) return;
  if (leave_running) LeaveJobRunning(program.job);
  CloseHandle(static_cast<HANDLE>(program.job));
}
