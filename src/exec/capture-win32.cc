#include "exec/capture.h"

#include <windows.h>

#include <vector>

#include "exec/files.h"

namespace {

bool IsFile(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES &&
         (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

std::wstring Environment(const wchar_t* name) {
  const DWORD size = GetEnvironmentVariableW(name, nullptr, 0);
  if (size == 0) return std::wstring();
  std::wstring value(size, L'\0');
  const DWORD length = GetEnvironmentVariableW(name, value.data(), size);
  value.resize(length < size ? length : 0);
  return value;
}

std::wstring CurrentDirectory() {
  const DWORD size = GetCurrentDirectoryW(0, nullptr);
  if (size == 0) return std::wstring();
  std::wstring value(size, L'\0');
  const DWORD length = GetCurrentDirectoryW(size, value.data());
  value.resize(length < size ? length : 0);
  return value;
}

std::wstring InFolder(std::wstring folder, const wchar_t* name) {
  if (!folder.empty() && folder.back() != L'\\' && folder.back() != L'/') {
    folder += L'\\';
  }
  return folder + name;
}

// The working directory, then each folder on PATH (quotes around a folder
// are dropped, empty entries skipped), as the interpreter searches.
std::wstring FindDeviceConsole() {
  const wchar_t* const name = L"devcon.exe";
  std::wstring candidate = InFolder(CurrentDirectory(), name);
  if (IsFile(candidate)) return candidate;
  const std::wstring path = Environment(L"PATH");
  std::wstring::size_type start = 0;
  while (start <= path.size()) {
    std::wstring::size_type end = path.find(L';', start);
    if (end == std::wstring::npos) end = path.size();
    std::wstring folder = path.substr(start, end - start);
    start = end + 1;
    if (folder.size() >= 2 && folder.front() == L'"' && folder.back() == L'"') {
      folder = folder.substr(1, folder.size() - 2);
    }
    if (folder.empty()) continue;
    candidate = InFolder(folder, name);
    if (IsFile(candidate)) return candidate;
  }
  return std::wstring();
}

}  // namespace

bool CaptureDeviceConsole(const std::wstring& parameters, std::string* output,
                          unsigned long* exit_code, std::wstring* failure) {
  output->clear();
  *exit_code = 0;
  const std::wstring program = FindDeviceConsole();
  if (program.empty()) {
    *failure = L"devcon.exe is neither in the working directory nor on PATH";
    return false;
  }

  // Only the pipe's write end and the null device are handed down.
  SECURITY_ATTRIBUTES inheritable = {};
  inheritable.nLength = sizeof(inheritable);
  inheritable.bInheritHandle = TRUE;
  HANDLE read_end = nullptr;
  HANDLE write_end = nullptr;
  if (!CreatePipe(&read_end, &write_end, &inheritable, 0)) {
    *failure = L"no pipe for devcon's output: " + SystemErrorText(static_cast<long>(GetLastError()));
    return false;
  }
  SetHandleInformation(read_end, HANDLE_FLAG_INHERIT, 0);
  HANDLE null_device = CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE,
                                   &inheritable, OPEN_EXISTING, 0, nullptr);

  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = null_device;
  startup.hStdOutput = write_end;
  startup.hStdError = null_device;
  std::wstring command_line = L"\"" + program + L"\" " + parameters;
  PROCESS_INFORMATION process = {};
  const BOOL started = CreateProcessW(
      program.c_str(), command_line.data(), nullptr, nullptr, TRUE,
      CREATE_NO_WINDOW, nullptr, nullptr, &startup, &process);
  const DWORD start_error = GetLastError();
  // The child holds its own copies: once they close, the read ends.
  CloseHandle(write_end);
  if (null_device != INVALID_HANDLE_VALUE) CloseHandle(null_device);
  if (!started) {
    CloseHandle(read_end);
    *failure = L"devcon could not be started (" + program +
               L"): " + SystemErrorText(static_cast<long>(start_error));
    return false;
  }
  CloseHandle(process.hThread);

  char buffer[16 * 1024];
  DWORD got = 0;
  while (ReadFile(read_end, buffer, sizeof(buffer), &got, nullptr) && got > 0) {
    output->append(buffer, got);
  }
  CloseHandle(read_end);

  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD code = 0;
  const BOOL have_code = GetExitCodeProcess(process.hProcess, &code);
  const DWORD code_error = GetLastError();
  CloseHandle(process.hProcess);
  if (!have_code) {
    *failure = L"devcon's exit code could not be read: " +
               SystemErrorText(static_cast<long>(code_error));
    return false;
  }
  *exit_code = code;
  return true;
}
