#include "exec/program_search.h"

#include <cwctype>
#include <vector>

namespace {

// The entries of a ';'-separated list, quotes around one dropped, empty ones
// left out.
std::vector<std::wstring> Entries(const std::wstring& list) {
  std::vector<std::wstring> entries;
  std::wstring::size_type start = 0;
  while (start <= list.size()) {
    std::wstring::size_type end = list.find(L';', start);
    if (end == std::wstring::npos) end = list.size();
    std::wstring entry = list.substr(start, end - start);
    start = end + 1;
    if (entry.size() >= 2 && entry.front() == L'"' && entry.back() == L'"') {
      entry = entry.substr(1, entry.size() - 2);
    }
    if (!entry.empty()) entries.push_back(entry);
  }
  return entries;
}

std::wstring InFolder(std::wstring folder, const std::wstring& name) {
  if (folder.back() != L'\\' && folder.back() != L'/') folder += L'\\';
  return folder + name;
}

// Whether the file ends in `extension` (lower case), in any letter case.
bool HasExtension(const std::wstring& file, const std::wstring& extension) {
  if (file.size() < extension.size()) return false;
  for (std::wstring::size_type i = 0; i < extension.size(); ++i) {
    const wchar_t c = file[file.size() - extension.size() + i];
    if (static_cast<wchar_t>(std::towlower(c)) != extension[i]) return false;
  }
  return true;
}

}  // namespace

std::wstring FindAsInterpreterDoes(const std::wstring& name, const ProgramSearch& search,
                                   const std::function<bool(const std::wstring&)>& is_file) {
  std::vector<std::wstring> folders;
  if (search.search_working_directory && !search.working_directory.empty()) {
    folders.push_back(search.working_directory);
  }
  for (const std::wstring& folder : Entries(search.path)) folders.push_back(folder);
  std::vector<std::wstring> extensions = Entries(search.path_extensions);
  if (extensions.empty()) extensions = {L".COM", L".EXE", L".BAT", L".CMD"};
  for (const std::wstring& folder : folders) {
    for (const std::wstring& extension : extensions) {
      std::wstring candidate = InFolder(folder, name + extension);
      if (is_file(candidate)) return candidate;
    }
  }
  return std::wstring();
}

bool FindDeviceConsole(const ProgramSearch& search,
                       const std::function<bool(const std::wstring&)>& is_file,
                       std::wstring* program, std::wstring* failure) {
  *program = FindAsInterpreterDoes(L"devcon", search, is_file);
  if (program->empty()) {
    *failure = search.search_working_directory
                   ? L"devcon.exe is neither in the working directory nor on PATH"
                   : L"devcon.exe is not on PATH, and the working directory is not "
                     L"searched (NoDefaultCurrentDirectoryInExePath is set)";
    return false;
  }
  if (!HasExtension(*program, L".exe") && !HasExtension(*program, L".com")) {
    *failure = L"the cleanup's interpreter would run " + *program +
               L", which the check does not run";
    return false;
  }
  return true;
}
