#include "exec/library_search.h"

#include <windows.h>

namespace {

typedef BOOL(WINAPI* SetDefaultDllDirectoriesFunction)(DWORD flags);

}  // namespace

void RestrictLibrarySearch() {
  // Looked up, not imported: a Windows 7 without its loader update lacks it,
  // and an import would keep the program from starting there at all.
  const HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  const FARPROC found =
      kernel != nullptr ? GetProcAddress(kernel, "SetDefaultDllDirectories")
                        : nullptr;
  if (found != nullptr) {
    const auto set_default_directories =
        reinterpret_cast<SetDefaultDllDirectoriesFunction>(
            reinterpret_cast<void (*)()>(found));
    if (set_default_directories(LOAD_LIBRARY_SEARCH_SYSTEM32)) return;
  }
  SetDllDirectoryW(L"");
}
