// The check's devcon reads against a minimal reader, under Wine or on
// Windows: the same seven devcon runs the check makes, read by
// CaptureDeviceConsole (overlapped reads of both pipes, the time limit, the
// job, the devcon search) and by a plain CreateProcess with one blocking
// ReadFile loop on standard output, in turns, on two simulated machines:
// 120 of the maker's devices, and a driver store of 20,000 packages.
//
//   check_read_benchmark <simulator.exe> [rounds]
//
// Run in a scratch folder: it copies the simulator there as devcon.exe and
// writes the machines' state files there.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "exec/capture.h"

namespace {

const wchar_t* const kRuns[] = {
    L"-u findall *VID_3F7C*", L"-u findall *QZV*",      L"-u findall *MMDEVAPI*",
    L"-u /dp_enum",           L"-u status *VID_3F7C*", L"-u status *QZV*",
    L"-u status *MMDEVAPI*"};

std::string DevicesMachine() {
  std::string text;
  for (int i = 0; i < 120; ++i) {
    text += "device USB\\VID_3F7C&PID_" + std::to_string(1000 + i) + "\\6&2B1C0F3&0&" +
            std::to_string(i) + "\n  description Kovex Device " + std::to_string(i) +
            "\n  hardware USB\\VID_3F7C&PID_" + std::to_string(1000 + i) + "\n";
    if (i % 2 == 0) text += "  absent\n";
  }
  return text;
}

std::string PackagesMachine() {
  std::string text;
  for (int i = 0; i < 20000; ++i) {
    text += "package oem" + std::to_string(i) + ".inf\n  provider " +
            (i % 100 == 0 ? std::string("Kovex Inc") : "Contoso " + std::to_string(i)) +
            "\n  class Sound, video and game controllers\n";
  }
  return text;
}

// The minimal reader: standard output through an anonymous pipe read with
// blocking reads to its end, standard error to the null device.
std::size_t PlainRead(const std::wstring& devcon, const wchar_t* parameters) {
  SECURITY_ATTRIBUTES inheritable = {sizeof(inheritable), nullptr, TRUE};
  HANDLE read_end = nullptr;
  HANDLE write_end = nullptr;
  CreatePipe(&read_end, &write_end, &inheritable, 0);
  SetHandleInformation(read_end, HANDLE_FLAG_INHERIT, 0);
  HANDLE null_device = CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable,
                                   OPEN_EXISTING, 0, nullptr);
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = null_device;
  startup.hStdOutput = write_end;
  startup.hStdError = null_device;
  std::wstring command_line = L"\"" + devcon + L"\" " + parameters;
  PROCESS_INFORMATION process = {};
  CreateProcessW(devcon.c_str(), command_line.data(), nullptr, nullptr, TRUE,
                 CREATE_NO_WINDOW, nullptr, nullptr, &startup, &process);
  CloseHandle(write_end);
  CloseHandle(null_device);
  std::string bytes;
  char buffer[64 * 1024];
  DWORD got = 0;
  while (ReadFile(read_end, buffer, sizeof(buffer), &got, nullptr) && got != 0) {
    bytes.append(buffer, got);
  }
  WaitForSingleObject(process.hProcess, INFINITE);
  CloseHandle(process.hProcess);
  CloseHandle(process.hThread);
  CloseHandle(read_end);
  return bytes.size();
}

std::size_t CheckRead(const wchar_t* parameters) {
  DeviceConsoleRun run;
  std::wstring failure;
  if (CaptureDeviceConsole(parameters, 120000, &run, &failure) != CaptureResult::kFinished) {
    std::fprintf(stderr, "capture failed: %ls\n", failure.c_str());
    std::exit(1);
  }
  return run.output.size();
}

template <typename Read>
double Seconds(Read read, std::size_t* bytes) {
  const auto start = std::chrono::steady_clock::now();
  *bytes = 0;
  for (const wchar_t* parameters : kRuns) *bytes += read(parameters);
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: check_read_benchmark <simulator.exe> [rounds]\n");
    return 2;
  }
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 9;
  const std::string simulator = argv[1];
  if (!CopyFileW(std::wstring(simulator.begin(), simulator.end()).c_str(), L"devcon.exe",
                 FALSE)) {
    std::fprintf(stderr, "cannot copy %s\n", argv[1]);
    return 2;
  }
  wchar_t folder[MAX_PATH];
  GetCurrentDirectoryW(MAX_PATH, folder);
  const std::wstring devcon = std::wstring(folder) + L"\\devcon.exe";
  SetEnvironmentVariableW(L"DEVCON_SIM_LOG", nullptr);
  const struct {
    const char* name;
    std::string state;
  } machines[] = {{"120 devices", DevicesMachine()},
                  {"20,000 packages", PackagesMachine()}};
  for (const auto& machine : machines) {
    const std::wstring state = std::wstring(folder) + L"\\machine.txt";
    FILE* file = _wfopen(state.c_str(), L"wb");
    std::fwrite(machine.state.data(), 1, machine.state.size(), file);
    std::fclose(file);
    SetEnvironmentVariableW(L"DEVCON_SIM_STATE", state.c_str());
    std::vector<double> plain;
    std::vector<double> check;
    std::vector<double> ratios;
    std::size_t plain_bytes = 0;
    std::size_t check_bytes = 0;
    Seconds([&](const wchar_t* p) { return PlainRead(devcon, p); }, &plain_bytes);  // warm
    for (int round = 0; round < rounds; ++round) {
      plain.push_back(Seconds([&](const wchar_t* p) { return PlainRead(devcon, p); },
                              &plain_bytes));
      check.push_back(Seconds(CheckRead, &check_bytes));
      ratios.push_back(check.back() / plain.back());
    }
    if (plain_bytes != check_bytes) {
      std::fprintf(stderr, "%s: read %zu bytes, the plain reader %zu\n", machine.name,
                   check_bytes, plain_bytes);
      return 1;
    }
    std::printf("%s (%zu bytes in 7 runs, %d rounds): check %.3f s, plain %.3f s, "
                "median ratio %.3fx\n",
                machine.name, check_bytes, rounds, Median(check), Median(plain),
                Median(ratios));
  }
  return 0;
}
