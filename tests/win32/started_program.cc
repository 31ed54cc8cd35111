// A console program for the tests to start in place of devcon: it tells how
// it was started, or writes a long listing.
//
//   started_program window [file]  how its window was asked to show and
//                                  whether it has a console window, on
//                                  standard output or into `file`
//   started_program long <lines>   <lines> numbered lines ending in CR LF,
//                                  then "last" with no line end
//   started_program tree           starts `started_program hang`, and never
//                                  ends
//   started_program leave          starts `started_program hang`, and ends
//                                  (exit code 0)
//   started_program hang           never ends
//   started_program job            "in-job=yes" or "in-job=no": whether it
//                                  is in a job, asked before anything else
//   started_program stdin          "stdin=eof" when its standard input reads
//                                  as empty (the null device), else the error
//   started_program late-errors    ends (exit code 3) while a program it
//                                  started writes a line to its standard
//                                  error 300 ms later
//   started_program linger         closes both outputs, then stays 20 s
//                                  (built windowless, so that no console
//                                  host keeps copies of them)
//   started_program outlive        writes "listed", starts `started_program
//                                  hang` holding copies of its outputs,
//                                  and ends (exit code 0)
//   started_program flood          writes lines to both outputs without a
//                                  pause for 20 s, from four threads at once
//   started_program                with KOVEX_PRINTS naming a file: that
//                                  file's bytes on standard output, exit
//                                  code 0 (a cleanup whose output a test
//                                  writes)
//   anything else                  a line on standard error, exit code 9
#include <windows.h>

#include <io.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// "show=<SW_ value or none> console=<yes|no> window=<yes|no>": a console
// attached to the process, and whether that console has a window.
std::string HowStarted() {
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  GetStartupInfoW(&startup);
  std::string text = "show=";
  text += (startup.dwFlags & STARTF_USESHOWWINDOW) != 0
              ? std::to_string(startup.wShowWindow)
              : "none";
  text += GetConsoleCP() != 0 ? " console=yes" : " console=no";
  text += GetConsoleWindow() != nullptr ? " window=yes" : " window=no";
  return text + "\n";
}

// Writes the bytes as they are, with no text-mode line end translation.
void Write(const std::string& bytes) {
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), bytes.data(),
            static_cast<DWORD>(bytes.size()), &written, nullptr);
}

void WriteTo(DWORD which, const std::string& bytes) {
  DWORD written = 0;
  WriteFile(GetStdHandle(which), bytes.data(), static_cast<DWORD>(bytes.size()),
            &written, nullptr);
}

// Closes an output for good: the C runtime's descriptor, which Wine's
// runtime holds as a handle of its own, and the standard handle (on Windows
// the same one: closing it twice fails harmlessly).
void CloseOutput(int descriptor, DWORD which) {
  _close(descriptor);
  CloseHandle(GetStdHandle(which));
}

// Writes to standard output, or to standard error when `errors` is not
// null.
DWORD WINAPI Flood(void* errors) {
  std::string lines;
  while (lines.size() < 1024 * 1024) lines += "line\r\n";
  const ULONGLONG end = GetTickCount64() + 20000;
  const DWORD which = errors != nullptr ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE;
  while (GetTickCount64() < end) WriteTo(which, lines);
  return 0;
}

// Starts this program again with `mode`, handing it standard error alone,
// as all three of its standard handles.
bool StartWithErrorsOnly(const wchar_t* mode) {
  wchar_t self[MAX_PATH];
  if (GetModuleFileNameW(nullptr, self, MAX_PATH) == 0) return false;
  HANDLE errors = GetStdHandle(STD_ERROR_HANDLE);
  SIZE_T size = 0;
  InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
  std::string room(size, '\0');
  auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(&room[0]);
  if (!InitializeProcThreadAttributeList(list, 1, 0, &size) ||
      !UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, &errors,
                                 sizeof(errors), nullptr, nullptr)) {
    return false;
  }
  STARTUPINFOEXW startup = {};
  startup.StartupInfo.cb = sizeof(startup);
  startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
  startup.StartupInfo.hStdInput = errors;
  startup.StartupInfo.hStdOutput = errors;
  startup.StartupInfo.hStdError = errors;
  startup.lpAttributeList = list;
  std::wstring command = L"\"" + std::wstring(self) + L"\" " + mode;
  PROCESS_INFORMATION process = {};
  const BOOL started = CreateProcessW(self, &command[0], nullptr, nullptr, TRUE,
                                      CREATE_NO_WINDOW | EXTENDED_STARTUPINFO_PRESENT,
                                      nullptr, nullptr, &startup.StartupInfo, &process);
  DeleteProcThreadAttributeList(list);
  if (!started) return false;
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  // First of all: a program is put into its job while it is still suspended,
  // or not at all.
  BOOL in_job = FALSE;
  const BOOL asked = IsProcessInJob(GetCurrentProcess(), nullptr, &in_job);
  const std::string mode = argc >= 2 ? argv[1] : "";
  if (mode == "job") {
    Write(!asked ? "in-job=unknown" : in_job ? "in-job=yes" : "in-job=no");
    return 0;
  }
  if (mode == "stdin") {
    char one = 0;
    DWORD got = 0;
    if (ReadFile(GetStdHandle(STD_INPUT_HANDLE), &one, 1, &got, nullptr) && got == 0) {
      Write("stdin=eof");
    } else {
      Write("stdin=error " + std::to_string(GetLastError()));
    }
    return 0;
  }
  if (mode == "late-errors") {
    // Under Wine this console program's console host holds copies of its
    // standard handles until it ends: a second program of its own, handed
    // standard error alone, writes there after this one and its output have
    // ended.
    if (!StartWithErrorsOnly(L"late-errors-writer")) return 8;
    return 3;
  }
  if (mode == "late-errors-writer") {
    Sleep(300);
    WriteTo(STD_ERROR_HANDLE, "usage, after the output ended\r\n");
    return 0;
  }
  if (mode == "outlive") {
    Write("listed\r\n");
    wchar_t self[MAX_PATH];
    if (GetModuleFileNameW(nullptr, self, MAX_PATH) == 0) return 7;
    std::wstring command = L"\"" + std::wstring(self) + L"\" hang";
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION child = {};
    if (!CreateProcessW(self, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                        &startup, &child)) {
      return 7;
    }
    CloseHandle(child.hThread);
    CloseHandle(child.hProcess);
    return 0;
  }
  if (mode == "linger") {
    CloseOutput(1, STD_OUTPUT_HANDLE);
    CloseOutput(2, STD_ERROR_HANDLE);
    Sleep(20000);
    return 0;
  }
  if (mode == "flood") {
    // Four writers, two on each output, each with a large write always
    // pending: neither pipe is ever empty when its reader looks.
    static int errors = 0;
    for (int i = 0; i < 4; ++i) {
      CreateThread(nullptr, 0, Flood, i % 2 == 0 ? nullptr : &errors, 0, nullptr);
    }
    Sleep(20000);
    ExitProcess(0);
  }
  if (argc >= 2 && std::strcmp(argv[1], "window") == 0) {
    const std::string text = HowStarted();
    if (argc < 3) {
      Write(text);
      return 0;
    }
    std::FILE* out = std::fopen(argv[2], "wb");
    if (out == nullptr) return 8;
    std::fwrite(text.data(), 1, text.size(), out);
    std::fclose(out);
    return 0;
  }
  if (argc >= 3 && std::strcmp(argv[1], "long") == 0) {
    const long lines = std::strtol(argv[2], nullptr, 10);
    std::string listing;
    char line[32];
    for (long i = 0; i < lines; ++i) {
      std::snprintf(line, sizeof(line), "line %06ld\r\n", i);
      listing += line;
    }
    Write(listing + "last");
    return 0;
  }
  const bool leave = argc >= 2 && std::strcmp(argv[1], "leave") == 0;
  if (argc >= 2 && (std::strcmp(argv[1], "tree") == 0 || leave)) {
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring command_line = L"\"" + std::wstring(self) + L"\" hang";
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION child = {};
    if (!CreateProcessW(self, command_line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &startup, &child)) {
      return 7;
    }
    CloseHandle(child.hThread);
    CloseHandle(child.hProcess);
    if (leave) return 0;
  }
  if (argc >= 2 && (std::strcmp(argv[1], "tree") == 0 || std::strcmp(argv[1], "hang") == 0)) {
    for (;;) Sleep(60000);
  }
  const char* prints = std::getenv("KOVEX_PRINTS");
  if (argc == 1 && prints != nullptr) {
    std::FILE* in = std::fopen(prints, "rb");
    if (in == nullptr) return 8;
    std::string bytes;
    char piece[4096];
    for (std::size_t got; (got = std::fread(piece, 1, sizeof(piece), in)) > 0;) {
      bytes.append(piece, got);
    }
    std::fclose(in);
    Write(bytes);
    return 0;
  }
  std::fputs("started_program: unknown mode\n", stderr);
  return 9;
}
