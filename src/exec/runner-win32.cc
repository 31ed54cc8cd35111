#include "exec/runner.h"

#include <windows.h>
#include <shellapi.h>

namespace {

void ReportLastLaunchFailure() {
  const DWORD error = GetLastError();
  wchar_t* message = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS |
          FORMAT_MESSAGE_FROM_SYSTEM,
      nullptr, error, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
      reinterpret_cast<wchar_t*>(&message), 0, nullptr);
  ReportLaunchFailure(static_cast<int>(error), length != 0 ? message : L"");
  if (message != nullptr) LocalFree(message);
}

}  // namespace

int RunProgram(const std::wstring& program, const std::wstring& parameters) {
  SHELLEXECUTEINFOW info = {};
  info.cbSize = sizeof(info);
  // No message box when the program cannot be found or started: nobody may be
  // there to dismiss it (a run as SYSTEM), and the launch failure report
  // says it instead.
  info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
  info.hwnd = nullptr;
  info.lpVerb = nullptr;
  info.lpFile = program.c_str();
  info.lpParameters = parameters.c_str();
  info.lpDirectory = nullptr;
  info.nShow = SW_HIDE;

  int status = 0;
  // An empty name is never handed to the shell, which would make something of
  // it in the working directory.
  if (program.empty()) SetLastError(ERROR_FILE_NOT_FOUND);
  if (program.empty() || !ShellExecuteExW(&info)) {
    ReportLastLaunchFailure();
    return -1;
  }
  if (info.hProcess != nullptr) {
    WaitForSingleObject(info.hProcess, INFINITE);
    DWORD exit_code = 0;
    // An exit code that cannot be read must not pass for success.
    status = GetExitCodeProcess(info.hProcess, &exit_code)
                 ? static_cast<int>(exit_code)
                 : -1;
    CloseHandle(info.hProcess);
  }
  return status;
}
