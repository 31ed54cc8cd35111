// The Remediations device status export: one row per device, the check's
// --remediation line as its detection output before and after the
// remediation ran.
#include <string>
#include <vector>

#include "fleet_page/fleet_csv.h"
#include "fleet_page/fleet_read.h"
#include "fleet_page/fleet_time.h"

namespace {

// What the export's remediation state says of the remediation script's run:
// Graph's remediationState (unknown, skipped, success, remediationFailed,
// scriptError) or the portal's words for it.
enum class Remedied { kNotSaid, kRan, kFailed };

Remedied RemediationOf(const std::string& state, const std::string& error) {
  const std::string said = Lower(Trim(state));
  if (said.find("fail") != std::string::npos || said.find("error") != std::string::npos ||
      !Trim(error).empty()) {
    return Remedied::kFailed;
  }
  if (said == "success" || said.find("fixed") != std::string::npos ||
      said.find("remediated") != std::string::npos) {
    return Remedied::kRan;
  }
  return Remedied::kNotSaid;
}

// The times of one export's results, from their texts in checked_at, in the
// date order the file's times decide together. Where they cannot decide it,
// the slashed ones are no time, their machines say why, and so does the
// file's entry in `unread`.
void ReadExportTimes(const std::string& source, std::vector<MachineResult>::iterator begin,
                     std::vector<MachineResult>::iterator end,
                     std::vector<InputProblem>* unread) {
  std::vector<std::string> texts;
  for (auto it = begin; it != end; ++it) texts.push_back(it->checked_at);
  const DateOrder order = DateOrderOf(texts);
  std::size_t undecided = 0;
  for (auto it = begin; it != end; ++it) {
    it->time = ParseExportTime(it->checked_at, order);
    if (it->time != kUnknownTime) {
      it->checked_at = FormatIsoTime(it->time);
    } else if (IsSlashedDate(it->checked_at)) {
      ++undecided;
      it->flags.push_back("time not known: the export's dates could be day or month first");
    }
  }
  if (undecided > 0) {
    unread->push_back(
        {source, 0,
         std::to_string(undecided) + " of its times not read: " +
             (order == DateOrder::kMixed
                  ? "its dates are written both day first and month first"
                  : "no date in it has a day over 12, so whether the day or the month "
                    "comes first cannot be told")});
  }
}

}  // namespace

void ReadRemediationLine(const std::string& text, MachineResult* result) {
  std::string line = text;
  const std::size_t end = line.find_first_of("\r\n");
  if (end != std::string::npos) line.resize(end);
  // The verdict is the check's: the line opens with it.
  bool known = false;
  for (Verdict verdict : {Verdict::kNotClean, Verdict::kClean, Verdict::kPending,
                          Verdict::kUnknown}) {
    if (StartsWith(line, std::string(VerdictName(verdict)) + ":")) {
      result->verdict = verdict;
      known = true;
      break;
    }
  }
  if (!known) {
    result->has_verdict = false;
    result->problem = "the detection output is not the check's line: " + line.substr(0, 200);
    return;
  }
  result->has_verdict = true;
  if (line.size() >= 3 && line.compare(line.size() - 3, 3, "...") == 0) {
    result->cut = true;
    line.resize(line.size() - 3);
  }
  std::vector<std::string> sections;
  std::size_t at = 0;
  for (;;) {
    const std::size_t bar = line.find(" | ", at);
    sections.push_back(line.substr(at, bar == std::string::npos ? std::string::npos : bar - at));
    if (bar == std::string::npos) break;
    at = bar + 3;
  }
  const std::string removes = "NOT CLEAN: the cleanup removes ";
  const std::string reboot = "reboot to finish removing ";
  const std::string manual = "remove by hand: ";
  const std::string unchecked = "not checked: ";
  // "<kind> <id>", as the line names what the cleanup or a reboot removes.
  auto named = [](const std::string& part, bool awaits_reboot) {
    FleetTrace trace;
    const std::size_t blank = part.find(' ');
    trace.kind = blank == std::string::npos ? std::string() : part.substr(0, blank);
    trace.id = blank == std::string::npos ? part : part.substr(blank + 1);
    // The check quotes an id that holds "; " or a quote, doubling its quotes.
    if (trace.id.size() >= 2 && trace.id.front() == '"' && trace.id.back() == '"') {
      std::string id;
      for (std::size_t i = 1; i + 1 < trace.id.size(); ++i) {
        id.push_back(trace.id[i]);
        if (trace.id[i] == '"' && trace.id[i + 1] == '"') ++i;
      }
      trace.id = id;
    }
    trace.awaits_reboot = awaits_reboot;
    return trace;
  };
  for (std::size_t i = 0; i < sections.size(); ++i) {
    const std::string& section = sections[i];
    if (i == 0 && StartsWith(section, removes)) {
      for (const std::string& part : SplitParts(section.substr(removes.size()))) {
        result->traces.push_back(named(part, false));
      }
    } else if (StartsWith(section, reboot)) {
      for (const std::string& part : SplitParts(section.substr(reboot.size()))) {
        result->traces.push_back(named(part, true));
      }
    } else if (StartsWith(section, manual)) {
      for (const std::string& part : SplitParts(section.substr(manual.size()))) {
        FleetTrace trace;
        trace.manual_removal = part;
        result->traces.push_back(trace);
      }
    } else if (StartsWith(section, unchecked)) {
      const std::vector<FleetUnchecked> entries =
          SplitUnchecked(section.substr(unchecked.size()));
      result->unchecked.insert(result->unchecked.end(), entries.begin(), entries.end());
    }
  }
  FlagForeignCommands(result);
  // An UNKNOWN line that names no check says why on its own ("UNKNOWN:
  // kovex-deepclean-check.exe is missing: ..."): that is its reason.
  const std::string unknown = std::string(VerdictName(Verdict::kUnknown)) + ": ";
  if (result->verdict == Verdict::kUnknown && result->unchecked.empty()) {
    result->unchecked.push_back({"", StartsWith(line, unknown) ? line.substr(unknown.size()) : line});
  }
}

void ReadRemediationsRows(CsvReader* reader, const Columns& columns, const std::string& source,
                          std::vector<MachineResult>* results,
                          std::vector<InputProblem>* unread) {
  const long device = columns.Find({"devicename", "manageddevicedevicename", "device"});
  const long output = columns.Find({"preremediationdetectionscriptoutput",
                                    "preremediationdetectionoutput"});
  const long error = columns.Find({"preremediationdetectionscripterror",
                                   "preremediationdetectionerror"});
  const long post_output = columns.Find({"postremediationdetectionscriptoutput",
                                         "postremediationdetectionoutput"});
  const long state = columns.Find({"remediationstate", "remediationstatus"});
  const long remediation_error = columns.Find({"remediationscripterror", "remediationerror"});
  const long time = columns.Find({"laststateupdatedatetime", "lastrun", "lastruntime",
                                  "lastsyncdatetime", "lastsync", "lastsynctime"});
  std::vector<std::string> row;
  const std::size_t first = results->size();
  while (NextGoodRecord(reader, source, &row, unread)) {
    MachineResult result;
    result.machine = Trim(Field(row, device));
    result.source = source + ", row " + std::to_string(reader->line());
    result.engine = "Remediations export";
    // Read below, once the file's date order is known.
    result.checked_at = Trim(Field(row, time));
    const std::string detection = Trim(Field(row, output));
    if (detection.empty()) {
      const std::string reason = Trim(Field(row, error));
      result.problem = reason.empty() ? "no detection output (the detection has not run, or "
                                        "the check was not found)"
                                      : "no detection output; its error: " + reason;
    } else {
      ReadRemediationLine(detection, &result);
    }
    // After a remediation the detection runs again: its line is the
    // machine's present state.
    const Remedied remedied =
        RemediationOf(Field(row, state), Field(row, remediation_error));
    const std::string after = Trim(Field(row, post_output));
    if (!after.empty()) {
      MachineResult present = result;
      present.traces.clear();
      present.unchecked.clear();
      present.cut = false;
      present.problem.clear();
      ReadRemediationLine(after, &present);
      if (present.has_verdict) {
        const bool before_clean = result.has_verdict && result.verdict == Verdict::kClean;
        result = present;
        if (remedied == Remedied::kFailed) {
          result.flags.push_back("the remediation failed");
        } else if (result.verdict == Verdict::kClean) {
          if (!before_clean) result.flags.push_back("the remediation fixed it");
        } else {
          result.flags.push_back(std::string("the remediation left it ") +
                                 VerdictName(result.verdict));
        }
      } else {
        result.flags.push_back("the detection after the remediation is not the check's "
                               "line; shown as before it");
      }
    } else if (remedied == Remedied::kFailed) {
      result.flags.push_back("the remediation failed");
    }
    results->push_back(result);
  }
  ReadExportTimes(source, results->begin() + static_cast<std::ptrdiff_t>(first), results->end(),
                  unread);
}
