#include "check/csv_rows.h"

#include <string>
#include <vector>

#include "check/report.h"
#include "nlohmann/json.hpp"
#include "output/utf8.h"

const char kCsvHeader[] =
    "\"machine\",\"status\",\"clean\",\"complete\",\"kind\",\"id\","
    "\"description\",\"awaits_reboot\",\"manual_removal\",\"unchecked\",\"checked_at\"\n";

namespace {

// A spreadsheet takes a cell that begins with '=', '+', '-', '@', a tab or
// a carriage return as a formula, quoted or not: such a cell gets an
// apostrophe before it, so that it is text (OWASP's advice against CSV
// injection). A cell that already begins with apostrophes before one of
// them gets one more, so that taking one off always gives the text back.
bool LooksLikeFormula(const std::string& field) {
  const std::size_t at = field.find_first_not_of('\'');
  if (at == std::string::npos) return false;
  const char c = field[at];
  return c == '=' || c == '+' || c == '-' || c == '@' || c == '\t' || c == '\r';
}

std::string Quoted(const std::string& field) {
  std::string out = LooksLikeFormula(field) ? "\"'" : "\"";
  for (const char c : field) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + "\"";
}

// PowerShell's text for a boolean.
std::string Boolean(bool value) { return value ? "True" : "False"; }

std::string Text(const nlohmann::json& entry, const char* key) {
  const auto found = entry.find(key);
  return found != entry.end() && found->is_string() ? found->get<std::string>()
                                                    : std::string();
}

std::string Row(const std::vector<std::string>& fields) {
  std::string row;
  for (const std::string& field : fields) {
    if (!row.empty()) row += ',';
    row += Quoted(field);
  }
  return row + "\n";
}

}  // namespace

std::string CsvRows(const Findings& findings, int status,
                    const std::wstring& machine) {
  // The rows are read from the JSON document, so that every kind's name and
  // every text's decoding is the document's own.
  const nlohmann::json document = nlohmann::json::parse(JsonReport(findings));
  std::string unchecked;
  for (const nlohmann::json& entry : document["unchecked"]) {
    if (!unchecked.empty()) unchecked += "; ";
    unchecked += Text(entry, "check") + ": " + Text(entry, "reason");
  }
  const std::string name = WideToUtf8(machine);
  const std::string code = std::to_string(status);
  const std::string clean = Boolean(document["clean"].get<bool>());
  const std::string complete = Boolean(document["complete"].get<bool>());
  const std::string checked_at = Text(document, "checked_at");
  if (document["traces"].empty()) {
    return Row({name, code, clean, complete, "", "", "", "", "", unchecked, checked_at});
  }
  std::string rows;
  for (const nlohmann::json& trace : document["traces"]) {
    rows += Row({name, code, clean, complete, Text(trace, "kind"),
                 Text(trace, "id"), Text(trace, "description"),
                 Boolean(trace["awaits_reboot"].get<bool>()),
                 Text(trace, "manual_removal"), unchecked, checked_at});
  }
  return rows;
}
