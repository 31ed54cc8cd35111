// The collector's CSV: one row per machine and trace, the check's own rows
// (check/csv_rows.h) and the collector's rows for machines where the check
// did not run.
#include <map>
#include <string>
#include <vector>

#include "fleet_page/fleet_csv.h"
#include "fleet_page/fleet_page.h"
#include "fleet_page/fleet_read.h"
#include "fleet_page/fleet_time.h"

namespace {

bool IsTrue(const std::string& text) {
  const std::string value = Lower(Trim(text));
  return value == "true" || value == "1" || value == "yes";
}

// The collector's status: the check's exit status 0 to 2 gives a result;
// 3 (a bad command line) and the collector's own words do not.
bool StatusGivesResult(const std::string& status) {
  return status == "0" || status == "1" || status == "2";
}

// A decided result whose status or "clean" column says otherwise than its
// rows is UNKNOWN. The check's exit status: 0 clean, 1 traces found, 2
// nothing found but a check could not run.
void CheckAgreement(const std::string& status, const std::string& clean,
                    MachineResult* result) {
  const bool traces = !result->traces.empty();
  if (status == "1" && !traces) {
    Contradicts(result, "status 1 (traces found), but no trace row");
    return;
  }
  if (status != "1" && traces) {
    Contradicts(result, "status " + status + ", but trace rows");
    return;
  }
  if (status == "2" && result->unchecked.empty()) {
    Contradicts(result, "status 2 (a check could not run), but none is named");
    return;
  }
  const std::string said = Lower(Trim(clean));
  if (said.empty()) return;
  const bool found_nothing = !traces && result->unchecked.empty();
  if ((said == "true") != found_nothing) {
    Contradicts(result, "clean is " + Trim(clean) + ", but " +
                            (found_nothing ? "no trace and no unchecked check"
                                           : "traces or unchecked checks"));
  }
}

}  // namespace

void ReadCollectorRows(CsvReader* reader, const Columns& columns, const std::string& source,
                       std::vector<MachineResult>* results, std::vector<InputProblem>* unread) {
  const long machine = columns.Find({"machine"});
  const long computer = columns.Find({"computer"});
  const long status = columns.Find({"status"});
  const long clean = columns.Find({"clean"});
  const long kind = columns.Find({"kind"});
  const long id = columns.Find({"id"});
  const long description = columns.Find({"description"});
  const long awaits_reboot = columns.Find({"awaitsreboot"});
  const long manual_removal = columns.Find({"manualremoval"});
  const long unchecked = columns.Find({"unchecked"});
  const long checked_at = columns.Find({"checkedat"});
  const long version = columns.Find({"version"});
  const long cleanup = columns.Find({"cleanup"});

  // A machine's rows, in the order machines first appear; the status and
  // "clean" each result's rows gave.
  std::map<std::string, std::size_t> index;
  std::map<std::size_t, std::pair<std::string, std::string>> said;
  const std::size_t first = results->size();
  std::vector<std::string> row;
  while (NextGoodRecord(reader, source, &row, unread)) {
    for (std::string& field : row) field = FormulaCellText(field);
    // The collector's name for the machine, where it gives one; the check's
    // own otherwise.
    // Names are kept as written: what they hold is for the page to show.
    const std::string own = Field(row, machine);
    std::string name = Field(row, computer);
    if (name.empty()) name = own;
    const std::string row_status = Trim(Field(row, status));
    const std::string time_text = Trim(Field(row, checked_at));
    // One result per machine, status and time: a file may hold two runs.
    std::string key = Lower(name);
    key += '\n' + row_status + '\n';
    key += time_text;
    auto found = index.find(key);
    if (found == index.end()) {
      found = index.emplace(key, results->size()).first;
      MachineResult result;
      result.machine = name;
      result.source = source + ", row " + std::to_string(reader->line());
      result.engine = "collector CSV";
      result.version = Trim(Field(row, version));
      result.cleanup = Trim(Field(row, cleanup));
      if (CleanupUnfinished(result)) result.flags.push_back("cleanup: " + result.cleanup);
      result.time = ParseIsoTime(time_text);
      result.checked_at = result.time == kUnknownTime ? time_text : FormatIsoTime(result.time);
      if (!own.empty() && !SameMachine(own, name)) {
        result.flags.push_back("the check names " + own);
      }
      if (StatusGivesResult(row_status)) {
        result.unchecked = SplitUnchecked(Field(row, unchecked));
        result.has_verdict = true;
        said[results->size()] = {row_status, Field(row, clean)};
      } else {
        const std::string reason = Trim(Field(row, unchecked));
        result.problem = row_status == "3"
                             ? "the check ended with exit status 3 (a bad command line)"
                             : "the collector's status is \"" + row_status + "\"" +
                                   (reason.empty() ? "" : ": " + reason);
      }
      results->push_back(result);
    }
    MachineResult& result = (*results)[found->second];
    if (!result.has_verdict) continue;
    FleetTrace trace;
    trace.kind = Field(row, kind);
    trace.id = Field(row, id);
    if (trace.kind.empty() && trace.id.empty()) continue;
    trace.description = Field(row, description);
    trace.manual_removal = Field(row, manual_removal);
    trace.awaits_reboot = IsTrue(Field(row, awaits_reboot));
    result.traces.push_back(trace);
  }
  for (std::size_t i = first; i < results->size(); ++i) {
    MachineResult& result = (*results)[i];
    if (!result.has_verdict) continue;
    DropRepeatedTraces(&result);
    Decide(&result);
    CheckAgreement(said[i].first, said[i].second, &result);
  }
}
