#include "check/computer_name.h"

#include <windows.h>

std::wstring ComputerName() {
  wchar_t name[256] = {};
  DWORD size = static_cast<DWORD>(sizeof(name) / sizeof(name[0]));
  if (!GetComputerNameExW(ComputerNameDnsHostname, name, &size)) return L"";
  return std::wstring(name, size);
}
