#include "exec/files.h"

#include <windows.h>

std::wstring SystemErrorText(long code) {
  wchar_t* message = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS |
          FORMAT_MESSAGE_FROM_SYSTEM,
      nullptr, static_cast<DWORD>(code), MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
      reinterpret_cast<wchar_t*>(&message), 0, nullptr);
  std::wstring text = length != 0 ? std::wstring(message, length) : std::wstring();
  if (message != nullptr) LocalFree(message);
  while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' ||
                           text.back() == L' ')) {
    text.pop_back();
  }
  if (text.empty()) text = L"system error " + std::to_wstring(code);
  return text;
}

long FindWindowsFiles(const wchar_t* subdirectory, const wchar_t* pattern,
                      std::wstring* directory, std::vector<WindowsFile>* files) {
  files->clear();
  // The Windows directory the interpreter's %WINDIR% names, also for a user
  // of a terminal server, who has a Windows directory of their own.
  wchar_t windows[MAX_PATH];
  const UINT length = GetSystemWindowsDirectoryW(windows, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) {
    directory->assign(L"%WINDIR%\\").append(subdirectory);
    return length == 0 ? static_cast<long>(GetLastError()) : ERROR_BUFFER_OVERFLOW;
  }
  directory->assign(windows, length).append(L"\\").append(subdirectory);

  WIN32_FIND_DATAW found;
  const std::wstring search = *directory + L"\\" + pattern;
  HANDLE find = FindFirstFileW(search.c_str(), &found);
  if (find == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND ? 0 : static_cast<long>(error);
  }
  do {
    const DWORD attributes = found.dwFileAttributes;
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
      WindowsFile file;
      file.name = found.cFileName;
      file.hidden = (attributes & FILE_ATTRIBUTE_HIDDEN) != 0;
      file.system = (attributes & FILE_ATTRIBUTE_SYSTEM) != 0;
      files->push_back(file);
    }
  } while (FindNextFileW(find, &found));
  const DWORD error = GetLastError();
  FindClose(find);
  return error == ERROR_NO_MORE_FILES ? 0 : static_cast<long>(error);
}

long DeleteWorkingFile(const char* file_name) {
  std::wstring name;
  for (const char* c = file_name; *c != '\0'; ++c) {
    name.push_back(static_cast<wchar_t>(static_cast<unsigned char>(*c)));
  }
  if (DeleteFileW(name.c_str())) return 0;
  const DWORD error = GetLastError();
  return error == ERROR_FILE_NOT_FOUND ? 0 : static_cast<long>(error);
}
