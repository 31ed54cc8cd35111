#include "tests/unit/fakes.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <unistd.h>

#include "exec/capture.h"
#include "exec/files.h"
#include "exec/registry.h"
#include "exec/runner.h"
#include "exec/tools.h"

const wchar_t kInterpreterPath[] = L"C:\\Windows\\system32\\cmd.exe";

FakeRunner fake_runner;
FakeRegistry fake_registry;
FakeFiles fake_files;

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

// " /C devcon findall *QZV* >> devicelist.txt": command "findall *QZV*",
// file "devicelist.txt", append.
void RedirectListing(const std::wstring& parameters) {
  const std::wstring prefix = L" /C devcon ";
  if (parameters.compare(0, prefix.size(), prefix) != 0) return;
  std::wstring::size_type arrow = parameters.find(L" >");
  if (arrow == std::wstring::npos) return;
  const std::wstring command =
      parameters.substr(prefix.size(), arrow - prefix.size());
  const bool append = parameters.compare(arrow, 4, L" >> ") == 0;
  const std::wstring file = parameters.substr(arrow + (append ? 4 : 3));
  std::ofstream out(Narrow(file), append ? std::ios::binary | std::ios::app
                                         : std::ios::binary | std::ios::trunc);
  auto listing = fake_runner.listings.find(command);
  if (listing != fake_runner.listings.end()) out << listing->second;
}

}  // namespace

int RunProgram(const std::wstring& program, const std::wstring& parameters) {
  fake_runner.runs.push_back({program, parameters});
  if (fake_runner.unlaunchable.count(program) != 0) {
    ReportLaunchFailure(fake_runner.launch_error,
                        L"The system cannot find the file specified.\r\n");
    return -1;
  }
  if (program == kInterpreterPath) RedirectListing(parameters);
  auto status = fake_runner.statuses.find(parameters);
  return status == fake_runner.statuses.end() ? 0 : status->second;
}

std::wstring CommandInterpreterPath() { return kInterpreterPath; }

bool CaptureDeviceConsole(const std::wstring& parameters, std::string* output,
                          unsigned long* exit_code, std::wstring* failure) {
  fake_runner.captured.push_back(parameters);
  output->clear();
  *exit_code = 0;
  if (!fake_runner.capture_failure.empty()) {
    *failure = fake_runner.capture_failure;
    return false;
  }
  auto listing = fake_runner.listings.find(parameters);
  if (listing != fake_runner.listings.end()) *output = listing->second;
  auto code = fake_runner.capture_exit_codes.find(parameters);
  if (code != fake_runner.capture_exit_codes.end()) *exit_code = code->second;
  return true;
}

long FindWindowsFiles(const wchar_t* subdirectory, const wchar_t* pattern,
                      std::wstring* directory, std::vector<std::wstring>* names) {
  EXPECT_EQ(std::wstring(L"system32\\drivers"), subdirectory);
  fake_files.patterns.push_back(pattern);
  *directory = fake_files.directory;
  names->clear();
  if (fake_files.error != 0) return fake_files.error;
  auto found = fake_files.matches.find(pattern);
  if (found != fake_files.matches.end()) *names = found->second;
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

void FakeSystemTest::SetUp() {
  fake_runner = FakeRunner();
  fake_registry = FakeRegistry();
  fake_files = FakeFiles();
  printed.clear();
  printed_errors.clear();
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
