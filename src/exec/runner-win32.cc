#include "exec/runner.h"

#include <windows.h>
#include <aclapi.h>
#include <objbase.h>
#include <sddl.h>
#include <shellapi.h>

#include "exec/process_tree.h"

namespace {

// A function of kernel32 looked up at run time: where the system lacks it
// (Wine), an import would keep the program from starting at all.
template <typename Function>
Function KernelFunction(const char* name) {
  const HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  const FARPROC found = kernel != nullptr ? GetProcAddress(kernel, name) : nullptr;
  return found != nullptr
             ? reinterpret_cast<Function>(reinterpret_cast<void (*)()>(found))
             : nullptr;
}

using CreateBoundaryDescriptorFunction = HANDLE(WINAPI*)(LPCWSTR, ULONG);
using AddSidToBoundaryDescriptorFunction = BOOL(WINAPI*)(HANDLE*, PSID);
using CreatePrivateNamespaceFunction = HANDLE(WINAPI*)(LPSECURITY_ATTRIBUTES, LPVOID,
                                                       LPCWSTR);

// A security descriptor from its SDDL text, freed with it.
class Security {
 public:
  explicit Security(const wchar_t* sddl) {
    attributes_.nLength = sizeof(attributes_);
    attributes_.bInheritHandle = FALSE;
    if (ConvertStringSecurityDescriptorToSecurityDescriptorW(
            sddl, SDDL_REVISION_1, &attributes_.lpSecurityDescriptor, nullptr)) {
      ready_ = true;
    } else {
      error_ = static_cast<long>(GetLastError());
    }
  }
  ~Security() {
    if (attributes_.lpSecurityDescriptor != nullptr) LocalFree(attributes_.lpSecurityDescriptor);
  }
  Security(const Security&) = delete;
  Security& operator=(const Security&) = delete;
  bool ready() const { return ready_; }
  long error() const { return error_; }
  SECURITY_ATTRIBUTES* attributes() { return &attributes_; }

 private:
  SECURITY_ATTRIBUTES attributes_ = {};
  bool ready_ = false;
  long error_ = 0;
};

// The run's lock, once taken: the handle that holds it, kept open until the
// process ends, when the system closes it however the process ends.
HANDLE held_lock = nullptr;

RunLockTry LockAnswer(RunLockAnswer answer, long error = 0) {
  RunLockTry attempt;
  attempt.answer = answer;
  attempt.error = error;
  return attempt;
}

// The lock on Windows: a private namespace of this name whose boundary
// holds the Administrators group. Only a process whose token has that group
// enabled (elevated, or SYSTEM) is within the boundary and can create it;
// only SYSTEM and administrators may open it (its DACL), and no cleanup
// ever opens it, so its creator's handle is its only one: it exists exactly
// while the cleanup that created it runs. Creating it takes the lock; an
// existing one (ERROR_ALREADY_EXISTS) is another cleanup's. A name in the
// global namespace, by contrast, any user may create first and hold.
constexpr wchar_t kLockNamespace[] = L"KovexDeepClean-cleanup-run";

// Where the system has no private namespaces (Wine; never a Windows the
// cleanup runs on): a mutex in the global namespace, owned by the
// Administrators group; one owned by anybody else (a user may create the
// name first, but cannot make the group its owner) is not taken for the
// lock. The system lets a mutex go when its holder ends (WAIT_ABANDONED).
constexpr wchar_t kLockMutex[] = L"Global\\KovexDeepClean-cleanup-run";

// SYSTEM and the Administrators group alone; the mutex's owner the group.
constexpr wchar_t kNamespaceSecurity[] = L"D:P(A;;GA;;;SY)(A;;GA;;;BA)";
constexpr wchar_t kMutexSecurity[] = L"O:BAD:P(A;;GA;;;SY)(A;;GA;;;BA)";

// The namespace's boundary: its name and the Administrators group.
HANDLE LockBoundary(CreateBoundaryDescriptorFunction create_boundary,
                    AddSidToBoundaryDescriptorFunction add_sid, long* error) {
  static HANDLE boundary = nullptr;
  if (boundary != nullptr) return boundary;
  HANDLE made = create_boundary(kLockNamespace, 0);
  BYTE administrators[SECURITY_MAX_SID_SIZE];
  DWORD size = sizeof(administrators);
  if (made == nullptr ||
      !CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, administrators, &size) ||
      !add_sid(&made, administrators)) {
    *error = static_cast<long>(GetLastError());
    return nullptr;  // a boundary half made is left: the process ends soon
  }
  boundary = made;
  return boundary;
}

RunLockTry TakeLockNamespace(CreateBoundaryDescriptorFunction create_boundary,
                             AddSidToBoundaryDescriptorFunction add_sid,
                             CreatePrivateNamespaceFunction create_namespace,
                             unsigned long wait_ms) {
  long error = 0;
  HANDLE boundary = LockBoundary(create_boundary, add_sid, &error);
  if (boundary == nullptr) return LockAnswer(RunLockAnswer::kFailed, error);
  Security security(kNamespaceSecurity);
  if (!security.ready()) return LockAnswer(RunLockAnswer::kFailed, security.error());
  // Asked once more after the wait, so that a lock let go meanwhile is
  // taken at its end.
  for (int asked = 0; asked < 2; ++asked) {
    held_lock = create_namespace(security.attributes(), boundary, kLockNamespace);
    if (held_lock != nullptr) return LockAnswer(RunLockAnswer::kTaken);
    error = static_cast<long>(GetLastError());
    if (error != ERROR_ALREADY_EXISTS) return LockAnswer(RunLockAnswer::kFailed, error);
    if (asked == 0) Sleep(wait_ms);
  }
  return LockAnswer(RunLockAnswer::kHeld);
}

// Whether the object's owner is SYSTEM or the Administrators group.
bool OwnedByAdministrators(HANDLE object) {
  PSID owner = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (GetSecurityInfo(object, SE_KERNEL_OBJECT, OWNER_SECURITY_INFORMATION, &owner,
                      nullptr, nullptr, nullptr, &descriptor) != ERROR_SUCCESS) {
    return false;
  }
  const bool trusted = IsWellKnownSid(owner, WinBuiltinAdministratorsSid) ||
                       IsWellKnownSid(owner, WinLocalSystemSid);
  LocalFree(descriptor);
  return trusted;
}

RunLockTry TakeLockMutex(unsigned long wait_ms) {
  static HANDLE mutex = nullptr;
  if (mutex == nullptr) {
    Security security(kMutexSecurity);
    if (!security.ready()) return LockAnswer(RunLockAnswer::kFailed, security.error());
    HANDLE opened = CreateMutexW(security.attributes(), FALSE, kLockMutex);
    if (opened == nullptr) {
      return LockAnswer(RunLockAnswer::kFailed, static_cast<long>(GetLastError()));
    }
    if (!OwnedByAdministrators(opened)) {
      CloseHandle(opened);
      return LockAnswer(RunLockAnswer::kFailed, ERROR_INVALID_OWNER);
    }
    mutex = opened;
  }
  switch (WaitForSingleObject(mutex, wait_ms)) {
    case WAIT_OBJECT_0:
    case WAIT_ABANDONED:  // its holder ended without letting it go
      held_lock = mutex;
      return LockAnswer(RunLockAnswer::kTaken);
    case WAIT_TIMEOUT:
      return LockAnswer(RunLockAnswer::kHeld);
    default:
      return LockAnswer(RunLockAnswer::kFailed, static_cast<long>(GetLastError()));
  }
}

}  // namespace

RunLockTry TryTakeRunLock(unsigned long wait_ms) {
  if (held_lock != nullptr) return LockAnswer(RunLockAnswer::kTaken);
  const auto create_boundary =
      KernelFunction<CreateBoundaryDescriptorFunction>("CreateBoundaryDescriptorW");
  const auto add_sid =
      KernelFunction<AddSidToBoundaryDescriptorFunction>("AddSIDToBoundaryDescriptor");
  const auto create_namespace =
      KernelFunction<CreatePrivateNamespaceFunction>("CreatePrivateNamespaceW");
  if (create_boundary != nullptr && add_sid != nullptr && create_namespace != nullptr) {
    return TakeLockNamespace(create_boundary, add_sid, create_namespace, wait_ms);
  }
  return TakeLockMutex(wait_ms);
}

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
  // The shell may hand the start to extensions that COM runs; its
  // documentation asks for COM on the calling thread first, apartment-
  // threaded with OLE1 DDE off. Once per thread; a thread whose COM was
  // initialised otherwise (RPC_E_CHANGED_MODE) has it all the same.
  thread_local const HRESULT com =
      CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  static_cast<void>(com);
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

bool KeepJobRunning(const StartedProgram& program) {
  return LeaveJobRunning(program.job);
}

void CloseStart(const StartedProgram& program, bool keep_job) {
  if (program.process != nullptr) CloseHandle(static_cast<HANDLE>(program.process));
  if (program.job != nullptr && !keep_job) CloseHandle(static_cast<HANDLE>(program.job));
}
