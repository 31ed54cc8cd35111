// The fleet page's file system calls on POSIX systems (the Linux program
// for the Ansible controller, and the host's tests).
#include "fleet_page/fleet_files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

bool ListFolder(const std::string& folder, std::vector<FolderEntry>* entries, std::string* error) {
  DIR* listing = opendir(folder.c_str());
  if (listing == nullptr) {
    *error = std::strerror(errno);
    return false;
  }
  for (;;) {
    errno = 0;
    const dirent* entry = readdir(listing);
    if (entry == nullptr) break;
    const char* name = entry->d_name;
    if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) continue;
    FolderEntry found;
    found.name = name;
#ifdef DT_DIR
    found.folder = entry->d_type == DT_DIR;
#endif
    entries->push_back(std::move(found));
  }
  const int failure = errno;
  closedir(listing);
  if (failure != 0) {
    *error = std::strerror(failure);
    return false;
  }
  return true;
}

FileRead ReadWholeFile(const std::string& path, std::size_t limit, std::string* bytes) {
  // Not blocking, so that opening a pipe waits for no writer; it is then
  // passed over by its type.
  const int file = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (file < 0) {
    return errno == ENOENT || errno == ELOOP || errno == ENOTDIR || errno == ENXIO
               ? FileRead::kNotRegular
               : FileRead::kUnreadable;
  }
  FileRead outcome = FileRead::kRead;
  struct stat about {};
  if (fstat(file, &about) != 0) {
    outcome = FileRead::kUnreadable;
  } else if (!S_ISREG(about.st_mode)) {
    outcome = FileRead::kNotRegular;
  } else if (static_cast<unsigned long long>(about.st_size) > limit) {
    outcome = FileRead::kTooLarge;
  } else {
    // One byte more than the size is asked for: a read of a regular file
    // that gives less has met its end, and a file that grew since is not
    // read whole.
    const std::size_t size = static_cast<std::size_t>(about.st_size);
    bytes->resize(size + 1);
    std::size_t got = 0;
    for (;;) {
      const ssize_t read_now = read(file, &(*bytes)[got], bytes->size() - got);
      if (read_now < 0 && errno == EINTR) continue;
      if (read_now <= 0) {
        if (read_now < 0) outcome = FileRead::kUnreadable;
        break;
      }
      got += static_cast<std::size_t>(read_now);
      if (got >= size) break;
    }
    if (outcome == FileRead::kRead && got != size) outcome = FileRead::kUnreadable;
    bytes->resize(outcome == FileRead::kRead ? size : 0);
  }
  close(file);
  return outcome;
}
