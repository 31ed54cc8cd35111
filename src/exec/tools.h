#ifndef KOVEX_EXEC_TOOLS_H_
#define KOVEX_EXEC_TOOLS_H_

// The two outside programs, started by bare name so that the system's program
// search finds them. The command interpreter looks for `devcon` only in the
// working directory and on PATH.
constexpr const wchar_t* kCommandInterpreter = L"cmd";
constexpr const wchar_t* kDeviceConsole = L"devcon";

#endif  // KOVEX_EXEC_TOOLS_H_
