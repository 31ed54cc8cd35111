#ifndef KOVEX_FLEET_PAGE_FLEET_INPUT_H_
#define KOVEX_FLEET_PAGE_FLEET_INPUT_H_

#include <cstddef>
#include <string>
#include <vector>

#include "check/verdict.h"
#include "fleet_page/fleet_time.h"

// Reading the fleet's results, whichever engine gathered them: the check's
// JSON document (one per machine, fleet_document.cc), the collector's CSV
// (one row per machine and trace, fleet_collector.cc) and an export of the
// Remediations device status (one row per machine, the check's
// --remediation line as its detection output, fleet_intune.cc). Each
// becomes one MachineResult per machine, named by where it came from (the
// file it was saved as, the collector's row, the device's name in the
// export), never by what the machine says of itself; whatever was not read
// whole becomes an InputProblem, so that nothing is lost without a word.

struct FleetTrace {
  std::string kind;
  std::string id;
  std::string description;
  std::string manual_removal;  // empty where the cleanup or a reboot removes it
  bool awaits_reboot = false;
};

struct FleetUnchecked {
  std::string check;
  std::string reason;
};

struct FleetAttached {
  std::string kind;
  std::string id;
  std::string description;
  std::string status;
};

struct MachineResult {
  std::string machine;  // its name as the result gives it; may be empty
  std::string source;   // the file it came from, and the row for a CSV
  std::string engine;   // "check document", "collector CSV", "Remediations export"
  // When it was checked, as "2026-12-08T04:11:29Z" (UTC); empty when the
  // result does not tell. `time` is the same in seconds since 1970, or
  // kUnknownTime.
  std::string checked_at;
  long long time;
  std::string version;  // the check's, where the result gives it

  bool has_verdict = false;  // false: NO RESULT, and `problem` says why
  Verdict verdict = Verdict::kUnknown;
  std::string problem;

  std::vector<FleetTrace> traces;
  std::vector<FleetUnchecked> unchecked;
  std::vector<FleetAttached> attached;
  bool cut = false;  // the detection line was cut at the engine's limit
  // The collector's outcome of the cleanup it ran before the check, as
  // written ("The cleanup ran to its end.", "The cleanup did not run to its
  // end: ..."); empty where no cleanup was asked or the engine does not say.
  std::string cleanup;

  // What the page says of this result beside its verdict, each a short
  // phrase of plain text ("the document names ENG-WS-014", "dated after the
  // page was made"). The readers and the grouping set them; the page shows
  // them as they are.
  std::vector<std::string> flags;

  MachineResult();
};

// An input, or a part of one, that was not read whole: a file, a record, a
// row. The page lists them, and standard error names them.
struct InputProblem {
  std::string source;  // the path as given or found
  long long line = 0;  // the line it starts on; 0 for the whole input
  std::string reason;
};

// The largest check document read; a larger file is not read. The check's
// own are a few kilobytes even with hundreds of traces.
constexpr std::size_t kDocumentByteLimit = 4u << 20;
// The largest record of a CSV file read; a longer one alone is passed over.
constexpr std::size_t kCsvRowByteLimit = 1u << 20;

// Whether `trace`'s command by hand is one the check writes for such a
// trace, every value in it one cmd reads as it is: `devcon -f remove "@ID"`
// (a device or audio endpoint), `devcon -f /dp_delete oemN.inf` (a driver
// package), `del /F /A:H|S|HS "PATH"` (a driver file: its path, ending in
// its id). Any other text (a result's own words, "& net localgroup ...")
// is data to show, never a command to run.
bool IsCheckCommand(const FleetTrace& trace);

// The flag a result with a command by hand that IsCheckCommand refuses
// carries.
extern const char kForeignCommandFlag[];

// "NOT CLEAN", ..., or "NO RESULT" for a result without a verdict.
const char* PageVerdictName(const MachineResult& result);

// One check document's text (UTF-8 or UTF-16, with a byte-order mark or
// without), the result of `machine` (the name the file was saved as) from
// `source`. A "computer" that names another machine is a flag, not the
// name; a document whose "clean" or "complete" disagrees with its own
// lists is UNKNOWN. `machine` empty: named by its "computer".
MachineResult ReadCheckDocument(const std::string& text, const std::string& machine,
                                const std::string& source);

// The verdict, traces and unchecked checks of one --remediation line, as
// the check prints it; NO RESULT for any other text.
void ReadRemediationLine(const std::string& text, MachineResult* result);

// Every machine in a CSV file's bytes (UTF-8 or UTF-16, with a byte-order
// mark or without; the separator ',', ';' or tab, as its header uses),
// recognised by its header as the collector's or a Remediations export,
// appended to `results`. A record that cannot be read, and any other CSV,
// is appended to `unread`; the records after a bad one are still read.
// Columns are found by name, whatever their case, blanks, '_', '-' or '.',
// in any order; unknown ones are passed over.
void ReadCsv(const std::string& bytes, const std::string& source,
             std::vector<MachineResult>* results, std::vector<InputProblem>* unread);

// Every result named by `path` (UTF-8): each regular *.json and *.csv file
// of a folder (in name order, its subfolders passed over), a .json file or
// a .csv file. Appends to `results`; a path that does not exist or is no
// regular file, a file that cannot be read whole and each record passed
// over is appended to `unread` (a check document that cannot be read is
// also a NO RESULT of the machine its file names).
void ReadPath(const std::string& path, std::vector<MachineResult>* results,
              std::vector<InputProblem>* unread);

#endif  // KOVEX_FLEET_PAGE_FLEET_INPUT_H_
