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

ProgramRun StartHiddenAndWait(const std::wstring& program,
                              const std::wstring& parameters,
                              unsigned long time_limit_ms) {
  ProgramRun run;
  // An empty name is never handed to the shell, which would make something of
  // it in the working directory.
  if (program.empty()) {
    run.error = ERROR_FILE_NOT_FOUND;
    return run;
  }
  SHELLEXECUTEINFOW info = {};
  info.cbSize = sizeof(info);
  // No message box when the program cannot be found or started: nobody may be
  // there to dismiss it (a run as SYSTEM), and the launch failure report
  // says it instead. NOASYNC: the tool's thread has no message loop, which
  // the shell may need to finish the start.
  info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI | SEE_MASK_NOASYNC;
  info.hwnd = nullptr;
  info.lpVerb = nullptr;
  info.lpFile = program.c_str();
  info.lpParameters = parameters.c_str();
  info.lpDirectory = nullptr;
  info.nShow = SW_HIDE;
  if (!ShellExecuteExW(&info)) {
    run.error = static_cast<long>(GetLastError());
    return run;
  }
  if (info.hProcess == nullptr) {
    run.end = ProgramEnd::kNoProcess;
    return run;
  }
  // The shell cannot start a program suspended: what it starts before this
  // escapes the job, and EndProcessTree finds it by its parent.
  HANDLE job = JobEndingWithCaller();
  if (job != nullptr && !AssignProcessToJobObject(job, info.hProcess)) {
    CloseHandle(job);
    job = nullptr;
  }
  const DWORD waited = WaitForSingleObject(info.hProcess, time_limit_ms);
  DWORD exit_code = 0;
  if (waited != WAIT_OBJECT_0) {
    EndProcessTree(job, info.hProcess);
    run.end = waited == WAIT_TIMEOUT ? ProgramEnd::kTimedOut : ProgramEnd::kNoExitCode;
  } else if (GetExitCodeProcess(info.hProcess, &exit_code)) {
    run.end = ProgramEnd::kExited;
    run.exit_code = exit_code;
    KeepJobProcessesOnClose(job);
  } else {
    // An exit code that cannot be read must not pass for success.
    run.end = ProgramEnd::kNoExitCode;
  }
  CloseHandle(info.hProcess);
  // Ends whatever of it is still running, unless it ended by itself.
  if (job != nullptr) CloseHandle(job);
  return run;
}
