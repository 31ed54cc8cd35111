#ifndef KOVEX_FLEET_PAGE_FLEET_INPUT_H_
#define KOVEX_FLEET_PAGE_FLEET_INPUT_H_

#include <cstddef>
#include <istream>
#include <string>
#include <vector>

#include "check/verdict.h"

// Reading the fleet's results, whichever engine gathered them: the check's
// JSON document (one per machine), the collector's CSV (one row per machine
// and trace) and an export of the Remediations device status (one row per
// machine, the check's --remediation line as its detection output). Each
// becomes one MachineResult per machine; whatever cannot be read becomes a
// result without a verdict (NO RESULT) that says why, so that nothing is
// lost without a word.

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

  // What the page says of this result beside its verdict, each a short
  // phrase of plain text ("the document names ENG-WS-014", "dated after the
  // page was made"). The readers and the grouping set them; the page shows
  // them as they are.
  std::vector<std::string> flags;

  MachineResult();
};

constexpr long long kUnknownTime = -1;

// An input, or a part of one, that was not read whole: a file, a record, a
// row. The page lists them, and standard error names them.
struct InputProblem {
  std::string source;  // the path as given or found
  long long line = 0;  // the line it starts on; 0 for the whole input
  std::string reason;
};

// The largest check document read; a larger file is NO RESULT. The check's
// own are a few kilobytes even with hundreds of traces.
constexpr std::size_t kDocumentByteLimit = 4u << 20;
// The largest row of a CSV file read; the file is then read no further.
constexpr std::size_t kCsvRowByteLimit = 1u << 20;

// "NOT CLEAN", ..., or "NO RESULT" for a result without a verdict.
const char* PageVerdictName(const MachineResult& result);

// The UTC time an ISO 8601 text names ("2026-12-08T04:11:29Z", fractions of
// a second and an offset like "+02:00" allowed, a missing zone read as
// UTC), in seconds since 1970; kUnknownTime for any other text.
long long ParseIsoTime(const std::string& text);
// Seconds since 1970 as "2026-12-08T04:11:29Z".
std::string FormatIsoTime(long long seconds);

// One check document's text (UTF-8, a byte-order mark or UTF-16 with one
// allowed), named `machine` when it carries no "computer", from `source`.
MachineResult ReadCheckDocument(const std::string& text, const std::string& machine,
                                const std::string& source);

// The verdict, traces and unchecked checks of one --remediation line, as
// the check prints it; NO RESULT for any other text.
void ReadRemediationLine(const std::string& text, MachineResult* result);

// Every machine in a CSV file's text, recognised by its header as the
// collector's or a Remediations export; one NO RESULT naming `source` for
// any other CSV. Columns are found by name, whatever their case, blanks,
// '_', '-' or '.', in any order; unknown ones are passed over.
std::vector<MachineResult> ReadCsv(std::istream& in, const std::string& source);

// Every result named by `path` (UTF-8): each *.json file of a folder (in
// name order), a .json file or a .csv file. Appends to `results`; what cannot be
// read becomes a NO RESULT.
void ReadPath(const std::string& path, std::vector<MachineResult>* results,
              std::vector<InputProblem>* unread);

#endif  // KOVEX_FLEET_PAGE_FLEET_INPUT_H_
