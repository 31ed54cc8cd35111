#ifndef KOVEX_EXEC_TOOLS_H_
#define KOVEX_EXEC_TOOLS_H_

#include <string>

// The device console tool, started by bare name: the system's program search
// finds it beside the tool, in the working directory or on PATH, where users
// put it on purpose. The command interpreter looks for `devcon` only in the
// working directory and on PATH.
constexpr const wchar_t* kDeviceConsole = L"devcon";

// The Windows command interpreter, by its full path: the system directory as
// the system reports it, and "\cmd.exe". Never the bare name: the program
// search would take a "cmd.exe" lying beside the tool or in the working
// directory (a download folder, typically) first, and the tool runs elevated.
// Empty only when the system directory cannot be had; RunProgram then starts
// nothing and reports a launch failure.
std::wstring CommandInterpreterPath();

#endif  // KOVEX_EXEC_TOOLS_H_
