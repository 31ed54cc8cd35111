// Entry of the simulated `devcon` executable. DEVCON_SIM_STATE names the state file of the
// simulated machine and DEVCON_SIM_LOG the invocation log; either may be unset (empty machine,
// no log). The bytes RunDevcon gives are written unchanged: on Windows both streams are put in
// binary mode, since those bytes already carry the real program's CR LF line ends.
#include <cstdio>
#include <string>
#include <vector>

#include "sim/sim.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#endif

namespace {

int Run(const std::string& argv0, const std::vector<std::string>& args,
        const std::string& state_path, const std::string& log_path) {
  std::string out;
  std::string err;
  int code =
      devcon_sim::RunDevcon(devcon_sim::ProgramName(argv0), args, state_path, log_path, out, err);
  // A failed write has no one left to report to.
  static_cast<void>(std::fwrite(out.data(), 1, out.size(), stdout));
  static_cast<void>(std::fflush(stdout));
  static_cast<void>(std::fwrite(err.data(), 1, err.size(), stderr));
  static_cast<void>(std::fflush(stderr));
  return code;
}

}  // namespace

#ifdef _WIN32

#ifdef __MINGW32__
// Patterns such as *VID_3F7C* must reach the program literally, as they do the real one; the
// MinGW runtime would otherwise expand them against the current directory.
extern "C" {
int _dowildcard = 0;
}
#endif

namespace {

std::string ToUtf8(const wchar_t* text) {
  int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (size <= 1) return std::string();
  std::string result(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, result.data(), size, nullptr, nullptr);
  result.resize(static_cast<size_t>(size - 1));
  return result;
}

std::string EnvironmentUtf8(const wchar_t* name) {
  DWORD size = GetEnvironmentVariableW(name, nullptr, 0);
  if (size == 0) return std::string();
  std::wstring value(size, L'\0');
  DWORD length = GetEnvironmentVariableW(name, value.data(), size);
  if (length == 0 || length >= size) return std::string();
  value.resize(length);
  return ToUtf8(value.c_str());
}

}  // namespace

extern "C" int wmain(int argc, wchar_t** argv) {
  // An injected crash must end the process with its exception code, not wait on an error dialog.
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
  static_cast<void>(_setmode(_fileno(stdout), _O_BINARY));
  static_cast<void>(_setmode(_fileno(stderr), _O_BINARY));
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.push_back(ToUtf8(argv[i]));
  return Run(argc > 0 ? ToUtf8(argv[0]) : std::string("devcon"), args,
             EnvironmentUtf8(L"DEVCON_SIM_STATE"), EnvironmentUtf8(L"DEVCON_SIM_LOG"));
}

#else

#include <cstdlib>

namespace {

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value ? std::string(value) : std::string();
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  return Run(argc > 0 ? argv[0] : "devcon", args, Environment("DEVCON_SIM_STATE"),
             Environment("DEVCON_SIM_LOG"));
}

#endif
