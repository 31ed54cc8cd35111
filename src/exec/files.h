#ifndef KOVEX_EXEC_FILES_H_
#define KOVEX_EXEC_FILES_H_

#include <string>
#include <vector>

// The file system calls of both programs and the system's error texts. One
// implementation per platform, chosen at link time.

// A file found in a folder, with the two attributes that make the
// interpreter's `del` pass over it unless told otherwise with /A.
struct WindowsFile {
  std::wstring name;
  bool hidden = false;
  bool system = false;
};

// Puts into `files` the files (folders left out) of the Windows directory's
// `subdirectory` whose names match `pattern` by the system's own wildcard
// matching, the one the interpreter's `del` uses, hidden and system files
// included, and into `directory` that folder's full path. Returns 0, also
// when nothing matches, or the system's error code when the folder could not
// be read. Changes nothing.
long FindWindowsFiles(const wchar_t* subdirectory, const wchar_t* pattern,
                      std::wstring* directory, std::vector<WindowsFile>* files);

// Deletes the file `file_name` (a plain ASCII name) in the working
// directory. Returns 0 when it is gone, also when it was not there; the
// system's error code when it is still there (in use, read-only, a folder,
// no rights). A read-only file is not made writable first.
long DeleteWorkingFile(const char* file_name);

// The system's message text for an error code, without its line end; a
// generic text naming the code when the system has none.
std::wstring SystemErrorText(long code);

#endif  // KOVEX_EXEC_FILES_H_
