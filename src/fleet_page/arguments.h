#ifndef KOVEX_FLEET_PAGE_ARGUMENTS_H_
#define KOVEX_FLEET_PAGE_ARGUMENTS_H_

#include <string>
#include <vector>

// The program's arguments (its name left out) in UTF-8, the encoding the
// fleet page's paths are read in (std::filesystem::u8path). On Windows they
// are taken from the wide command line, since main's own are in the ANSI
// code page and lose what it cannot hold; elsewhere they are main's as
// given. One implementation per platform, chosen at link time.
std::vector<std::string> ProgramArguments(int argc, char** argv);

#endif  // KOVEX_FLEET_PAGE_ARGUMENTS_H_
