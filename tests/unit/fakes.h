#ifndef KOVEX_TESTS_UNIT_FAKES_H_
#define KOVEX_TESTS_UNIT_FAKES_H_

#include <map>
#include <set>
#include <string>
#include <vector>

#include "exec/machine_identity.h"
#include "exec/program_search.h"
#include "gtest/gtest.h"

// Link-time stand-ins for the Windows pieces: the command runner, the
// registry and standard output. Each records what it was asked; tests script
// the answers and assert on the record.

// What CommandInterpreterPath answers: the interpreter's full path in the
// system directory, as the tool must start it.
extern const wchar_t kInterpreterPath[];

struct RecordedRun {
  std::wstring program;
  std::wstring parameters;
  unsigned long time_limit_ms = 0;
};

// Answers the Windows half of RunProgram, which the real runner.cc drives. A
// run of the interpreter (by kInterpreterPath, not by a
// bare name) whose parameters redirect a device console command
// (" /D /C devcon <command> > file" or ">> file") acts as the interpreter
// would: the file is created or emptied (">") or opened for appending (">>")
// whatever the status, and the command's scripted listing, if any, is
// written to it (for "-u <command>", the scripted one if any, else the
// command's in UTF-16LE, as for the check's captures below; with
// `devcon_knows_unicode` false, nothing and status 3); unless its
// parameters are in `unwritten`, as when the interpreter ran in another
// folder.
struct FakeRunner {
  std::vector<RecordedRun> runs;
  std::map<std::wstring, int> statuses;        // by exact parameter string
  std::map<std::wstring, std::string> listings;  // by devcon command text
  std::set<std::wstring> unlaunchable;         // program names
  std::set<std::wstring> unwritten;            // parameters writing no file
  std::set<std::wstring> processless;  // parameters: started, no process back
  std::set<std::wstring> hanging;      // parameters: ended at the time limit
  std::set<std::wstring> wait_failing;  // parameters: the wait itself fails
  std::set<std::wstring> no_exit_code;  // parameters: exit code unreadable
  // Parameters: how long the program runs on the fake clock (else 0); one
  // that runs past its limit is ended there.
  std::map<std::wstring, unsigned long> durations;
  int launch_error = 2;
  // The machine's cleanup lock: held by another cleanup until this time on
  // the fake clock (0: free), or failing with `lock_error`; each wait asked
  // for, in milliseconds.
  unsigned long long lock_free_at_ms = 0;
  long lock_error = 0;
  std::vector<unsigned long> lock_waits;
  // What became of each started process, by parameters, in order: its tree
  // ended, and released leaving what it started running or ending it.
  std::vector<std::wstring> trees_ended;
  std::vector<std::wstring> left_running;
  std::vector<std::wstring> released_ending;
  // Parameters whose job refuses to have kill-on-close taken off, and those
  // whose job was therefore kept open.
  std::set<std::wstring> kill_on_close_stuck;
  std::vector<std::wstring> jobs_kept_open;

  // The check's pipe captures of devcon, answered from `listings` too: by
  // the exact parameters if scripted so, else "-u <command>" by the
  // command's listing in UTF-16LE (its bytes read as UTF-8 where they form
  // it, else as Latin-1). An unscripted findall or status finds nothing.
  std::vector<std::wstring> captured;             // parameters, in order
  std::vector<std::wstring> captured_programs;    // the program, in order
  unsigned long capture_time_limit_ms = 0;        // the last one asked for
  std::map<std::wstring, unsigned long> capture_exit_codes;  // either key
  std::map<std::wstring, std::string> capture_errors;  // standard error
  std::set<std::wstring> capture_timeouts;        // parameters that hang
  std::wstring capture_failure;                   // set: devcon cannot run
  std::set<std::wstring> capture_exit_code_unreadable;  // parameters
  std::set<std::wstring> capture_read_failures;  // parameters: a read fails
  // Parameters: how long the run takes on the fake clock (else 0); one
  // that takes longer than its limit is ended there.
  std::map<std::wstring, unsigned long> capture_durations;
  // Where devcon is looked for, and the files there.
  ProgramSearch devcon_search = {L"C:\\work", true, L"", L""};
  std::set<std::wstring> devcon_files = {L"C:\\work\\devcon.exe"};
  bool devcon_knows_unicode = true;  // false: `-u` is a usage error

  std::vector<std::wstring> ParametersRun() const;
};

extern FakeRunner fake_runner;

// The MonotonicMs clock: reset to 0 before each test; programs and devcon
// captures move it by how long they run.
extern unsigned long long fake_clock_ms;

// The registry below HKEY_LOCAL_MACHINE in the 32-bit view, reduced to what
// the installer cleanup touches: one key and its subkeys' names.
struct FakeRegistry {
  std::wstring key_path = L"Software\\Kovex";
  long open_result = 0;
  std::vector<std::wstring> subkeys;  // enumeration order
  int enum_error_at = -1;             // index answered with an error
  std::set<std::wstring> failing_deletes;

  std::wstring opened_path;
  bool opened_for_reading = false;
  std::vector<std::wstring> deleted;
  bool open = false;
  bool enumerating = false;
  int closes = 0;
};

extern FakeRegistry fake_registry;

// The Windows directory's driver folder, as the check looks at it: the
// names each pattern matches, which of them are hidden or system files, or
// an error for the whole folder. And the deletions of files in the working
// directory, which really delete unless the name is `undeletable`.
struct FakeFiles {
  std::wstring directory = L"C:\\windows\\system32\\drivers";
  std::map<std::wstring, std::vector<std::wstring>> matches;  // by pattern
  std::set<std::wstring> hidden;                               // by name
  std::set<std::wstring> system;                               // by name
  long error = 0;
  std::vector<std::wstring> patterns;  // asked for, in order

  std::set<std::string> undeletable;  // answered ERROR_ACCESS_DENIED
  std::vector<std::string> deletions;  // asked for, in order
};

extern FakeFiles fake_files;

// The machine's name and the time now, as the check's document names them.
struct FakeMachine {
  std::wstring host_name = L"PC-0042";
  UtcTime utc_time = {2026, 12, 8, 4, 11, 29};  // "2026-12-08T04:11:29Z"
};

extern FakeMachine fake_machine;

// Everything printed since the last reset, to standard output and error,
// and what went to the console instead when `output_is_console`.
extern std::string printed;
extern std::string printed_errors;
extern std::wstring printed_on_console;
extern bool output_is_console;


// Text as devcon writes it with `-u`: UTF-16LE, from UTF-8 where the bytes
// form it and Latin-1 for every other byte.
std::string Utf16Output(const std::string& text);

// Resets the machine the fakes stand for (runner, registry, files, identity)
// and what was printed, as before a test: for each case of a table.
void ResetFakeMachine();

// Resets the fakes and runs each test in an empty working directory of its
// own, where the listing files land.
class FakeSystemTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  static void WriteFile(const char* name, const std::string& bytes);
  static std::string ReadFile(const char* name);

 private:
  std::string old_directory_;
  std::string directory_;
};

#endif  // KOVEX_TESTS_UNIT_FAKES_H_
