#include <string>
#include <vector>

#include "check/check_run.h"
#include "exec/library_search.h"

int main(int argc, char** argv) {
  // Before devcon is started: no library from the working directory or the
  // program's own folder is loaded in place of a system one.
  RestrictLibrarySearch();
  const std::vector<std::string> arguments(argv + 1, argv + argc);
  return RunCheck(arguments);
}
