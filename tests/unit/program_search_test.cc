// The interpreter's search for a bare program name, over a made-up file
// system.
#include <set>
#include <string>
#include <vector>

#include "exec/program_search.h"
#include "gtest/gtest.h"

TEST(FindAsInterpreterDoes, FolderOrderThenExtensionOrder) {
  struct Case {
    const char* what;
    bool search_working_directory;
    std::wstring path;
    std::wstring path_extensions;
    std::set<std::wstring> files;
    std::wstring found;
  };
  const std::wstring cwd = L"C:\\Tools";
  const std::vector<Case> cases = {
      {"working directory first", true, L"C:\\Bin", L".COM;.EXE",
       {L"C:\\Tools\\devcon.EXE", L"C:\\Bin\\devcon.EXE"}, L"C:\\Tools\\devcon.EXE"},
      {"working directory skipped when the system says so", false, L"C:\\Bin", L".EXE",
       {L"C:\\Tools\\devcon.EXE", L"C:\\Bin\\devcon.EXE"}, L"C:\\Bin\\devcon.EXE"},
      {"a script before the program in PATHEXT", true, L"", L".BAT;.EXE",
       {L"C:\\Tools\\devcon.EXE", L"C:\\Tools\\devcon.BAT"}, L"C:\\Tools\\devcon.BAT"},
      {"an earlier folder wins over an earlier extension", false,
       L"C:\\A;C:\\B", L".COM;.EXE", {L"C:\\A\\devcon.EXE", L"C:\\B\\devcon.COM"},
       L"C:\\A\\devcon.EXE"},
      {"quoted and empty PATH entries, trailing backslash", false,
       L";\"C:\\Program Files\\Kit\";C:\\Bin\\", L".EXE",
       {L"C:\\Bin\\devcon.EXE"}, L"C:\\Bin\\devcon.EXE"},
      {"no PATHEXT: the interpreter's own list", false, L"C:\\Bin", L"",
       {L"C:\\Bin\\devcon.CMD"}, L"C:\\Bin\\devcon.CMD"},
      {"a bare name without extension is not run", true, L"", L".EXE",
       {L"C:\\Tools\\devcon"}, L""},
  };
  for (const Case& test : cases) {
    ProgramSearch search;
    search.working_directory = cwd;
    search.search_working_directory = test.search_working_directory;
    search.path = test.path;
    search.path_extensions = test.path_extensions;
    const auto is_file = [&test](const std::wstring& path) {
      return test.files.count(path) != 0;
    };
    EXPECT_EQ(test.found, FindAsInterpreterDoes(L"devcon", search, is_file)) << test.what;
  }
}

TEST(FindDeviceConsole, StartsOnlyAProgramFoundFirstAndSaysWhyNot) {
  struct Case {
    std::wstring first;  // what the search finds first in C:\Tools
    bool search_working_directory;
    std::wstring failure;  // empty: started
  };
  const std::wstring refused = L", which the check does not run";
  const std::vector<Case> cases = {
      {L"devcon.exe", true, L""},
      {L"devcon.EXE", true, L""},
      {L"devcon.Com", true, L""},
      {L"devcon.bat", true, L"the cleanup's interpreter would run C:\\Tools\\devcon.bat" + refused},
      {L"devcon.CMD", true, L"the cleanup's interpreter would run C:\\Tools\\devcon.CMD" + refused},
      {L"devcon.vbs", true, L"the cleanup's interpreter would run C:\\Tools\\devcon.vbs" + refused},
      {L"devcon.exe.js", true,
       L"the cleanup's interpreter would run C:\\Tools\\devcon.exe.js" + refused},
      {L"", true, L"devcon.exe is neither in the working directory nor on PATH"},
      {L"", false, L"devcon.exe is not on PATH, and the working directory is not searched "
                   L"(NoDefaultCurrentDirectoryInExePath is set)"},
  };
  for (const Case& test : cases) {
    ProgramSearch search;
    search.working_directory = L"C:\\Tools";
    search.search_working_directory = test.search_working_directory;
    // What PATHEXT lists first is found first; a devcon.exe further on in
    // the same folder does not count.
    const std::wstring extension = test.first.empty() ? L".EXE" : test.first.substr(6);
    search.path_extensions = extension + L";.EXE";
    const auto is_file = [&test](const std::wstring& path) {
      return !test.first.empty() &&
             (path == L"C:\\Tools\\" + test.first || path == L"C:\\Tools\\devcon.EXE");
    };
    std::wstring program;
    std::wstring failure;
    const bool found = FindDeviceConsole(search, is_file, &program, &failure);
    EXPECT_EQ(test.failure.empty(), found) << std::string(test.first.begin(), test.first.end());
    EXPECT_EQ(test.failure, failure);
    if (found) {
      EXPECT_EQ(L"C:\\Tools\\" + test.first, program);
    }
  }
}
