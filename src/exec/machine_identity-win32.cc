#include "exec/machine_identity.h"

#include <windows.h>

#include <vector>

std::wstring MachineDnsHostName() {
  DWORD size = 0;
  // The first call tells the size, terminating null included.
  GetComputerNameExW(ComputerNameDnsHostname, nullptr, &size);
  if (size == 0) return std::wstring();
  std::vector<wchar_t> name(size);
  if (!GetComputerNameExW(ComputerNameDnsHostname, name.data(), &size)) {
    return std::wstring();
  }
  return std::wstring(name.data(), size);
}

UtcTime UtcTimeNow() {
  SYSTEMTIME now;
  GetSystemTime(&now);
  UtcTime time;
  time.year = now.wYear;
  time.month = now.wMonth;
  time.day = now.wDay;
  time.hour = now.wHour;
  time.minute = now.wMinute;
  time.second = now.wSecond;
  return time;
}
