#include "fleet_page/fleet_read.h"

#include <cctype>
#include <cstdio>
#include <set>
#include <tuple>

#include "fleet_page/fleet_csv.h"
#include "output/utf8.h"

const char kMarkedFlag[] = "bytes that are not UTF-8, shown as <0x..>";
const char kForeignCommandFlag[] =
    "a command by hand that is not one the check writes: shown as text, not to be run";

namespace {

// The checks a document's "unchecked" names, as the --remediation line and
// the collector's "unchecked" column write them: "devices: <reason>".
const char* const kCheckNames[] = {"devices", "audio-endpoints", "driver-packages",
                                   "driver-files", "registry-keys"};

std::string Hex(const char* format, unsigned long value) {
  char text[32];
  static_cast<void>(std::snprintf(text, sizeof text, format, value));
  return text;
}

std::string FromUtf16(const std::string& bytes, std::size_t at, bool little, bool* marked) {
  std::string out;
  out.reserve(bytes.size() / 2);
  auto unit_at = [&bytes, little](std::size_t i) {
    const unsigned long first = static_cast<unsigned char>(bytes[i]);
    const unsigned long second = static_cast<unsigned char>(bytes[i + 1]);
    return little ? (first | (second << 8)) : ((first << 8) | second);
  };
  for (; at + 1 < bytes.size(); at += 2) {
    unsigned long unit = unit_at(at);
    if (unit >= 0xD800 && unit <= 0xDBFF && at + 3 < bytes.size()) {
      const unsigned long next = unit_at(at + 2);
      if (next >= 0xDC00 && next <= 0xDFFF) {
        AppendUtf8(&out, 0x10000 + ((unit - 0xD800) << 10) + (next - 0xDC00));
        at += 2;
        continue;
      }
    }
    if (unit >= 0xD800 && unit <= 0xDFFF) {
      out += Hex("<U+%04lX>", unit);
      *marked = true;
    } else {
      AppendUtf8(&out, unit);
    }
  }
  if (at < bytes.size()) {
    out += Hex("<0x%02lX>", static_cast<unsigned char>(bytes[at]));
    *marked = true;
  }
  return out;
}

}  // namespace

std::string Lower(std::string text) {
  // ASCII alone, as the "C" locale the programs run in has it, without a
  // call into the C library per character.
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

std::string Trim(const std::string& text) {
  // The "C" locale's white space, without a call into the C library.
  auto space = [](char c) { return c == ' ' || (c >= '\t' && c <= '\r'); };
  std::size_t begin = 0;
  std::size_t end = text.size();
  while (begin < end && space(text[begin])) ++begin;
  while (end > begin && space(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}

bool StartsWith(const std::string& text, const std::string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

std::string DecodeText(const std::string& bytes, bool* marked) {
  *marked = false;
  if (StartsWith(bytes, "\xFF\xFE")) return FromUtf16(bytes, 2, true, marked);
  if (StartsWith(bytes, "\xFE\xFF")) return FromUtf16(bytes, 2, false, marked);
  if (bytes.size() >= 2 && bytes[0] != '\0' && bytes[1] == '\0') {
    return FromUtf16(bytes, 0, true, marked);
  }
  if (bytes.size() >= 2 && bytes[0] == '\0' && bytes[1] != '\0') {
    return FromUtf16(bytes, 0, false, marked);
  }
  const std::size_t start = StartsWith(bytes, "\xEF\xBB\xBF") ? 3 : 0;
  const unsigned char* data = reinterpret_cast<const unsigned char*>(bytes.data());
  // Most text is ASCII, or well-formed UTF-8, throughout: copied whole.
  std::size_t good = start;
  while (good < bytes.size()) {
    if (data[good] < 0x80) {
      ++good;
      continue;
    }
    const std::size_t length = Utf8SequenceAt(data, bytes.size(), good);
    if (length == 0) break;
    good += length;
  }
  if (good == bytes.size()) return bytes.substr(start);
  std::string out;
  out.reserve(bytes.size() - start);
  out.append(bytes, start, good - start);
  for (std::size_t at = good; at < bytes.size();) {
    const std::size_t length = Utf8SequenceAt(data, bytes.size(), at);
    if (length == 0) {
      out += Hex("<0x%02lX>", data[at]);
      *marked = true;
      ++at;
    } else {
      out.append(bytes, at, length);
      at += length;
    }
  }
  return out;
}

bool SameMachine(const std::string& a, const std::string& b) {
  auto plain = [](const std::string& name) {
    std::string text = Lower(name);
    if (!text.empty() && text.back() == '.') text.pop_back();
    return text;
  };
  const std::string one = plain(a);
  const std::string other = plain(b);
  if (one == other) return true;
  if (one.find('.') == std::string::npos) return other.compare(0, other.find('.'), one) == 0;
  if (other.find('.') == std::string::npos) return one.compare(0, one.find('.'), other) == 0;
  return false;
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

namespace {

// A value cmd reads as it is inside double quotes: no quote, no '%' or '!'
// (expanded even there), no control character.
bool QuotableForCmd(const std::string& value) {
  if (value.empty()) return false;
  for (const char c : value) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '"' || c == '%' || c == '!' || u < 0x20 || u == 0x7F) return false;
  }
  return true;
}

}  // namespace

bool IsCheckCommand(const FleetTrace& trace) {
  const std::string& text = trace.manual_removal;
  const std::string device = "devcon -f remove \"@";
  if (StartsWith(text, device) && text.size() > device.size() + 1 && text.back() == '"') {
    const std::string id = text.substr(device.size(), text.size() - device.size() - 1);
    return QuotableForCmd(id) && (trace.id.empty() || trace.id == id) &&
           (trace.kind.empty() || trace.kind == "device" || trace.kind == "audio-endpoint");
  }
  const std::string package = "devcon -f /dp_delete ";
  if (StartsWith(text, package)) {
    const std::string id = text.substr(package.size());
    const std::string lower = Lower(id);
    const bool inf = lower.size() > 7 && StartsWith(lower, "oem") &&
                     lower.compare(lower.size() - 4, 4, ".inf") == 0 &&
                     lower.find_first_not_of("0123456789", 3) == lower.size() - 4;
    return inf && (trace.id.empty() || trace.id == id) &&
           (trace.kind.empty() || trace.kind == "driver-package");
  }
  for (const char* attributes : {"H", "S", "HS"}) {
    const std::string file = std::string("del /F /A:") + attributes + " \"";
    if (!StartsWith(text, file) || text.size() <= file.size() + 1 || text.back() != '"') continue;
    const std::string path = text.substr(file.size(), text.size() - file.size() - 1);
    const bool ends_in_id =
        trace.id.empty() || (path.size() > trace.id.size() &&
                             path.compare(path.size() - trace.id.size() - 1, std::string::npos,
                                          "\\" + trace.id) == 0);
    return QuotableForCmd(path) && path.find(":\\") == 1 && ends_in_id &&
           (trace.kind.empty() || trace.kind == "driver-file");
  }
  return false;
}

void FlagForeignCommands(MachineResult* result) {
  for (const FleetTrace& trace : result->traces) {
    if (!trace.manual_removal.empty() && !IsCheckCommand(trace)) {
      for (const std::string& flag : result->flags) {
        if (flag == kForeignCommandFlag) return;
      }
      result->flags.push_back(kForeignCommandFlag);
      return;
    }
  }
}

void Decide(MachineResult* result) {
  FlagForeignCommands(result);
  VerdictTally tally;
  for (const FleetTrace& trace : result->traces) {
    tally.Add(FateOf(trace.awaits_reboot, !trace.manual_removal.empty()));
  }
  tally.unchecked = !result->unchecked.empty();
  result->verdict = VerdictOf(tally);
  result->has_verdict = true;
}

void DropRepeatedTraces(MachineResult* result) {
  if (result->traces.size() < 2) return;
  std::set<std::tuple<std::string, std::string, std::string, std::string, bool>> seen;
  std::vector<FleetTrace> kept;
  for (FleetTrace& trace : result->traces) {
    if (seen.emplace(trace.kind, trace.id, trace.description, trace.manual_removal,
                     trace.awaits_reboot)
            .second) {
      kept.push_back(std::move(trace));
    }
  }
  result->traces = std::move(kept);
}

void Contradicts(MachineResult* result, const std::string& why) {
  result->verdict = Verdict::kUnknown;
  result->flags.push_back("contradicts itself: " + why);
}

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
    // "; " inside double quotes is a path's, not a join.
    std::size_t end = at;
    bool quoted = false;
    while (end < text.size() && (quoted || text.compare(end, 2, "; ") != 0)) {
      if (text[end] == '"') quoted = !quoted;
      ++end;
    }
    parts.push_back(text.substr(at, end - at));
    at = end + 2;
  }
  return parts;
}

Columns::Columns(const std::vector<std::string>& header) {
  for (std::size_t i = 0; i < header.size(); ++i) {
    std::string key;
    for (const char c : header[i]) {
      const unsigned char u = static_cast<unsigned char>(c);
      if (std::isspace(u) || c == '_' || c == '-' || c == '.') continue;
      key.push_back(static_cast<char>(std::tolower(u)));
    }
    by_key.emplace(key, i);
  }
}

long Columns::Find(std::initializer_list<const char*> keys) const {
  for (const char* key : keys) {
    const auto found = by_key.find(key);
    if (found != by_key.end()) return static_cast<long>(found->second);
  }
  return -1;
}

std::string Field(const std::vector<std::string>& row, long column) {
  if (column < 0 || static_cast<std::size_t>(column) >= row.size()) return std::string();
  return row[static_cast<std::size_t>(column)];
}

bool NextGoodRecord(CsvReader* reader, const std::string& source, std::vector<std::string>* row,
                    std::vector<InputProblem>* unread) {
  std::string why;
  for (;;) {
    const CsvReader::Result read = reader->Next(row, &why);
    if (read == CsvReader::Result::kRecord) return true;
    if (read == CsvReader::Result::kEnd) return false;
    unread->push_back({source, reader->line(), why + ": the record was passed over"});
  }
}
