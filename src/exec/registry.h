#ifndef KOVEX_EXEC_REGISTRY_H_
#define KOVEX_EXEC_REGISTRY_H_

// The registry operations the installer cleanup needs, as plain procedures
// over an opaque key. Results are the system's: 0 is success, anything else
// an error code. One implementation per platform, chosen at link time: the
// Windows one, and a fake for the host's tests.

typedef void* RegistryKey;

// Opens HKEY_LOCAL_MACHINE\`path` with full access in the 32-bit view of the
// registry, where the maker's 32-bit installers write.
long OpenLocalMachineKey32(const wchar_t* path, RegistryKey* key);

// Opens the same key for reading only, as the check does: it must be able to
// look where it may not change anything.
long OpenLocalMachineKey32ForReading(const wchar_t* path, RegistryKey* key);

// The results that are no error for a reader: the key is not there, and the
// enumeration has delivered every subkey.
constexpr long kRegistryKeyNotFound = 2;     // ERROR_FILE_NOT_FOUND
constexpr long kRegistryNoMoreSubkeys = 259;  // ERROR_NO_MORE_ITEMS

// Copies the name of the subkey at `index` into `name` (room for
// `name_chars` characters with the terminator). Non-zero at the end of the
// list and on any error.
long EnumSubkeyName(RegistryKey key, unsigned long index, wchar_t* name,
                    unsigned long name_chars);

// Deletes the subkey `name` of `key` with everything below it.
long DeleteSubkeyTree(RegistryKey key, const wchar_t* name);

void CloseRegistryKey(RegistryKey key);

#endif  // KOVEX_EXEC_REGISTRY_H_
