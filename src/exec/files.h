#ifndef KOVEX_EXEC_FILES_H_
#define KOVEX_EXEC_FILES_H_

#include <string>
#include <vector>

// Read-only looks at the file system and the system's error texts, for the
// check. One implementation per platform, chosen at link time.

// Puts into `names` the files (folders left out) of the Windows directory's
// `subdirectory` whose names match `pattern` by the system's own wildcard
// matching, the one the interpreter's `del` uses, and into `directory` that
// folder's full path. Returns 0, also when nothing matches, or the system's
// error code when the folder could not be read.
long FindWindowsFiles(const wchar_t* subdirectory, const wchar_t* pattern,
                      std::wstring* directory, std::vector<std::wstring>* names);

// The system's message text for an error code, without its line end; a
// generic text naming the code when the system has none.
std::wstring SystemErrorText(long code);

#endif  // KOVEX_EXEC_FILES_H_
