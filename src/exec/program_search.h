#ifndef KOVEX_EXEC_PROGRAM_SEARCH_H_
#define KOVEX_EXEC_PROGRAM_SEARCH_H_

#include <functional>
#include <string>

// Where the command interpreter looks for a program started by a bare name
// without extension, as the cleanup's listings start devcon.
struct ProgramSearch {
  std::wstring working_directory;
  // NeedCurrentDirectoryForExePathW's answer: false when
  // NoDefaultCurrentDirectoryInExePath is set.
  bool search_working_directory = true;
  std::wstring path;             // PATH
  std::wstring path_extensions;  // PATHEXT; empty: the interpreter's default
};

// The file the interpreter runs for `name`: the working directory first
// (when it is searched), then each folder on PATH in order (quotes around a
// folder dropped, empty entries skipped), in each folder trying every
// PATHEXT extension in turn, so that devcon.bat wins over devcon.exe in the
// same folder but not over one in an earlier folder. `is_file` tells whether
// a path names a file. Empty when none is found.
std::wstring FindAsInterpreterDoes(const std::wstring& name, const ProgramSearch& search,
                                   const std::function<bool(const std::wstring&)>& is_file);

// The devcon the cleanup's interpreter runs, found as it finds it, as a
// program the check starts itself: true with its path in `program`. False
// with `failure` saying why there is none: nothing found, or what comes
// first is no .exe or .com (a devcon.bat, .cmd, or any other PATHEXT type),
// which takes an interpreter the check does not run; another devcon further
// on is not what the cleanup uses, so the search stops there.
bool FindDeviceConsole(const ProgramSearch& search,
                       const std::function<bool(const std::wstring&)>& is_file,
                       std::wstring* program, std::wstring* failure);

#endif  // KOVEX_EXEC_PROGRAM_SEARCH_H_
