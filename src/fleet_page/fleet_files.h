#ifndef KOVEX_FLEET_PAGE_FLEET_FILES_H_
#define KOVEX_FLEET_PAGE_FLEET_FILES_H_

#include <cstddef>
#include <string>
#include <vector>

// The fleet page's file system calls, kept to what reading a folder of
// 100,000 documents needs: one listing of the folder, and per file one
// open, one query of its type and size, one read and one close. No status
// call per name before it is opened, no stream or locale machinery; on
// Windows (fleet_files-win32.cc) the same calls of the Win32 API, the names
// turned between UTF-8 and UTF-16 by output/utf8, not by the system. Paths and
// names are UTF-8.

struct FolderEntry {
  std::string name;     // the entry's name, without the folder
  bool folder = false;  // a folder as listed (a link to one may be listed as a file)
};

// The entries of `folder`, "." and ".." left out, in the order the system
// gives them. False, with the system's words in `error`, when the folder
// cannot be listed.
bool ListFolder(const std::string& folder, std::vector<FolderEntry>* entries, std::string* error);

enum class FileRead {
  kRead,        // `bytes` holds the whole file
  kNotRegular,  // no such file, a folder, pipe or device, or a link that leads
                // nowhere
  kTooLarge,    // larger than the limit; nothing read
  kUnreadable,  // it could not be opened or read whole
};

// The bytes of the regular file at `path`, at most `limit` of them. A pipe
// or device is never read from (it could wait for ever).
FileRead ReadWholeFile(const std::string& path, std::size_t limit, std::string* bytes);

#endif  // KOVEX_FLEET_PAGE_FLEET_FILES_H_
