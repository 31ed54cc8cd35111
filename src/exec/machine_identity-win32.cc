#include "exec/machine_identity.h"

#include <windows.h>

#include <cstdio>
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

std::string UtcTimeNow() {
  SYSTEMTIME now;
  GetSystemTime(&now);
  char text[32];
  static_cast<void>(std::snprintf(text, sizeof text, "%04u-%02u-%02uT%02u:%02u:%02uZ",
                static_cast<unsigned>(now.wYear), static_cast<unsigned>(now.wMonth),
                static_cast<unsigned>(now.wDay), static_cast<unsigned>(now.wHour),
                static_cast<unsigned>(now.wMinute), static_cast<unsigned>(now.wSecond)));
  return text;
}
