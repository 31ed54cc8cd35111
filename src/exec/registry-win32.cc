#include "exec/registry.h"

#include <windows.h>

long OpenLocalMachineKey32(const wchar_t* path, RegistryKey* key) {
  HKEY opened = nullptr;
  const LONG result = RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0,
                                    KEY_ALL_ACCESS | KEY_WOW64_32KEY, &opened);
  *key = result == ERROR_SUCCESS ? opened : nullptr;
  return result;
}

long EnumSubkeyName(RegistryKey key, unsigned long index, wchar_t* name,
                    unsigned long name_chars) {
  return RegEnumKeyW(static_cast<HKEY>(key), index, name, name_chars);
}

long DeleteSubkeyTree(RegistryKey key, const wchar_t* name) {
  return RegDeleteTreeW(static_cast<HKEY>(key), name);
}

void CloseRegistryKey(RegistryKey key) { RegCloseKey(static_cast<HKEY>(key)); }
