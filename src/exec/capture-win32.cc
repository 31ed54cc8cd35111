#include "exec/capture.h"

#include <windows.h>
#include <bcrypt.h>
#include <sddl.h>

#include <string>
#include <vector>

#include "exec/files.h"
#include "exec/process_tree.h"
#include "exec/time_limit.h"

namespace {

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

// What the pipes hold before devcon must wait for the check to read: a
// listing's burst (a driver store of thousands of packages) fits whole.
constexpr DWORD kPipeBytes = 1024 * 1024;
constexpr DWORD kReadBytes = 64 * 1024;

// Frees a security descriptor of ConvertStringSecurityDescriptorToSecurityDescriptorW.
struct LocalDescriptor {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  ~LocalDescriptor() {
    if (descriptor != nullptr) LocalFree(descriptor);
  }
};

// A pipe whose write end the child inherits and whose read end stays here,
// read with overlapped reads, so that both pipes, the process and the time
// limit are waited for together.
struct Pipe {
  HANDLE read_end = nullptr;
  HANDLE write_end = nullptr;
  HANDLE event = nullptr;
  OVERLAPPED overlapped = {};
  std::vector<char> buffer;
};

// A named pipe of this run's own: anonymous pipes cannot be read
// overlapped. Its name is 128 random bits that no other process can
// predict, and cannot be taken before (first instance only); only this
// process's user and SYSTEM may open it (`security`), and no other machine
// may connect.
bool MakePipe(SECURITY_ATTRIBUTES* security, SECURITY_ATTRIBUTES* inheritable,
              Pipe* pipe) {
  const std::wstring name = NewPipeName();
  if (name.empty()) return false;
  // Bytes, read in blocking mode (PIPE_TYPE_BYTE, PIPE_READMODE_BYTE and
  // PIPE_WAIT are all 0).
  pipe->read_end = CreateNamedPipeW(
      name.c_str(), PIPE_ACCESS_INBOUND | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
      PIPE_REJECT_REMOTE_CLIENTS, 1, kPipeBytes, kPipeBytes, 0, security);
  if (pipe->read_end == INVALID_HANDLE_VALUE) {
    pipe->read_end = nullptr;
    return false;
  }
  pipe->write_end = CreateFileW(name.c_str(), GENERIC_WRITE, 0, inheritable,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (pipe->write_end == INVALID_HANDLE_VALUE) {
    pipe->write_end = nullptr;
    return false;
  }
  pipe->event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  pipe->buffer.resize(kReadBytes);
  return pipe->event != nullptr;
}

void CloseIfSet(HANDLE* handle) {
  if (*handle != nullptr && *handle != INVALID_HANDLE_VALUE) CloseHandle(*handle);
  *handle = nullptr;
}

// 0 when ReadFile or GetOverlappedResult completed the read, else the
// system's error code.
long ReadError(BOOL done) { return done ? 0 : static_cast<long>(GetLastError()); }

// Gives up a read under way, if any; its buffer is not written to afterwards.
void CancelRead(Pipe* pipe) {
  if (pipe->read_end == nullptr) return;
  if (CancelIoEx(pipe->read_end, &pipe->overlapped)) {
    DWORD got = 0;
    GetOverlappedResult(pipe->read_end, &pipe->overlapped, &got, TRUE);
  }
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
    CancelRead(&output);
    CancelRead(&errors);
    CloseIfSet(&output.read_end);
    CloseIfSet(&errors.read_end);
    CloseIfSet(&output.event);
    CloseIfSet(&errors.event);
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

class Win32PipeReads : public PipeReads {
 public:
  explicit Win32PipeReads(RunHandles* handles)
      : pipes_{&handles->output, &handles->errors}, process_(handles->process) {}

  long Start(int which) override {
    Pipe* pipe = pipes_[which];
    pipe->overlapped = OVERLAPPED();
    pipe->overlapped.hEvent = pipe->event;
    ResetEvent(pipe->event);
    const BOOL done = ReadFile(pipe->read_end, pipe->buffer.data(), kReadBytes,
                               nullptr, &pipe->overlapped);
    // One that completes at once is taken in by Finish like a later one.
    if (done) SetEvent(pipe->event);
    return ReadError(done);
  }

  long Finish(int which, std::string* bytes) override {
    Pipe* pipe = pipes_[which];
    DWORD got = 0;
    const BOOL done =
        GetOverlappedResult(pipe->read_end, &pipe->overlapped, &got, FALSE);
    if (done) bytes->append(pipe->buffer.data(), got);
    return ReadError(done);
  }

  PipeWake Wait(const bool reading[2], bool for_process, unsigned long long ms,
                long* error) override {
    HANDLE events[3];
    DWORD count = 0;
    for (int which = 0; which < 2; ++which) {
      if (reading[which]) events[count++] = pipes_[which]->event;
    }
    const DWORD process = count;
    if (for_process) events[count++] = process_;
    const DWORD waited = WaitForMultipleObjects(
        count, events, FALSE, ms < INFINITE ? static_cast<DWORD>(ms) : INFINITE - 1);
    if (waited == WAIT_TIMEOUT) return PipeWake::kTimedOut;
    if (for_process && waited == WAIT_OBJECT_0 + process) return PipeWake::kProcessEnded;
    if (waited < WAIT_OBJECT_0 + count) return PipeWake::kRead;
    *error = static_cast<long>(GetLastError());
    return PipeWake::kFailed;
  }

  unsigned long long NowMs() override { return MonotonicMs(); }

 private:
  Pipe* pipes_[2];
  HANDLE process_;
};

// The start StartDevcon decides, carried out: exactly the handles it lists
// are inherited, with the flags it asks for.
class Win32DevconStarter : public DevconStarter {
 public:
  Win32DevconStarter(const std::wstring& program, const std::wstring& parameters,
                     RunHandles* handles)
      : program_(program), parameters_(parameters), handles_(handles) {}
  Win32DevconStarter(const Win32DevconStarter&) = delete;
  Win32DevconStarter& operator=(const Win32DevconStarter&) = delete;
  ~Win32DevconStarter() override {
    if (thread_ != nullptr) CloseHandle(thread_);
  }

  std::wstring Create(const DevconStart& start) override {
    std::vector<HANDLE> inherited(start.inherited.begin(), start.inherited.end());
    if (!InheritOnly(inherited.data(), static_cast<DWORD>(inherited.size()), handles_)) {
      return L"devcon's handles could not be listed: " + LastErrorText();
    }
    STARTUPINFOEXW startup = {};
    startup.StartupInfo.cb = sizeof(startup);
    startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
    startup.StartupInfo.hStdInput = static_cast<HANDLE>(start.input);
    startup.StartupInfo.hStdOutput = static_cast<HANDLE>(start.output);
    startup.StartupInfo.hStdError = static_cast<HANDLE>(start.errors);
    startup.lpAttributeList = handles_->AttributeList();
    std::wstring command_line = L"\"" + program_ + L"\" " + parameters_;
    PROCESS_INFORMATION process = {};
    const DWORD flags = EXTENDED_STARTUPINFO_PRESENT |
                        (start.no_window ? CREATE_NO_WINDOW : 0) |
                        (start.suspended ? CREATE_SUSPENDED : 0);
    const BOOL started =
        CreateProcessW(program_.c_str(), command_line.data(), nullptr, nullptr, TRUE, flags,
                       nullptr, nullptr, &startup.StartupInfo, &process);
    const DWORD start_error = GetLastError();
    // The child holds its own copies: once they close, the pipes end.
    handles_->CloseWriteEnds();
    if (!started) {
      return L"devcon could not be started (" + program_ + L"): " +
             SystemErrorText(static_cast<long>(start_error));
    }
    handles_->process = process.hProcess;
    thread_ = process.hThread;
    return std::wstring();
  }

  void Confine() override {
    // Without a job (the system refused one) the time limit still holds.
    handles_->job = static_cast<HANDLE>(JobEndingWithCaller());
    if (handles_->job != nullptr &&
        !AssignProcessToJobObject(handles_->job, handles_->process)) {
      CloseIfSet(&handles_->job);
    }
  }

  std::wstring Resume() override {
    if (ResumeThread(thread_) != static_cast<DWORD>(-1)) return std::wstring();
    return L"devcon could not be let run (" + program_ + L"): " + LastErrorText();
  }

  void End() override { EndProcessTree(handles_->job, handles_->process); }

 private:
  std::wstring program_;
  std::wstring parameters_;
  RunHandles* handles_;
  HANDLE thread_ = nullptr;
};

}  // namespace

std::wstring NewPipeName() {
  unsigned char random[16];
  if (!BCRYPT_SUCCESS(BCryptGenRandom(nullptr, random, sizeof(random),
                                      BCRYPT_USE_SYSTEM_PREFERRED_RNG))) {
    SetLastError(ERROR_GEN_FAILURE);
    return std::wstring();
  }
  static const wchar_t kDigits[] = L"0123456789abcdef";
  std::wstring name = L"\\\\.\\pipe\\kovex-deepclean-check-";
  for (unsigned char bits : random) {
    name += kDigits[bits >> 4];
    name += kDigits[bits & 0xF];
  }
  return name;
}

std::wstring PipeSecurity() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return std::wstring();
  DWORD size = 0;
  GetTokenInformation(token, TokenUser, nullptr, 0, &size);
  std::vector<unsigned char> user(size != 0 ? size : 1);
  wchar_t* sid = nullptr;
  const bool known =
      GetTokenInformation(token, TokenUser, user.data(), size, &size) &&
      ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid, &sid);
  CloseHandle(token);
  if (!known) return std::wstring();
  // Protected: nothing inherited is added to it.
  std::wstring sddl = L"D:P(A;;GA;;;SY)(A;;GA;;;" + std::wstring(sid) + L")";
  LocalFree(sid);
  return sddl;
}

ProgramSearch InterpreterSearchPlaces() {
  ProgramSearch search;
  search.working_directory = CurrentDirectory();
  search.search_working_directory = NeedCurrentDirectoryForExePathW(L"devcon") != FALSE;
  search.path = Environment(L"PATH");
  search.path_extensions = Environment(L"PATHEXT");
  return search;
}

bool IsFile(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES &&
         (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

PipeRun RunThroughPipes(const std::wstring& program, const std::wstring& parameters,
                        unsigned long time_limit_ms) {
  PipeRun run;
  SECURITY_ATTRIBUTES inheritable = {};
  inheritable.nLength = sizeof(inheritable);
  inheritable.bInheritHandle = TRUE;
  LocalDescriptor descriptor;
  SECURITY_ATTRIBUTES security = {};
  security.nLength = sizeof(security);
  const std::wstring sddl = PipeSecurity();
  if (sddl.empty() || !ConvertStringSecurityDescriptorToSecurityDescriptorW(
                          sddl.c_str(), SDDL_REVISION_1, &descriptor.descriptor, nullptr)) {
    run.failure = L"no security for devcon's pipes: " + LastErrorText();
    return run;
  }
  security.lpSecurityDescriptor = descriptor.descriptor;
  RunHandles handles;
  if (!MakePipe(&security, &inheritable, &handles.output) ||
      !MakePipe(&security, &inheritable, &handles.errors)) {
    run.failure = L"no pipe for devcon's output: " + LastErrorText();
    return run;
  }
  handles.null_device = CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    &inheritable, OPEN_EXISTING, 0, nullptr);
  if (handles.null_device == INVALID_HANDLE_VALUE) {
    run.failure = L"the null device could not be opened: " + LastErrorText();
    return run;
  }
  Win32DevconStarter starter(program, parameters, &handles);
  run.failure = StartDevcon(&starter, handles.null_device, handles.output.write_end,
                            handles.errors.write_end);
  if (!run.failure.empty()) return run;

  // Both pipes are read as they fill, so that the tool never blocks on a
  // full one; then the process itself, which may stay after closing them.
  const unsigned long long deadline = MonotonicMs() + time_limit_ms;
  Win32PipeReads reads(&handles);
  const PipesRead read = ReadPipesUntilEnded(&reads, deadline, &run.output, &run.errors);
  bool ended = read.end == PipesEnd::kEnded || read.end == PipesEnd::kTaken;
  if (ended) {
    const unsigned long long now = MonotonicMs();
    const DWORD left = now < deadline ? static_cast<DWORD>(deadline - now) : 0;
    ended = WaitForSingleObject(handles.process, left) == WAIT_OBJECT_0;
  }
  if (!ended) {
    CancelRead(&handles.output);
    CancelRead(&handles.errors);
    EndProcessTree(handles.job, handles.process);
    run.end = read.end == PipesEnd::kFailed ? PipeRunEnd::kReadFailed
                                            : PipeRunEnd::kLimitPassed;
    if (read.end == PipesEnd::kFailed) {
      run.failure = L"devcon's output could not be read: " + SystemErrorText(read.error);
    }
    return run;
  }
  run.end = PipeRunEnd::kEnded;
  DWORD code = 0;
  run.exit_code_read = GetExitCodeProcess(handles.process, &code) != FALSE;
  run.exit_code = code;
  if (!run.exit_code_read) run.exit_code_error = static_cast<long>(GetLastError());
  return run;
}
