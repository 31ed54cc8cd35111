#include "fleet_page/fleet_input.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <system_error>

#include "nlohmann/json.hpp"
#include "output/utf8.h"

namespace fs = std::filesystem;

MachineResult::MachineResult() : time(kUnknownTime) {}

namespace {

// The checks a document's "unchecked" names, as the --remediation line and
// the collector's "unchecked" column write them: "devices: <reason>".
const char* const kCheckNames[] = {"devices", "audio-endpoints", "driver-packages",
                                   "driver-files", "registry-keys"};

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// A column's name as compared: lower case, without blanks, '_', '-', '.'.
std::string ColumnKey(const std::string& name) {
  std::string key;
  for (char c : name) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (std::isspace(u) || c == '_' || c == '-' || c == '.') continue;
    key.push_back(static_cast<char>(std::tolower(u)));
  }
  return key;
}

std::string Trim(const std::string& text) {
  std::size_t begin = 0;
  std::size_t end = text.size();
  while (begin < end && std::isspace(static_cast<unsigned char>(text[begin]))) ++begin;
  while (end > begin && std::isspace(static_cast<unsigned char>(text[end - 1]))) --end;
  return text.substr(begin, end - begin);
}

bool StartsWith(const std::string& text, const std::string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

// A document as UTF-8: Windows PowerShell 5.1 writes a redirected document
// as UTF-16LE with a byte-order mark. (The JSON parser passes over the mark
// that Set-Content -Encoding UTF8 puts before UTF-8 itself.)
std::string AsUtf8(const std::string& bytes) {
  const bool little = StartsWith(bytes, "\xFF\xFE");
  if (!little && !StartsWith(bytes, "\xFE\xFF")) return bytes;
  std::string out;
  out.reserve(bytes.size() / 2);
  for (std::size_t at = 2; at + 1 < bytes.size(); at += 2) {
    const unsigned char first = static_cast<unsigned char>(bytes[at]);
    const unsigned char second = static_cast<unsigned char>(bytes[at + 1]);
    unsigned long unit = little ? (first | (second << 8)) : ((first << 8) | second);
    if (unit >= 0xD800 && unit <= 0xDBFF && at + 3 < bytes.size()) {
      const unsigned char third = static_cast<unsigned char>(bytes[at + 2]);
      const unsigned char fourth = static_cast<unsigned char>(bytes[at + 3]);
      const unsigned long next = little ? (third | (fourth << 8)) : ((third << 8) | fourth);
      if (next >= 0xDC00 && next <= 0xDFFF) {
        unit = 0x10000 + ((unit - 0xD800) << 10) + (next - 0xDC00);
        at += 2;
      }
    }
    if (unit >= 0xD800 && unit <= 0xDFFF) unit = 0xFFFD;
    AppendUtf8(&out, unit);
  }
  return out;
}

std::string StringField(const nlohmann::json& object, const char* name) {
  const auto found = object.find(name);
  if (found == object.end() || !found->is_string()) return std::string();
  return found->get<std::string>();
}

// Days since 1970-01-01 of a date in the proleptic Gregorian calendar.
long long DaysFromCivil(long long year, unsigned month, unsigned day) {
  year -= month <= 2 ? 1 : 0;
  const long long era = (year >= 0 ? year : year - 399) / 400;
  const long long year_of_era = year - era * 400;
  const long long day_of_year = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
  const long long day_of_era =
      year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
  return era * 146097 + day_of_era - 719468;
}

bool Digits(const std::string& text, std::size_t at, std::size_t count, int* value) {
  if (at + count > text.size()) return false;
  int number = 0;
  for (std::size_t i = at; i < at + count; ++i) {
    if (!std::isdigit(static_cast<unsigned char>(text[i]))) return false;
    number = number * 10 + (text[i] - '0');
  }
  *value = number;
  return true;
}

// "devices: reason; driver-files: reason", as the collector's column and
// the detection line join them. A part that names no check belongs to the
// reason before it (a reason may hold "; " itself).
std::vector<FleetUnchecked> SplitUnchecked(const std::string& text) {
  std::vector<FleetUnchecked> entries;
  std::size_t at = 0;
  while (at <= text.size() && !text.empty()) {
    std::size_t end = text.find("; ", at);
    if (end == std::string::npos) end = text.size();
    const std::string part = text.substr(at, end - at);
    bool named = false;
    for (const char* check : kCheckNames) {
      const std::string prefix = std::string(check) + ": ";
      if (StartsWith(part, prefix)) {
        entries.push_back({check, part.substr(prefix.size())});
        named = true;
        break;
      }
    }
    if (!named) {
      if (entries.empty()) {
        entries.push_back({"", part});
      } else {
        entries.back().reason += "; " + part;
      }
    }
    at = end + 2;
  }
  return entries;
}

std::vector<std::string> SplitParts(const std::string& text) {
  std::vector<std::string> parts;
  std::size_t at = 0;
  while (at < text.size()) {
    std::size_t end = text.find("; ", at);
    if (end == std::string::npos) end = text.size();
    parts.push_back(text.substr(at, end - at));
    at = end + 2;
  }
  return parts;
}

void SetTime(const std::string& text, MachineResult* result) {
  result->time = ParseIsoTime(Trim(text));
  result->checked_at =
      result->time == kUnknownTime ? Trim(text) : FormatIsoTime(result->time);
}

void Decide(MachineResult* result) {
  VerdictTally tally;
  for (const FleetTrace& trace : result->traces) {
    tally.Add(FateOf(trace.awaits_reboot, !trace.manual_removal.empty()));
  }
  tally.unchecked = !result->unchecked.empty();
  result->verdict = VerdictOf(tally);
  result->has_verdict = true;
}

MachineResult NoResult(const std::string& machine, const std::string& source,
                       const std::string& engine, const std::string& problem) {
  MachineResult result;
  result.machine = machine;
  result.source = source;
  result.engine = engine;
  result.problem = problem;
  return result;
}

// ---------------------------------------------------------------- CSV

// Reads one CSV record (RFC 4180: quoted fields may hold commas, doubled
// quotes and line ends). False at the end of the input, or when the record
// is longer than the limit (`too_long` is then set).
bool ReadRecord(std::istream& in, std::vector<std::string>* fields, bool* too_long) {
  fields->clear();
  std::string field;
  std::size_t bytes = 0;
  bool quoted = false;
  bool any = false;
  std::streambuf* buffer = in.rdbuf();
  for (;;) {
    const int c = buffer->sbumpc();
    if (c == std::char_traits<char>::eof()) {
      if (!any) return false;
      fields->push_back(field);
      return true;
    }
    any = true;
    if (++bytes > kCsvRowByteLimit) {
      *too_long = true;
      return false;
    }
    const char ch = static_cast<char>(c);
    if (quoted) {
      if (ch == '"') {
        if (buffer->sgetc() == '"') {
          buffer->sbumpc();
          field.push_back('"');
        } else {
          quoted = false;
        }
      } else {
        field.push_back(ch);
      }
    } else if (ch == '"') {
      quoted = true;
    } else if (ch == ',') {
      fields->push_back(field);
      field.clear();
    } else if (ch == '\n') {
      fields->push_back(field);
      return true;
    } else if (ch != '\r') {
      field.push_back(ch);
    }
  }
}

struct Columns {
  std::map<std::string, std::size_t> by_key;

  // The first of `keys` present, or -1.
  long Find(std::initializer_list<const char*> keys) const {
    for (const char* key : keys) {
      const auto found = by_key.find(key);
      if (found != by_key.end()) return static_cast<long>(found->second);
    }
    return -1;
  }
};

std::string Field(const std::vector<std::string>& row, long column) {
  if (column < 0 || static_cast<std::size_t>(column) >= row.size()) return std::string();
  return row[static_cast<std::size_t>(column)];
}

bool IsTrue(const std::string& text) {
  const std::string value = Lower(Trim(text));
  return value == "true" || value == "1" || value == "yes";
}

// The collector's status: the check's exit status 0 to 2 gives a result;
// 3 (a bad command line) and the collector's own words do not.
bool StatusGivesResult(const std::string& status) {
  return status == "0" || status == "1" || status == "2";
}

void ReadCollectorRows(std::istream& in, const Columns& columns, const std::string& source,
                       std::vector<MachineResult>* results, bool* too_long) {
  const long machine = columns.Find({"machine"});
  const long computer = columns.Find({"computer"});
  const long status = columns.Find({"status"});
  const long kind = columns.Find({"kind"});
  const long id = columns.Find({"id"});
  const long description = columns.Find({"description"});
  const long awaits_reboot = columns.Find({"awaitsreboot"});
  const long manual_removal = columns.Find({"manualremoval"});
  const long unchecked = columns.Find({"unchecked"});
  const long checked_at = columns.Find({"checkedat"});
  const long version = columns.Find({"version"});

  // A machine's rows, in the order machines first appear.
  std::map<std::string, std::size_t> index;
  const std::size_t first = results->size();
  std::vector<std::string> row;
  std::size_t line = 1;
  while (ReadRecord(in, &row, too_long)) {
    ++line;
    if (row.size() == 1 && Trim(row[0]).empty()) continue;
    std::string name = Trim(Field(row, computer));
    if (name.empty()) name = Trim(Field(row, machine));
    const std::string row_status = Trim(Field(row, status));
    // One result per machine, status and time: a file may hold two runs.
    const std::string key = Lower(name) + '\n' + row_status + '\n' + Field(row, checked_at);
    auto found = index.find(key);
    if (found == index.end()) {
      found = index.emplace(key, results->size()).first;
      MachineResult result;
      result.machine = name;
      result.source = source + ", row " + std::to_string(line);
      result.engine = "collector CSV";
      result.version = Trim(Field(row, version));
      SetTime(Field(row, checked_at), &result);
      if (StatusGivesResult(row_status)) {
        result.unchecked = SplitUnchecked(Field(row, unchecked));
        result.has_verdict = true;
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
    if ((*results)[i].has_verdict) Decide(&(*results)[i]);
  }
}

void ReadRemediationsRows(std::istream& in, const Columns& columns,
                          const std::string& source, std::vector<MachineResult>* results,
                          bool* too_long) {
  const long device = columns.Find({"devicename", "manageddevicedevicename", "device"});
  const long output = columns.Find({"preremediationdetectionscriptoutput",
                                    "preremediationdetectionoutput"});
  const long error = columns.Find({"preremediationdetectionscripterror",
                                   "preremediationdetectionerror"});
  const long time = columns.Find({"laststateupdatedatetime", "lastrun", "lastruntime",
                                  "lastsyncdatetime", "lastsync", "lastsynctime"});
  std::vector<std::string> row;
  std::size_t line = 1;
  while (ReadRecord(in, &row, too_long)) {
    ++line;
    if (row.size() == 1 && Trim(row[0]).empty()) continue;
    MachineResult result;
    result.machine = Trim(Field(row, device));
    result.source = source + ", row " + std::to_string(line);
    result.engine = "Remediations export";
    SetTime(Field(row, time), &result);
    const std::string detection = Trim(Field(row, output));
    if (detection.empty()) {
      const std::string why = Trim(Field(row, error));
      result.problem = why.empty() ? "no detection output (the detection has not run, or "
                                     "the check was not found)"
                                   : "no detection output; its error: " + why;
    } else {
      ReadRemediationLine(detection, &result);
    }
    results->push_back(result);
  }
}

}  // namespace

const char* PageVerdictName(const MachineResult& result) {
  return result.has_verdict ? VerdictName(result.verdict) : "NO RESULT";
}

long long ParseIsoTime(const std::string& text) {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  if (!Digits(text, 0, 4, &year) || text.size() < 19 || text[4] != '-' ||
      !Digits(text, 5, 2, &month) || text[7] != '-' || !Digits(text, 8, 2, &day) ||
      (text[10] != 'T' && text[10] != 't' && text[10] != ' ') ||
      !Digits(text, 11, 2, &hour) || text[13] != ':' || !Digits(text, 14, 2, &minute) ||
      text[16] != ':' || !Digits(text, 17, 2, &second)) {
    return kUnknownTime;
  }
  if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 ||
      second > 60) {
    return kUnknownTime;
  }
  std::size_t at = 19;
  if (at < text.size() && (text[at] == '.' || text[at] == ',')) {
    ++at;
    while (at < text.size() && std::isdigit(static_cast<unsigned char>(text[at]))) ++at;
  }
  long long offset = 0;
  if (at < text.size() && (text[at] == 'Z' || text[at] == 'z')) {
    ++at;
  } else if (at < text.size() && (text[at] == '+' || text[at] == '-')) {
    int hours = 0, minutes = 0;
    if (!Digits(text, at + 1, 2, &hours)) return kUnknownTime;
    std::size_t next = at + 3;
    if (next < text.size() && text[next] == ':') ++next;
    if (!Digits(text, next, 2, &minutes)) return kUnknownTime;
    offset = (hours * 60LL + minutes) * 60;
    if (text[at] == '-') offset = -offset;
    at = next + 2;
  }
  if (at != text.size()) return kUnknownTime;
  const long long days = DaysFromCivil(year, static_cast<unsigned>(month),
                                       static_cast<unsigned>(day));
  return days * 86400 + hour * 3600LL + minute * 60LL + second - offset;
}

std::string FormatIsoTime(long long seconds) {
  long long days = seconds / 86400;
  long long rest = seconds % 86400;
  if (rest < 0) {
    rest += 86400;
    --days;
  }
  // Civil date from days since 1970 (the inverse of DaysFromCivil).
  const long long z = days + 719468;
  const long long era = (z >= 0 ? z : z - 146096) / 146097;
  const long long day_of_era = z - era * 146097;
  const long long year_of_era =
      (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
  const long long day_of_year =
      day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
  const long long mp = (5 * day_of_year + 2) / 153;
  const long long day = day_of_year - (153 * mp + 2) / 5 + 1;
  const long long month = mp < 10 ? mp + 3 : mp - 9;
  const long long year = year_of_era + era * 400 + (month <= 2 ? 1 : 0);
  char text[128];
  static_cast<void>(std::snprintf(text, sizeof text,
                                  "%04lld-%02lld-%02lldT%02lld:%02lld:%02lldZ", year, month,
                                  day, rest / 3600, rest / 60 % 60, rest % 60));
  return text;
}

MachineResult ReadCheckDocument(const std::string& text, const std::string& machine,
                                const std::string& source) {
  const std::string engine = "check document";
  const nlohmann::json document = nlohmann::json::parse(AsUtf8(text), nullptr, false);
  if (document.is_discarded()) {
    return NoResult(machine, source, engine, "not JSON");
  }
  const auto clean = document.is_object() ? document.find("clean") : document.end();
  const auto traces = document.is_object() ? document.find("traces") : document.end();
  const auto unchecked = document.is_object() ? document.find("unchecked") : document.end();
  if (!document.is_object() || clean == document.end() || !clean->is_boolean() ||
      traces == document.end() || !traces->is_array() || unchecked == document.end() ||
      !unchecked->is_array()) {
    return NoResult(machine, source, engine,
                    "not a check document (no \"clean\", \"traces\" and \"unchecked\")");
  }
  MachineResult result;
  result.machine = StringField(document, "computer");
  if (result.machine.empty()) result.machine = machine;
  result.source = source;
  result.engine = engine;
  result.version = StringField(document, "version");
  SetTime(StringField(document, "checked_at"), &result);
  for (const nlohmann::json& entry : *traces) {
    if (!entry.is_object()) {
      return NoResult(result.machine, source, engine,
                      "not a check document (a trace that is no object)");
    }
    FleetTrace trace;
    trace.kind = StringField(entry, "kind");
    trace.id = StringField(entry, "id");
    trace.description = StringField(entry, "description");
    trace.manual_removal = StringField(entry, "manual_removal");
    const auto reboot = entry.find("awaits_reboot");
    trace.awaits_reboot = reboot != entry.end() && reboot->is_boolean() && reboot->get<bool>();
    result.traces.push_back(trace);
  }
  for (const nlohmann::json& entry : *unchecked) {
    if (!entry.is_object()) {
      return NoResult(result.machine, source, engine,
                      "not a check document (an unchecked entry that is no object)");
    }
    result.unchecked.push_back({StringField(entry, "check"), StringField(entry, "reason")});
  }
  const auto attached = document.find("attached");
  if (attached != document.end() && attached->is_array()) {
    for (const nlohmann::json& entry : *attached) {
      if (!entry.is_object()) continue;
      result.attached.push_back({StringField(entry, "kind"), StringField(entry, "id"),
                                 StringField(entry, "description"),
                                 StringField(entry, "status")});
    }
  }
  Decide(&result);
  return result;
}

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
}

std::vector<MachineResult> ReadCsv(std::istream& in, const std::string& source) {
  std::vector<MachineResult> results;
  // Export-Csv -Encoding UTF8 and Excel put a byte-order mark first.
  char mark[3] = {0, 0, 0};
  in.read(mark, 3);
  if (!(in.gcount() == 3 && std::string(mark, 3) == "\xEF\xBB\xBF")) {
    in.clear();
    in.seekg(0);
  }
  const std::string name = fs::u8path(source).stem().u8string();
  std::vector<std::string> header;
  bool too_long = false;
  if (!ReadRecord(in, &header, &too_long)) {
    results.push_back(NoResult(name, source, "CSV",
                               too_long ? "its header is longer than 1 MiB" : "an empty file"));
    return results;
  }
  Columns columns;
  for (std::size_t i = 0; i < header.size(); ++i) {
    columns.by_key.emplace(ColumnKey(header[i]), i);
  }
  if (columns.Find({"machine", "computer"}) >= 0 && columns.Find({"status"}) >= 0 &&
      columns.Find({"kind"}) >= 0) {
    ReadCollectorRows(in, columns, source, &results, &too_long);
  } else if (columns.Find({"devicename", "manageddevicedevicename", "device"}) >= 0 &&
             columns.Find({"preremediationdetectionscriptoutput",
                           "preremediationdetectionoutput"}) >= 0) {
    ReadRemediationsRows(in, columns, source, &results, &too_long);
  } else {
    std::string names;
    for (const std::string& column : header) names += (names.empty() ? "" : ", ") + column;
    results.push_back(NoResult(name, source, "CSV",
                               "neither the collector's CSV nor a Remediations export "
                               "(its columns: " + names.substr(0, 300) + ")"));
    return results;
  }
  if (too_long) {
    results.push_back(NoResult(name, source, "CSV",
                               "a row longer than 1 MiB: the file was read no further"));
  }
  return results;
}

void ReadPath(const std::string& path, std::vector<MachineResult>* results,
              std::vector<InputProblem>* unread) {
  std::error_code error;
  const fs::path where = fs::u8path(path);
  const std::string name = where.stem().u8string();
  if (fs::is_directory(where, error)) {
    std::vector<fs::path> documents;
    for (fs::directory_iterator it(where, error), end; !error && it != end;
         it.increment(error)) {
      const fs::path& file = it->path();
      if (Lower(file.extension().u8string()) == ".json") documents.push_back(file);
    }
    if (error) {
      results->push_back(NoResult(name, path, "folder",
                                  "the folder cannot be read: " + error.message()));
      return;
    }
    std::sort(documents.begin(), documents.end());
    for (const fs::path& file : documents) ReadPath(file.u8string(), results, unread);
    return;
  }
  const std::string extension = Lower(where.extension().u8string());
  if (extension != ".json" && extension != ".csv") {
    results->push_back(NoResult(name, path, "file", "neither a .json nor a .csv file"));
    return;
  }
  std::ifstream in(where, std::ios::binary);
  if (!in) {
    results->push_back(NoResult(name, path, "file", "it cannot be opened"));
    return;
  }
  if (extension == ".csv") {
    std::vector<MachineResult> rows = ReadCsv(in, path);
    if (in.bad()) {
      results->push_back(NoResult(name, path, "CSV", "a read error: the file was read "
                                                      "no further"));
    }
    for (MachineResult& row : rows) results->push_back(std::move(row));
    return;
  }
  in.seekg(0, std::ios::end);
  const std::streamoff size = in.tellg();
  in.seekg(0, std::ios::beg);
  if (size < 0 || !in) {
    results->push_back(NoResult(name, path, "check document", "it cannot be read"));
    return;
  }
  if (static_cast<unsigned long long>(size) > kDocumentByteLimit) {
    results->push_back(NoResult(name, path, "check document",
                                "larger than 4 MiB: no check document is that large"));
    return;
  }
  std::string text(static_cast<std::size_t>(size), '\0');
  in.read(text.data(), static_cast<std::streamsize>(text.size()));
  if (static_cast<std::size_t>(in.gcount()) != text.size()) {
    results->push_back(NoResult(name, path, "check document", "it cannot be read"));
    return;
  }
  results->push_back(ReadCheckDocument(text, name, path));
}
