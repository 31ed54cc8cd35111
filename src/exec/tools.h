#ifndef KOVEX_EXEC_TOOLS_H_
#define KOVEX_EXEC_TOOLS_H_

#include <string>

// The device console tool, started by bare name, where users put it on
// purpose. The shell's program search (removals, rescan) looks in the working
// directory, the Windows directory, the system directory, PATH and then App
// Paths, never in the tool's own folder. The command interpreter (listings)
// looks in the working directory, unless NoDefaultCurrentDirectoryInExePath
// is set, then on PATH, trying each PATHEXT extension in turn, so a
// devcon.bat or devcon.com there wins over devcon.exe.
constexpr const wchar_t* kDeviceConsole = L"devcon";

// The Windows command interpreter, by its full path: the system directory as
// the system reports it, and "\cmd.exe". Never the bare name: the program
// search would take a "cmd.exe" lying beside the tool or in the working
// directory (a download folder, typically) first, and the tool runs elevated.
// Empty only when the system directory cannot be had; RunProgram then starts
// nothing and reports a launch failure.
std::wstring CommandInterpreterPath();

#endif  // KOVEX_EXEC_TOOLS_H_
