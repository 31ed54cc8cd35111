#include "exec/capture.h"

#include <windows.h>

#include <cwchar>
#include <vector>

#include "exec/files.h"
#include "exec/process_tree.h"
#include "exec/program_search.h"
#include "exec/time_limit.h"

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

// Whether the file ends in `extension`, in any letter case.
bool HasExtension(const std::wstring& file, const wchar_t* extension) {
  const std::wstring::size_type size = std::wcslen(extension);
  return file.size() >= size &&
         CompareStringOrdinal(file.c_str() + file.size() - size, static_cast<int>(size),
                              extension, static_cast<int>(size), TRUE) == CSTR_EQUAL;
}

// The devcon the cleanup's interpreter runs, found as it finds it; or why
// there is none the check can start: a devcon.bat or devcon.cmd first in the
// search would take an interpreter, which the check does not run, and
// another devcon further on is not what the cleanup uses.
bool FindDeviceConsole(std::wstring* program, std::wstring* failure) {
  ProgramSearch search;
  search.working_directory = CurrentDirectory();
  search.search_working_directory = NeedCurrentDirectoryForExePathW(L"devcon") != FALSE;
  search.path = Environment(L"PATH");
  search.path_extensions = Environment(L"PATHEXT");
  *program = FindAsInterpreterDoes(L"devcon", search, IsFile);
  if (program->empty()) {
    *failure = search.search_working_directory
                   ? L"devcon.exe is neither in the working directory nor on PATH"
                   : L"devcon.exe is not on PATH, and the working directory is not "
                     L"searched (NoDefaultCurrentDirectoryInExePath is set)";
    return false;
  }
  if (!HasExtension(*program, L".exe") && !HasExtension(*program, L".com")) {
    *failure = L"the cleanup's interpreter would run " + *program +
               L", which the check does not run";
    return false;
  }
  return true;
}

// A pipe whose write end the child inherits and whose read end stays here.
struct Pipe {
  HANDLE read_end = nullptr;
  HANDLE write_end = nullptr;
  bool open = true;  // until every write end has closed
};

bool MakePipe(SECURITY_ATTRIBUTES* inheritable, Pipe* pipe) {
  if (!CreatePipe(&pipe->read_end, &pipe->write_end, inheritable, 0)) {
    pipe->read_end = nullptr;
    pipe->write_end = nullptr;
    return false;
  }
  SetHandleInformation(pipe->read_end, HANDLE_FLAG_INHERIT, 0);
  return true;
}

void CloseIfSet(HANDLE* handle) {
  if (*handle != nullptr && *handle != INVALID_HANDLE_VALUE) CloseHandle(*handle);
  *handle = nullptr;
}

// Reads what the pipe holds now, without waiting for more. Returns true when
// it read something; marks the pipe closed once its writers are gone.
bool Drain(Pipe* pipe, std::string* bytes) {
  if (!pipe->open) return false;
  DWORD available = 0;
  if (!PeekNamedPipe(pipe->read_end, nullptr, 0, nullptr, &available, nullptr)) {
    pipe->open = false;
    return false;
  }
  if (available == 0) return false;
  char buffer[16 * 1024];
  const DWORD wanted = available < sizeof(buffer) ? available : sizeof(buffer);
  DWORD got = 0;
  if (!ReadFile(pipe->read_end, buffer, wanted, &got, nullptr)) {
    pipe->open = false;
    return false;
  }
  bytes->append(buffer, got);
  return got > 0;
}

// Everything one run holds, closed in one place whatever the way out.
struct RunHandles {
  Pipe output;
  Pipe errors;
  HANDLE null_device = INVALID_HANDLE_VALUE;
  HANDLE job = nullptr;
  HANDLE process = nullptr;
  std::vector<unsigned char> attributes;  // a PROC_THREAD_ATTRIBUTE_LIST
  bool attributes_ready = false;

  RunHandles() = default;
  RunHandles(const RunHandles&) = delete;
  RunHandles& operator=(const RunHandles&) = delete;

  LPPROC_THREAD_ATTRIBUTE_LIST AttributeList() {
    return reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(attributes.data());
  }

  void CloseWriteEnds() {
    CloseIfSet(&output.write_end);
    CloseIfSet(&errors.write_end);
    CloseIfSet(&null_device);
  }

  ~RunHandles() {
    CloseWriteEnds();
    CloseIfSet(&output.read_end);
    CloseIfSet(&errors.read_end);
    CloseIfSet(&process);
    // Ends the tool if it is still running.
    CloseIfSet(&job);
    if (attributes_ready) DeleteProcThreadAttributeList(AttributeList());
  }
};

std::wstring LastErrorText() {
  return SystemErrorText(static_cast<long>(GetLastError()));
}

// Hands down exactly these handles, none of this process's other
// inheritable ones.
bool InheritOnly(HANDLE* handles, DWORD count, RunHandles* run) {
  SIZE_T size = 0;
  InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
  if (size == 0) return false;
  run->attributes.assign(size, 0);
  if (!InitializeProcThreadAttributeList(run->AttributeList(), 1, 0, &size)) {
    return false;
  }
  run->attributes_ready = true;
  return UpdateProcThreadAttribute(run->AttributeList(), 0,
                                   PROC_THREAD_ATTRIBUTE_HANDLE_LIST, handles,
                                   count * sizeof(HANDLE), nullptr, nullptr) != 0;
}

}  // namespace

CaptureResult CaptureDeviceConsole(const std::wstring& parameters,
                                   unsigned long time_limit_ms,
                                   DeviceConsoleRun* run,
                                   std::wstring* failure) {
  *run = DeviceConsoleRun();
  std::wstring program;
  if (!FindDeviceConsole(&program, failure)) return CaptureResult::kNotStarted;

  SECURITY_ATTRIBUTES inheritable = {};
  inheritable.nLength = sizeof(inheritable);
  inheritable.bInheritHandle = TRUE;
  RunHandles handles;
  if (!MakePipe(&inheritable, &handles.output) ||
      !MakePipe(&inheritable, &handles.errors)) {
    *failure = L"no pipe for devcon's output: " + LastErrorText();
    return CaptureResult::kNotStarted;
  }
  handles.null_device = CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    &inheritable, OPEN_EXISTING, 0, nullptr);
  if (handles.null_device == INVALID_HANDLE_VALUE) {
    *failure = L"the null device could not be opened: " + LastErrorText();
    return CaptureResult::kNotStarted;
  }
  HANDLE inherited[] = {handles.null_device, handles.output.write_end,
                        handles.errors.write_end};
  if (!InheritOnly(inherited, 3, &handles)) {
    *failure = L"devcon's handles could not be listed: " + LastErrorText();
    return CaptureResult::kNotStarted;
  }

  STARTUPINFOEXW startup = {};
  startup.StartupInfo.cb = sizeof(startup);
  startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
  startup.StartupInfo.hStdInput = handles.null_device;
  startup.StartupInfo.hStdOutput = handles.output.write_end;
  startup.StartupInfo.hStdError = handles.errors.write_end;
  startup.lpAttributeList = handles.AttributeList();
  std::wstring command_line = L"\"" + program + L"\" " + parameters;
  PROCESS_INFORMATION process = {};
  // Suspended until it is in the job: it cannot start anything outside it.
  const BOOL started = CreateProcessW(
      program.c_str(), command_line.data(), nullptr, nullptr, TRUE,
      CREATE_NO_WINDOW | CREATE_SUSPENDED | EXTENDED_STARTUPINFO_PRESENT,
      nullptr, nullptr, &startup.StartupInfo, &process);
  const DWORD start_error = GetLastError();
  // The child holds its own copies: once they close, the pipes end.
  handles.CloseWriteEnds();
  if (!started) {
    *failure = L"devcon could not be started (" + program +
               L"): " + SystemErrorText(static_cast<long>(start_error));
    return CaptureResult::kNotStarted;
  }
  handles.process = process.hProcess;
  // Without a job (the system refused one) the time limit still holds.
  handles.job = static_cast<HANDLE>(JobEndingWithCaller());
  if (handles.job != nullptr &&
      !AssignProcessToJobObject(handles.job, process.hProcess)) {
    CloseIfSet(&handles.job);
  }
  ResumeThread(process.hThread);
  CloseHandle(process.hThread);

  // Both pipes are read as they fill, so that the tool never blocks on a
  // full one, until both end or the time is up.
  const ULONGLONG deadline = GetTickCount64() + time_limit_ms;
  bool timed_out = false;
  for (;;) {
    const bool got_output = Drain(&handles.output, &run->output);
    const bool got_errors = Drain(&handles.errors, &run->errors);
    if (!handles.output.open && !handles.errors.open) break;
    if (GetTickCount64() >= deadline) {
      timed_out = true;
      break;
    }
    if (got_output || got_errors) continue;
    if (WaitForSingleObject(handles.process, 5) == WAIT_OBJECT_0) Sleep(1);
  }
  if (!timed_out) {
    const ULONGLONG now = GetTickCount64();
    const DWORD left = now < deadline ? static_cast<DWORD>(deadline - now) : 0;
    timed_out = WaitForSingleObject(handles.process, left) != WAIT_OBJECT_0;
  }
  if (timed_out) {
    EndProcessTree(handles.job, handles.process);
    *failure = L"devcon did not finish within " + TimeLimitText(time_limit_ms);
    return CaptureResult::kTimedOut;
  }

  DWORD code = 0;
  if (!GetExitCodeProcess(handles.process, &code)) {
    *failure = L"devcon's exit code could not be read: " + LastErrorText();
    return CaptureResult::kNotStarted;
  }
  run->exit_code = code;
  return CaptureResult::kFinished;
}
