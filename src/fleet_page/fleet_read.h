#ifndef KOVEX_FLEET_PAGE_FLEET_READ_H_
#define KOVEX_FLEET_PAGE_FLEET_READ_H_

#include <initializer_list>
#include <map>
#include <string>
#include <vector>

#include "fleet_page/fleet_input.h"

// What the readers of the three input kinds share; not for the page.

std::string Lower(std::string text);
std::string Trim(const std::string& text);
bool StartsWith(const std::string& text, const std::string& prefix);

// A text file's bytes as UTF-8: a UTF-8 byte-order mark is taken off,
// UTF-16 (little or big end, with its mark, or without one when its first
// character is ASCII) is turned into UTF-8. Bytes that are not UTF-8 and
// lone UTF-16 halves are kept visible as "<0xE9>" and "<U+D800>", never
// replaced or dropped, and `*marked` is then set.
std::string DecodeText(const std::string& bytes, bool* marked);

// The flag a result from a file with marked bytes carries.
extern const char kMarkedFlag[];

// Whether two machine names name one machine: alike but for ASCII case and
// a final dot, or one a short name and the other a DNS name that starts with
// it.
bool SameMachine(const std::string& a, const std::string& b);

// A result without a verdict (NO RESULT) that says why.
MachineResult NoResult(const std::string& machine, const std::string& source,
                       const std::string& engine, const std::string& problem);

// Flags a result with a command by hand that is not the check's.
void FlagForeignCommands(MachineResult* result);

// Sets the verdict from the traces and unchecked checks, and flags a
// command by hand that is not the check's.
void Decide(MachineResult* result);

// Drops every trace that repeats an earlier one of the same result (kind,
// id, description, manual removal and reboot alike): the same run's rows
// given twice count once.
void DropRepeatedTraces(MachineResult* result);

// Makes a decided result UNKNOWN because its parts disagree, with the
// reason as a flag.
void Contradicts(MachineResult* result, const std::string& why);

// "devices: reason; driver-files: reason", as the collector's column and
// the detection line join them.
std::vector<FleetUnchecked> SplitUnchecked(const std::string& text);
// "a; b; c", where a "; " inside double quotes is a part's own.
std::vector<std::string> SplitParts(const std::string& text);

// A CSV header's columns, found by name whatever their case, blanks, '_',
// '-' or '.'.
struct Columns {
  explicit Columns(const std::vector<std::string>& header);
  // The first of `keys` present, or -1.
  long Find(std::initializer_list<const char*> keys) const;
  std::map<std::string, std::size_t> by_key;
};

// The field of `row` in `column`, empty when there is none.
std::string Field(const std::vector<std::string>& row, long column);

class CsvReader;
// The next record of `reader` that could be read, into `row`; each one
// passed over on the way is named in `unread`. False at the text's end.
bool NextGoodRecord(CsvReader* reader, const std::string& source, std::vector<std::string>* row,
                    std::vector<InputProblem>* unread);

// The rows of the collector's CSV and of a Remediations export, after the
// header: one result per machine (and run) each, appended to `results`;
// each record that could not be read is appended to `unread`.
void ReadCollectorRows(CsvReader* reader, const Columns& columns, const std::string& source,
                       std::vector<MachineResult>* results, std::vector<InputProblem>* unread);
void ReadRemediationsRows(CsvReader* reader, const Columns& columns, const std::string& source,
                          std::vector<MachineResult>* results,
                          std::vector<InputProblem>* unread);

#endif  // KOVEX_FLEET_PAGE_FLEET_READ_H_
