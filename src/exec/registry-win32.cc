#include "exec/registry.h"

#include <windows.h>

namespace {

long OpenKey32(const wchar_t* path, REGSAM access, RegistryKey* key) {
  HKEY opened = nullptr;
  const LONG result = RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0,
                                    access | KEY_WOW64_32KEY, &opened);
  *key = result == ERROR_SUCCESS ? opened : nullptr;
  return result;
}

}  // namespace

static_assert(kRegistryKeyNotFound == ERROR_FILE_NOT_FOUND, "");
static_assert(kRegistryNoMoreSubkeys == ERROR_NO_MORE_ITEMS, "");

long OpenLocalMachineKey32(const wchar_t* path, RegistryKey* key) {
  return OpenKey32(path, KEY_ALL_ACCESS, key);
}

long OpenLocalMachineKey32ForReading(const wchar_t* path, RegistryKey* key) {
  return OpenKey32(path, KEY_READ, key);
}

long EnumSubkeyName(RegistryKey key, unsigned long index, wchar_t* name,
                    unsigned long name_chars) {
  return RegEnumKeyW(static_cast<HKEY>(key), index, name, name_chars);
}

long DeleteSubkeyTree(RegistryKey key, const wchar_t* name) {
  return RegDeleteTreeW(static_cast<HKEY>(key), name);
}

void CloseRegistryKey(RegistryKey key) { RegCloseKey(static_cast<HKEY>(key)); }
