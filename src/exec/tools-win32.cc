#include "exec/tools.h"

#include <windows.h>

std::wstring CommandInterpreterPath() {
  // The first call gives the room needed, terminator included.
  const UINT room = GetSystemDirectoryW(nullptr, 0);
  if (room == 0) return std::wstring();
  std::wstring path(room, L'\0');
  const UINT length = GetSystemDirectoryW(path.data(), room);
  if (length == 0 || length >= room) return std::wstring();
  path.resize(length);
  return path + L"\\cmd.exe";
}
