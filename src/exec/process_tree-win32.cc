#include "exec/process_tree.h"

#include <windows.h>

#include <tlhelp32.h>

#include <vector>

namespace {

ULONGLONG CreationTime(HANDLE process) {
  FILETIME created = {};
  FILETIME exited = {};
  FILETIME kernel = {};
  FILETIME user = {};
  if (!GetProcessTimes(process, &created, &exited, &kernel, &user)) return 0;
  return (static_cast<ULONGLONG>(created.dwHighDateTime) << 32) | created.dwLowDateTime;
}

struct Ended {
  DWORD id;
  HANDLE handle;  // kept open, so that the ID is not reused meanwhile
  ULONGLONG created;
};

// Opens and ends each process whose parent is among `ended` and that was
// created after that parent. Returns how many it found.
int EndChildrenOf(std::vector<Ended>* ended) {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return 0;
  int found = 0;
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof(entry);
  for (BOOL more = Process32FirstW(snapshot, &entry); more;
       more = Process32NextW(snapshot, &entry)) {
    bool known = false;
    const Ended* parent = nullptr;
    for (const Ended& process : *ended) {
      if (process.id == entry.th32ProcessID) known = true;
      if (process.id == entry.th32ParentProcessID) parent = &process;
    }
    if (known || parent == nullptr) continue;
    HANDLE child = OpenProcess(
        PROCESS_TERMINATE | PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE,
        entry.th32ProcessID);
    if (child == nullptr) continue;
    const ULONGLONG created = CreationTime(child);
    if (created < parent->created) {
      CloseHandle(child);
      continue;
    }
    TerminateProcess(child, 1);
    ended->push_back({entry.th32ProcessID, child, created});
    ++found;
  }
  CloseHandle(snapshot);
  return found;
}

}  // namespace

void* JobEndingWithCaller() {
  HANDLE job = CreateJobObjectW(nullptr, nullptr);
  if (job == nullptr) return nullptr;
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
  limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
  if (!SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits,
                               sizeof(limits))) {
    CloseHandle(job);
    return nullptr;
  }
  return job;
}

bool LeaveJobRunning(void* job) {
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
  return SetInformationJobObject(static_cast<HANDLE>(job), JobObjectExtendedLimitInformation,
                                 &limits, sizeof(limits)) != FALSE;
}

void EndProcessTree(void* job, void* process) {
  if (job != nullptr) TerminateJobObject(static_cast<HANDLE>(job), 1);
  HANDLE root = static_cast<HANDLE>(process);
  TerminateProcess(root, 1);
  std::vector<Ended> ended = {{GetProcessId(root), nullptr, CreationTime(root)}};
  // Rounds, for a child that started another while it was being ended.
  for (int round = 0; round < 8; ++round) {
    if (EndChildrenOf(&ended) == 0) break;
  }
  WaitForSingleObject(root, 5000);
  for (const Ended& child : ended) {
    if (child.handle == nullptr) continue;
    WaitForSingleObject(child.handle, 5000);
    CloseHandle(child.handle);
  }
}
