// The fleet page's file system calls on Windows: FindFirstFileExW for a
// folder (the names and whether each is a folder, in large fetches), and per
// file CreateFileW, GetFileType, GetFileSizeEx, one ReadFile and
// CloseHandle. Names are turned between UTF-8 and UTF-16 by output/utf8,
// without a call into the system per name.
#include <windows.h>

#include "fleet_page/fleet_files.h"
#include "output/utf8.h"

namespace {

std::string SystemWords(DWORD error) {
  wchar_t* text = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::string words =
      length == 0 || text == nullptr ? "error " + std::to_string(error) : WideToUtf8(text);
  if (text != nullptr) LocalFree(text);
  while (!words.empty() && (words.back() == '\n' || words.back() == '\r' || words.back() == '.')) {
    words.pop_back();
  }
  return words;
}

}  // namespace

bool ListFolder(const std::string& folder, std::vector<FolderEntry>* entries, std::string* error) {
  std::wstring pattern = Utf8ToWide(folder);
  if (!pattern.empty() && pattern.back() != L'\\' && pattern.back() != L'/' &&
      pattern.back() != L':') {
    pattern.push_back(L'\\');
  }
  pattern.push_back(L'*');
  WIN32_FIND_DATAW found;
  const HANDLE search = FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &found,
                                         FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
  if (search == INVALID_HANDLE_VALUE) {
    const DWORD failure = GetLastError();
    if (failure == ERROR_FILE_NOT_FOUND) return true;  // not even "." (a drive's root)
    *error = SystemWords(failure);
    return false;
  }
  do {
    const wchar_t* name = found.cFileName;
    if (name[0] == L'.' && (name[1] == L'\0' || (name[1] == L'.' && name[2] == L'\0'))) {
      continue;
    }
    FolderEntry entry;
    entry.name = WideToUtf8(name);
    entry.folder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    entries->push_back(std::move(entry));
  } while (FindNextFileW(search, &found));
  const DWORD failure = GetLastError();
  FindClose(search);
  if (failure != ERROR_NO_MORE_FILES) {
    *error = SystemWords(failure);
    return false;
  }
  return true;
}

FileRead ReadWholeFile(const std::string& path, std::size_t limit, std::string* bytes) {
  const std::wstring wide = Utf8ToWide(path);
  const HANDLE file = CreateFileW(
      wide.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    const DWORD failure = GetLastError();
    if (failure == ERROR_ACCESS_DENIED) {
      // A folder cannot be opened as a file; only then is it asked after.
      const DWORD attributes = GetFileAttributesW(wide.c_str());
      return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0
                 ? FileRead::kNotRegular
                 : FileRead::kUnreadable;
    }
    return failure == ERROR_FILE_NOT_FOUND || failure == ERROR_PATH_NOT_FOUND ||
                   failure == ERROR_CANT_RESOLVE_FILENAME || failure == ERROR_INVALID_NAME
               ? FileRead::kNotRegular
               : FileRead::kUnreadable;
  }
  FileRead outcome = FileRead::kRead;
  LARGE_INTEGER size;
  // A pipe or device (a console) is never read from: it could wait for ever.
  if (GetFileType(file) != FILE_TYPE_DISK) {
    outcome = FileRead::kNotRegular;
  } else if (!GetFileSizeEx(file, &size)) {
    outcome = FileRead::kUnreadable;
  } else if (static_cast<unsigned long long>(size.QuadPart) > limit) {
    outcome = FileRead::kTooLarge;
  } else {
    // One byte more than the size is asked for: a read of a file that gives
    // less has met its end, and a file that grew since is not read whole.
    const std::size_t whole = static_cast<std::size_t>(size.QuadPart);
    bytes->resize(whole + 1);
    std::size_t got = 0;
    for (;;) {
      const std::size_t asked = bytes->size() - got;
      DWORD read_now = 0;
      if (!::ReadFile(file, &(*bytes)[got],
                      asked > 0x40000000 ? 0x40000000 : static_cast<DWORD>(asked), &read_now,
                      nullptr)) {
        outcome = FileRead::kUnreadable;
        break;
      }
      if (read_now == 0) break;
      got += read_now;
      if (got >= whole) break;
    }
    if (outcome == FileRead::kRead && got != whole) outcome = FileRead::kUnreadable;
    bytes->resize(outcome == FileRead::kRead ? whole : 0);
  }
  CloseHandle(file);
  return outcome;
}
