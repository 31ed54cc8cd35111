#ifndef KOVEX_EXEC_CAPTURE_H_
#define KOVEX_EXEC_CAPTURE_H_

#include <string>
#include <vector>

#include "exec/program_search.h"

// What one run of the device console tool wrote, byte for byte, and how it
// ended.
struct DeviceConsoleRun {
  std::string output;  // standard output
  std::string errors;  // standard error
  unsigned long exit_code = 0;
};

enum class CaptureResult {
  kFinished,    // the tool ran to its end: `run` holds all it wrote
  kNotStarted,  // it could not be found, started or read: `failure` says why
  kTimedOut,    // it had not finished within the limit and was ended
};

// Runs the device console tool with `parameters` and reads what it writes to
// standard output and standard error through pipes, for the check: no
// interpreter, no listing file, no window, and no dialog when the tool cannot
// be found. devcon is looked for as the cleanup's interpreter looks for it
// (FindDeviceConsole), so that both programs use the same one or neither
// finds one.
//
// The tool gets `time_limit_ms` milliseconds to finish, its outputs closed
// and its process ended; then it is ended with what it started, and the
// failure names the limit.
CaptureResult CaptureDeviceConsole(const std::wstring& parameters,
                                   unsigned long time_limit_ms,
                                   DeviceConsoleRun* run,
                                   std::wstring* failure);

// The platform's half of CaptureDeviceConsole. It reports what the system
// said and decides nothing. One implementation per platform, chosen at link
// time: the Windows one, and a recording fake for the host's tests.

// Where the interpreter would look for a program of this process: its
// working directory, whether that is searched
// (NeedCurrentDirectoryForExePathW), PATH and PATHEXT.
ProgramSearch InterpreterSearchPlaces();

// Whether `path` names a file, not a folder.
bool IsFile(const std::wstring& path);

enum class PipeRunEnd {
  kNotStarted,   // `failure`: what could not be done, with the system's text
  kEnded,        // its process ended within the limit, and its outputs with
                 // it or within kOutputGraceMs after it
  kLimitPassed,  // it and what it started were ended at the limit
  kReadFailed,   // a read of its outputs failed other than at their end
                 // (`failure`): what was read is no listing; it and what it
                 // started were ended
};

struct PipeRun {
  PipeRunEnd end = PipeRunEnd::kNotStarted;
  std::wstring failure;
  std::string output;
  std::string errors;
  bool exit_code_read = false;  // with kEnded
  unsigned long exit_code = 0;
  long exit_code_error = 0;     // the system's code when it was not read
};

// The overlapped reads of devcon's two pipes (0: standard output, 1:
// standard error), each answered with 0 when the read completed (at once or
// later) or the system's error code. What the codes mean is decided by
// ReadPipesUntilEnded, so that every answer is tested, the ones Wine never
// gives included: on Windows a pipe whose writers are gone fails the next
// read's start, under Wine the read under way.
enum class PipeWake {
  kRead,          // a read may have completed
  kProcessEnded,  // devcon itself has ended
  kTimedOut,
  kFailed,        // the wait failed: `error`
};

class PipeReads {
 public:
  virtual ~PipeReads() = default;
  virtual long Start(int pipe) = 0;
  // Takes in the pipe's read without waiting, its bytes appended to `bytes`.
  virtual long Finish(int pipe, std::string* bytes) = 0;
  // Waits up to `ms` for a read of a pipe marked in `reading` to complete,
  // or, with `for_process`, for devcon to end.
  virtual PipeWake Wait(const bool reading[2], bool for_process, unsigned long long ms,
                        long* error) = 0;
  virtual unsigned long long NowMs() = 0;
};

// How long devcon's outputs get to end once devcon itself has ended: what
// it started may hold copies of them, for as long as it runs.
constexpr unsigned long long kOutputGraceMs = 2000;

enum class PipesEnd {
  kEnded,    // both pipes ended: every writer is gone
  kTaken,    // devcon ended, and its outputs were still open
             // kOutputGraceMs later: taken as they are
  kTimedOut, // the deadline came first, devcon still running
  kFailed,   // a read or a wait failed other than at a pipe's end: `error`
};

struct PipesRead {
  PipesEnd end = PipesEnd::kEnded;
  long error = 0;
};

// Reads both pipes as they fill until both have ended, serving both after
// every wake so that a flood on one never starves the other; once devcon has
// ended, for kOutputGraceMs more at most. Only ERROR_BROKEN_PIPE ends a
// pipe; any other error of a read fails the whole (kFailed): what was read
// is no listing.
PipesRead ReadPipesUntilEnded(PipeReads* reads, unsigned long long deadline_ms,
                              std::string* output, std::string* errors);

// How devcon is started, decided here so that the host's tests see it (Wine
// shows neither a handle inherited beyond the list nor a start that was not
// suspended): its three standard handles, exactly those inherited, and
// suspended until it is in its job, so that nothing it starts escapes the
// job.
struct DevconStart {
  void* input = nullptr;   // the null device
  void* output = nullptr;  // its pipes' write ends
  void* errors = nullptr;
  std::vector<void*> inherited;  // exactly these, no other handle
  bool suspended = false;
  bool no_window = false;
};

// The platform's steps of a start, which StartDevcon takes in its order.
// Each failure is the text that says what could not be done and why.
class DevconStarter {
 public:
  virtual ~DevconStarter() = default;
  // Creates the process as `start` says; empty when it was created.
  virtual std::wstring Create(const DevconStart& start) = 0;
  // Puts it into a kill-on-close job, where the system allows one.
  virtual void Confine() = 0;
  // Lets it run; empty when it does.
  virtual std::wstring Resume() = 0;
  // Ends it, with what it started.
  virtual void End() = 0;
};

// Starts devcon with these standard handles through `starter`: created
// suspended, inheriting those three alone and no window, put into its job,
// then let run; ended again when it cannot be let run. Empty when it runs,
// else why not.
std::wstring StartDevcon(DevconStarter* starter, void* input, void* output, void* errors);

// The name of a new pipe for devcon's output, 128 random bits in it; empty
// when the system gave no random bits. And the pipes' security descriptor,
// as SDDL: full access for SYSTEM and for this process's user, nobody
// else's; empty when the user could not be read. Windows only, for its
// tests.
std::wstring NewPipeName();
std::wstring PipeSecurity();

// Starts `program` (a full path) with `parameters` as its command line's
// arguments, without a window, inheriting only the write ends of its two
// pipes and the null device as standard input, in a job that ends it when
// the caller ends. The pipes are named by 128 random bits and admit only
// this process's user and SYSTEM. Reads both pipes as they fill, with no polling, until
// both have ended (or kOutputGraceMs after devcon ended) and the process has
// ended, for `time_limit_ms` at most; then ends it with what it started.
PipeRun RunThroughPipes(const std::wstring& program, const std::wstring& parameters,
                        unsigned long time_limit_ms);

#endif  // KOVEX_EXEC_CAPTURE_H_
