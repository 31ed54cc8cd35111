#ifndef KOVEX_TESTS_WIN32_RUNNING_PROCESSES_H_
#define KOVEX_TESTS_WIN32_RUNNING_PROCESSES_H_

#include <windows.h>
#include <tlhelp32.h>

// How many processes whose file is named `exe` are running now (-1 when
// the system gives no list); with `end`, ends them too, so that a failed
// test leaves none behind holding the test run's output.
inline int VisitProcessesNamed(const wchar_t* exe, bool end) {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return -1;
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof(entry);
  int count = 0;
  for (BOOL more = Process32FirstW(snapshot, &entry); more;
       more = Process32NextW(snapshot, &entry)) {
    if (lstrcmpiW(entry.szExeFile, exe) != 0) continue;
    ++count;
    HANDLE process = end ? OpenProcess(PROCESS_TERMINATE, FALSE, entry.th32ProcessID)
                         : nullptr;
    if (process != nullptr) TerminateProcess(process, 1);
    if (process != nullptr) CloseHandle(process);
  }
  CloseHandle(snapshot);
  return count;
}

#endif  // KOVEX_TESTS_WIN32_RUNNING_PROCESSES_H_
