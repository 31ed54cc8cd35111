#include <string>
#include <vector>

#include "check/check_run.h"
#include "check/report.h"
#include "exec/library_search.h"
#include "output/utf8.h"

// The wide entry point (MinGW: -municode), so that a file named on the
// command line (--cleanup-log) arrives whole, whatever the ANSI code page.
int wmain(int argc, wchar_t** argv) {
  // Before devcon is started: no library from the working directory or the
  // program's own folder is loaded in place of a system one.
  RestrictLibrarySearch();
  std::vector<std::string> arguments;
  for (int at = 1; at < argc; ++at) arguments.push_back(WideToUtf8(argv[at]));
  return RunCheck(arguments);
}
