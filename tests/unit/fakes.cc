#include "tests/unit/fakes.h"

#include <cstdio>
#include <cwctype>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <unistd.h>

#include "exec/capture.h"
#include "exec/files.h"
#include "exec/machine_identity.h"
#include "exec/registry.h"
#include "exec/runner.h"
#include "exec/time_limit.h"
#include "exec/tools.h"
#include "listing/capture_listing.h"

const wchar_t kInterpreterPath[] = L"C:\\Windows\\system32\\cmd.exe";

FakeRunner fake_runner;
FakeRegistry fake_registry;
FakeFiles fake_files;
FakeMachine fake_machine;

std::vector<std::wstring> FakeRunner::ParametersRun() const {
  std::vector<std::wstring> parameters;
  for (const RecordedRun& run : runs) parameters.push_back(run.parameters);
  return parameters;
}

namespace {

std::string Narrow(const std::wstring& text) {
  std::string narrow;
  for (wchar_t c : text) narrow.push_back(static_cast<char>(c));
  return narrow;
}

// " /D /C devcon -u findall *QZV* >> devicelist.txt": command "-u findall
// *QZV*", file "devicelist.txt", append. Returns devcon's status: 3 for a
// `-u` it does not know, else 0.
int RedirectListing(const std::wstring& parameters) {
  const std::wstring prefix = L" /D /C devcon ";
  if (parameters.compare(0, prefix.size(), prefix) != 0) return 0;
  if (fake_runner.unwritten.count(parameters) != 0) return 0;
  std::wstring::size_type arrow = parameters.find(L" >");
  if (arrow == std::wstring::npos) return 0;
  const std::wstring command =
      parameters.substr(prefix.size(), arrow - prefix.size());
  const bool append = parameters.compare(arrow, 4, L" >> ") == 0;
  const std::wstring file = parameters.substr(arrow + (append ? 4 : 3));
  std::ofstream out(Narrow(file), append ? std::ios::binary | std::ios::app
                                         : std::ios::binary | std::ios::trunc);
  const std::wstring unicode = L"-u ";
  const bool wide = command.compare(0, unicode.size(), unicode) == 0;
  if (wide && !fake_runner.devcon_knows_unicode) return 3;
  auto listing = fake_runner.listings.find(command);
  if (listing != fake_runner.listings.end()) {
    out << listing->second;
  } else if (wide) {
    listing = fake_runner.listings.find(command.substr(unicode.size()));
    if (listing != fake_runner.listings.end()) out << Utf16Output(listing->second);
  }
  return 0;
}

}  // namespace

namespace {

// The run in progress: what its start scripted.
int started_status = 0;

}  // namespace

ShellStart StartHidden(const std::wstring& program, const std::wstring& parameters) {
  fake_runner.runs.push_back({program, parameters, 0});
  ShellStart start;
  if (fake_runner.unlaunchable.count(program) != 0) {
    start.error = fake_runner.launch_error;
    return start;
  }
  start.started = true;
  if (fake_runner.processless.count(parameters) != 0) return start;
  start.program.process = &fake_runner;
  start.program.job = &fake_runner;
  started_status = 0;
  if (program == kInterpreterPath) started_status = RedirectListing(parameters);
  auto status = fake_runner.statuses.find(parameters);
  if (status != fake_runner.statuses.end()) started_status = status->second;
  return start;
}

ProgramWait WaitForProgram(const StartedProgram& program, unsigned long time_limit_ms) {
  EXPECT_NE(nullptr, program.process);
  RecordedRun& run = fake_runner.runs.back();
  run.time_limit_ms = time_limit_ms;
  if (fake_runner.wait_failing.count(run.parameters) != 0) return ProgramWait::kFailed;
  auto duration = fake_runner.durations.find(run.parameters);
  const unsigned long runs_for =
      duration == fake_runner.durations.end() ? 0 : duration->second;
  if (fake_runner.hanging.count(run.parameters) != 0 || runs_for > time_limit_ms) {
    fake_clock_ms += time_limit_ms;
    return ProgramWait::kTimedOut;
  }
  fake_clock_ms += runs_for;
  return ProgramWait::kEnded;
}

bool ReadExitCode(const StartedProgram&, unsigned long* exit_code) {
  if (fake_runner.no_exit_code.count(fake_runner.runs.back().parameters) != 0) {
    return false;
  }
  *exit_code = static_cast<unsigned long>(started_status);
  return true;
}

void EndProgramTree(const StartedProgram&) {
  fake_runner.trees_ended.push_back(fake_runner.runs.back().parameters);
}

namespace {

// Whether KeepJobRunning was asked for the run in progress.
bool keep_asked = false;

}  // namespace

bool KeepJobRunning(const StartedProgram&) {
  const std::wstring& parameters = fake_runner.runs.back().parameters;
  keep_asked = true;
  fake_runner.left_running.push_back(parameters);
  return fake_runner.kill_on_close_stuck.count(parameters) == 0;
}

void CloseStart(const StartedProgram&, bool keep_job) {
  const std::wstring& parameters = fake_runner.runs.back().parameters;
  if (keep_job) fake_runner.jobs_kept_open.push_back(parameters);
  if (!keep_asked) fake_runner.released_ending.push_back(parameters);
  keep_asked = false;
}

unsigned long long fake_clock_ms = 0;

RunLockTry TryTakeRunLock(unsigned long wait_ms) {
  fake_runner.lock_waits.push_back(wait_ms);
  RunLockTry attempt;
  attempt.error = fake_runner.lock_error;
  if (fake_runner.lock_error != 0) return attempt;
  const unsigned long long free_at = fake_runner.lock_free_at_ms;
  if (fake_clock_ms + wait_ms < free_at) {
    fake_clock_ms += wait_ms;
    attempt.answer = RunLockAnswer::kHeld;
    return attempt;
  }
  if (fake_clock_ms < free_at) fake_clock_ms = free_at;
  attempt.answer = RunLockAnswer::kTaken;
  return attempt;
}

unsigned long long MonotonicMs() { return fake_clock_ms; }

std::wstring LaunchErrorText(long code) {
  if (code == 5) return L"Access is denied.\r\n";
  return code == 6 ? L"The handle is invalid.\r\n"
                   : L"The system cannot find the file specified.\r\n";
}

std::wstring CommandInterpreterPath() { return kInterpreterPath; }

namespace {

// The length of a well-formed UTF-8 sequence at `at`, 0 when there is none:
// no overlong forms, no surrogates, nothing above U+10FFFF.
std::size_t Utf8Length(const std::string& text, std::size_t at) {
  const auto byte = [&text](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(at);
  const std::size_t length = lead >= 0xF0 && lead <= 0xF4   ? 4
                             : lead >= 0xE0 && lead <= 0xEF ? 3
                             : lead >= 0xC2 && lead <= 0xDF ? 2
                                                            : 0;
  if (length == 0 || at + length > text.size()) return 0;
  const unsigned char low = lead == 0xE0 ? 0xA0 : lead == 0xF0 ? 0x90 : 0x80;
  const unsigned char high = lead == 0xED ? 0x9F : lead == 0xF4 ? 0x8F : 0xBF;
  if (byte(at + 1) < low || byte(at + 1) > high) return 0;
  for (std::size_t i = 2; i < length; ++i) {
    if ((byte(at + i) & 0xC0) != 0x80) return 0;
  }
  return length;
}

}  // namespace

std::string Utf16Output(const std::string& text) {
  std::string out;
  const auto unit = [&out](unsigned long value) {
    out.push_back(static_cast<char>(value & 0xFF));
    out.push_back(static_cast<char>((value >> 8) & 0xFF));
  };
  for (std::size_t at = 0; at < text.size();) {
    const unsigned char lead = static_cast<unsigned char>(text[at]);
    const std::size_t length = lead < 0x80 ? 0 : Utf8Length(text, at);
    unsigned long code_point = lead;
    if (length > 1) {
      code_point = lead & (0xFFu >> (length + 1));
      for (std::size_t i = 1; i < length; ++i) {
        code_point = (code_point << 6) |
                     (static_cast<unsigned char>(text[at + i]) & 0x3Fu);
      }
    }
    at += length > 1 ? length : 1;
    if (code_point >= 0x10000) {
      unit(0xD800 + ((code_point - 0x10000) >> 10));
      unit(0xDC00 + ((code_point - 0x10000) & 0x3FF));
    } else {
      unit(code_point);
    }
  }
  return out;
}

ProgramSearch InterpreterSearchPlaces() { return fake_runner.devcon_search; }

bool IsFile(const std::wstring& path) {
  const auto lower = [](std::wstring text) {
    for (wchar_t& c : text) c = static_cast<wchar_t>(std::towlower(c));
    return text;
  };
  for (const std::wstring& file : fake_runner.devcon_files) {
    if (lower(file) == lower(path)) return true;
  }
  return false;
}

PipeRun RunThroughPipes(const std::wstring& program, const std::wstring& parameters,
                        unsigned long time_limit_ms) {
  fake_runner.captured.push_back(parameters);
  fake_runner.captured_programs.push_back(program);
  fake_runner.capture_time_limit_ms = time_limit_ms;
  PipeRun run;
  if (!fake_runner.capture_failure.empty()) {
    run.failure = fake_runner.capture_failure;
    return run;
  }
  auto duration = fake_runner.capture_durations.find(parameters);
  const unsigned long runs_for =
      duration == fake_runner.capture_durations.end() ? 0 : duration->second;
  if (fake_runner.capture_timeouts.count(parameters) != 0 || runs_for > time_limit_ms) {
    fake_clock_ms += time_limit_ms;
    run.end = PipeRunEnd::kLimitPassed;
    return run;
  }
  fake_clock_ms += runs_for;
  if (fake_runner.capture_read_failures.count(parameters) != 0) {
    run.end = PipeRunEnd::kReadFailed;
    run.failure = L"devcon's output could not be read: system error 995";
    return run;
  }
  run.end = PipeRunEnd::kEnded;
  run.exit_code_read = fake_runner.capture_exit_code_unreadable.count(parameters) == 0;
  run.exit_code_error = run.exit_code_read ? 0 : 5;
  const std::wstring unicode = L"-u ";
  const bool wide = parameters.compare(0, unicode.size(), unicode) == 0;
  const std::wstring command = wide ? parameters.substr(unicode.size()) : parameters;
  if (wide && !fake_runner.devcon_knows_unicode) {
    run.exit_code = 3;
    run.errors =
        "devcon.exe Usage: devcon.exe [-r] [-m:\\\\<machine>] <command> "
        "[<arg>...]\r\nFor more information, type: devcon.exe help\r\n";
    return run;
  }
  auto listing = fake_runner.listings.find(parameters);
  if (listing != fake_runner.listings.end()) {
    run.output = listing->second;
  } else {
    listing = fake_runner.listings.find(command);
    if (listing != fake_runner.listings.end()) {
      run.output = listing->second;
    } else if (command.compare(0, 8, L"findall ") == 0 ||
               command.compare(0, 7, L"status ") == 0) {
      run.output = "No matching devices found.\r\n";
    }
    if (wide) run.output = Utf16Output(run.output);
  }
  for (const std::wstring& key : {command, parameters}) {
    auto code = fake_runner.capture_exit_codes.find(key);
    if (code != fake_runner.capture_exit_codes.end()) run.exit_code = code->second;
    auto errors = fake_runner.capture_errors.find(key);
    if (errors != fake_runner.capture_errors.end()) run.errors = errors->second;
  }
  return run;
}

long FindWindowsFiles(const wchar_t* subdirectory, const wchar_t* pattern,
                      std::wstring* directory, std::vector<WindowsFile>* files) {
  EXPECT_EQ(std::wstring(L"system32\\drivers"), subdirectory);
  fake_files.patterns.push_back(pattern);
  *directory = fake_files.directory;
  files->clear();
  if (fake_files.error != 0) return fake_files.error;
  auto found = fake_files.matches.find(pattern);
  if (found == fake_files.matches.end()) return 0;
  for (const std::wstring& name : found->second) {
    WindowsFile file;
    file.name = name;
    file.hidden = fake_files.hidden.count(name) != 0;
    file.system = fake_files.system.count(name) != 0;
    files->push_back(file);
  }
  return 0;
}

long DeleteWorkingFile(const char* file_name) {
  fake_files.deletions.push_back(file_name);
  if (fake_files.undeletable.count(file_name) != 0) return 5;
  static_cast<void>(std::remove(file_name));  // gone or never there: both fine
  return 0;
}

std::wstring SystemErrorText(long code) {
  return L"system error " + std::to_wstring(code);
}

long OpenLocalMachineKey32ForReading(const wchar_t* path, RegistryKey* key) {
  const long result = OpenLocalMachineKey32(path, key);
  fake_registry.opened_for_reading = true;
  return result;
}

long OpenLocalMachineKey32(const wchar_t* path, RegistryKey* key) {
  fake_registry.opened_path = path;
  fake_registry.opened_for_reading = false;
  if (fake_registry.open_result != 0) return fake_registry.open_result;
  if (fake_registry.opened_path != fake_registry.key_path) return 2;
  fake_registry.open = true;
  *key = &fake_registry;
  return 0;
}

long EnumSubkeyName(RegistryKey key, unsigned long index, wchar_t* name,
                    unsigned long name_chars) {
  EXPECT_EQ(key, &fake_registry);
  EXPECT_TRUE(fake_registry.open) << "enumerating a closed key";
  const int at = static_cast<int>(index);
  if (at == fake_registry.enum_error_at) {
    fake_registry.enumerating = false;
    return 1359;  // ERROR_INTERNAL_ERROR
  }
  if (index >= fake_registry.subkeys.size()) {
    fake_registry.enumerating = false;
    return 259;  // ERROR_NO_MORE_ITEMS
  }
  fake_registry.enumerating = true;
  const std::wstring& subkey = fake_registry.subkeys[index];
  if (subkey.size() + 1 > name_chars) {
    fake_registry.enumerating = false;
    return 234;  // ERROR_MORE_DATA
  }
  subkey.copy(name, subkey.size());
  name[subkey.size()] = L'\0';
  return 0;
}

long DeleteSubkeyTree(RegistryKey key, const wchar_t* name) {
  EXPECT_EQ(key, &fake_registry);
  EXPECT_TRUE(fake_registry.open) << "deleting below a closed key";
  EXPECT_FALSE(fake_registry.enumerating)
      << "deleted while the enumeration was still going";
  fake_registry.deleted.push_back(name);
  // Deleting a tree takes a key opened with DELETE access, which a key
  // opened for reading lacks.
  if (fake_registry.opened_for_reading) return 5;  // ERROR_ACCESS_DENIED
  return fake_registry.failing_deletes.count(name) != 0 ? 5 : 0;
}

void CloseRegistryKey(RegistryKey key) {
  EXPECT_EQ(key, &fake_registry);
  EXPECT_TRUE(fake_registry.open) << "closed a key that is not open";
  fake_registry.open = false;
  ++fake_registry.closes;
}

std::wstring MachineDnsHostName() { return fake_machine.host_name; }

UtcTime UtcTimeNow() { return fake_machine.utc_time; }

void ResetFakeMachine() {
  fake_machine = FakeMachine();
  fake_runner = FakeRunner();
  fake_registry = FakeRegistry();
  fake_files = FakeFiles();
  printed.clear();
  printed_errors.clear();
}

void FakeSystemTest::SetUp() {
  ResetFakeMachine();
  printed_on_console.clear();
  output_is_console = false;
  StartCaptures();
  fake_clock_ms = 0;
  StartRunDeadline();
  namespace fs = std::filesystem;
  old_directory_ = fs::current_path().string();
  const ::testing::TestInfo* info =
      ::testing::UnitTest::GetInstance()->current_test_info();
  fs::path dir = fs::temp_directory_path() /
                 ("kovex-unit-" + std::to_string(::getpid()) + "-" +
                  info->test_suite_name() + "-" + info->name());
  fs::remove_all(dir);
  fs::create_directories(dir);
  fs::current_path(dir);
  directory_ = dir.string();
}

void FakeSystemTest::TearDown() {
  namespace fs = std::filesystem;
  fs::current_path(old_directory_);
  fs::remove_all(directory_);
}

void FakeSystemTest::WriteFile(const char* name, const std::string& bytes) {
  std::ofstream out(name, std::ios::binary | std::ios::trunc);
  out << bytes;
}

std::string FakeSystemTest::ReadFile(const char* name) {
  std::ifstream in(name, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}
