#include "fleet_page/fleet_page.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <set>
#include <utility>

#include "fleet_page/fleet_expect.h"
#include "fleet_page/fleet_machines.h"
#include "fleet_page/fleet_names.h"
#include "fleet_page_assets.h"
#include "output/utf8.h"

namespace {

// The page's verdicts, in the order the chart and the filter show them.
struct PageVerdict {
  const char* name;
  const char* css;  // the class that colours it
};
constexpr PageVerdict kPageVerdicts[] = {
    {"NOT CLEAN", "v-not-clean"}, {"PENDING", "v-pending"}, {"UNKNOWN", "v-unknown"},
    {"NO RESULT", "v-no-result"}, {"CLEAN", "v-clean"},
};

// A machine's name or device text as the page shows it: the machines write
// them, and what shows nothing or turns the text's direction is made visible.
std::string VisibleText(const std::string& text) { return VisibleName(text); }

// Appends `text` to `out`, copying runs of bytes that `plain` passes, and
// valid UTF-8 sequences beyond ASCII, whole; every other byte (one that is
// not UTF-8 among them) goes through `escape`.
template <typename Plain, typename Escape>
void AppendInRuns(const std::string& text, std::string* out, Plain plain, Escape escape) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
  const std::size_t size = text.size();
  std::size_t copied = 0;  // the start of the run not yet copied
  for (std::size_t at = 0; at < size;) {
    const unsigned char c = bytes[at];
    if (plain(c)) {
      ++at;
      continue;
    }
    const std::size_t length = c < 0x80 ? 1 : Utf8SequenceAt(bytes, size, at);
    if (length > 1) {
      at += length;
      continue;
    }
    out->append(text, copied, at - copied);
    escape(c, out);
    ++at;
    copied = at;
  }
  out->append(text, copied, size - copied);
}

// Appends `text` escaped as EscapeHtml does, without a string of its own.
void AppendEscaped(const std::string& text, std::string* out) {
  AppendInRuns(
      text, out,
      [](unsigned char c) {
        return c >= 0x20 && c < 0x7F && c != '&' && c != '<' && c != '>' && c != '"' && c != '\'';
      },
      [](unsigned char c, std::string* to) {
        switch (c) {
          case '&':
            *to += "&amp;";
            break;
          case '<':
            *to += "&lt;";
            break;
          case '>':
            *to += "&gt;";
            break;
          case '"':
            *to += "&quot;";
            break;
          case '\'':
            *to += "&#39;";
            break;
          default:
            if (c == '\t' || c == '\n') {
              to->push_back(static_cast<char>(c));
            } else {
              *to += "\xEF\xBF\xBD";  // a control character, or a byte that is not UTF-8
            }
        }
      });
}

// Appends `text` as a JSON string for a <script type="application/json">
// block: '<' escaped, so that no "</script" can end the block, and bytes
// that are not UTF-8 as U+FFFD.
void AppendJsonString(const std::string& text, std::string* out) {
  out->push_back('"');
  AppendInRuns(
      text, out,
      [](unsigned char c) { return c >= 0x20 && c < 0x7F && c != '"' && c != '\\' && c != '<'; },
      [](unsigned char c, std::string* to) {
        static const char kHex[] = "0123456789abcdef";
        if (c == '"' || c == '\\') {
          *to += {'\\', static_cast<char>(c)};
        } else if (c >= 0x80) {
          *to += "\xEF\xBF\xBD";
        } else {
          *to += {'\\', 'u', '0', '0', kHex[c >> 4], kHex[c & 15]};
        }
      });
  out->push_back('"');
}

struct Page {
  std::string html;
  void Text(const std::string& text) { AppendEscaped(text, &html); }
  void Raw(const char* text) { html += text; }
  void Raw(const std::string& text) { html += text; }
};

std::string Plural(std::size_t count, const char* one, const char* many) {
  return std::to_string(count) + " " + (count == 1 ? one : many);
}

// Groups of machines under one text (a command, a reason), the largest
// group first, then by text.
using Groups = std::map<std::string, std::vector<std::size_t>>;

std::vector<const Groups::value_type*> Largest(const Groups& groups) {
  std::vector<const Groups::value_type*> order;
  for (const auto& group : groups) order.push_back(&group);
  std::stable_sort(order.begin(), order.end(), [](const auto* a, const auto* b) {
    return a->second.size() > b->second.size();
  });
  return order;
}

std::string UncheckedText(const FleetUnchecked& entry) {
  return entry.check.empty() ? entry.reason : entry.check + ": " + entry.reason;
}

// Whether `text` holds a byte beyond ASCII: only such a name has a direction
// of its own to set apart from its neighbours'.
bool BeyondAscii(const std::string& text) {
  return std::any_of(text.begin(), text.end(),
                     [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
}

// The names of `which`, one a line, as the collector's machines.txt or an
// Ansible --limit file takes them; the script adds a button that copies
// them. Each in its visible form (a line break, a direction override or an
// invisible character in a name shows as "<U+202E>", so that no name fills
// two lines or reads as another); a name beyond ASCII isolated from its
// neighbours' direction (a <bdi>: an element a name would make the page
// open several times slower, and ASCII has no direction to lend).
// A long list scrolls in its box, so the box is reached by Tab and named by
// `label` (what the machines are listed for) and their count. `list` names
// the action list the names are (ActionList), for one that is; null for
// names given again as how-to.
void NameLines(const std::vector<FleetMachine>& machines, const std::vector<std::size_t>& which,
               const std::string& label, Page* page, const char* list = nullptr) {
  page->Raw("<pre class=\"names\"");
  if (list != nullptr) page->Raw(std::string(" data-list=\"") + list + "\"");
  page->Raw(" tabindex=\"0\" role=\"region\" aria-label=\"");
  page->Text(Plural(which.size(), "machine", "machines") + ": " + VisibleText(label));
  page->Raw("\">");
  for (std::size_t i : which) {
    const std::string name = VisibleText(machines[i].name);
    const bool isolated = BeyondAscii(name);
    if (isolated) page->Raw("<bdi>");
    page->Text(name);
    page->Raw(isolated ? "</bdi>\n" : "\n");
  }
  page->Raw("</pre>\n");
}

void Chart(const std::vector<FleetMachine>& machines, Page* page) {
  std::map<std::string, std::size_t> counts;
  for (const FleetMachine& machine : machines) ++counts[PageVerdictName(*machine.counted)];
  std::size_t most = 1;
  for (const auto& count : counts) most = std::max(most, count.second);
  const int row = 30;
  const int total_height = row * static_cast<int>(std::size(kPageVerdicts)) + 4;
  // Drawn at its own size on a narrow screen, so that its labels stay legible.
  page->Raw("<svg id=\"chart\" xmlns=\"http://www.w3.org/2000/svg\" role=\"img\" "
            "viewBox=\"0 0 360 " + std::to_string(total_height) +
            "\" aria-labelledby=\"summary\">\n");
  int y = 2;
  for (const PageVerdict& verdict : kPageVerdicts) {
    const std::size_t count = counts[verdict.name];
    const long width = static_cast<long>(count * 190 / most);
    page->Raw("<g data-verdict=\"" + std::string(verdict.name) + "\"><text x=\"0\" y=\"" +
              std::to_string(y + 19) + "\">" + verdict.name + "</text><rect class=\"bar " +
              verdict.css + "\" x=\"100\" y=\"" + std::to_string(y + 4) + "\" width=\"" +
              std::to_string(std::max(width, count == 0 ? 0L : 2L)) +
              "\" height=\"20\"/><text class=\"count\" x=\"" + std::to_string(106 + width) +
              "\" y=\"" + std::to_string(y + 19) + "\">" + std::to_string(count) +
              "</text></g>\n");
    y += row;
  }
  page->Raw("</svg>\n");
}

void SectionHead(const char* id, const std::string& heading, Page* page) {
  page->Raw(std::string("<section id=\"") + id + "\">\n<h2>");
  page->Text(heading);
  page->Raw("</h2>\n");
}

std::size_t Members(const Groups& groups) {
  std::size_t count = 0;
  for (const auto& group : groups) count += group.second.size();
  return count;
}

// A list of machines for one action: why, then their names to copy, under
// each text that sets some apart (the empty text: none), largest first.
void ActionSection(const std::vector<FleetMachine>& machines, const char* id,
                   const char* heading, const char* intro, const char* none,
                   const Groups& which, Page* page) {
  SectionHead(id, std::string(heading) + " (" +
                      Plural(Members(which), "machine", "machines") + ")",
              page);
  if (which.empty()) {
    page->Raw(std::string("<p class=\"muted\">") + none + "</p>\n");
  } else {
    page->Raw(std::string("<p>") + intro + "</p>\n");
    for (const auto* group : Largest(which)) {
      if (!group->first.empty()) {
        page->Raw("<div class=\"group reason\" data-machines=\"" +
                  std::to_string(group->second.size()) + "\">\n<p>");
        page->Text(group->first);
        page->Raw("</p>\n");
      }
      NameLines(machines, group->second,
                group->first.empty() ? std::string(heading) : std::string(heading) + ", " + group->first,
                page, id);
      if (!group->first.empty()) page->Raw("</div>\n");
    }
  }
  page->Raw("</section>\n");
}

// The PENDING machines left with removals by hand alone (`by_hand`), then
// how: each command under the machines it is for, whichever list they are
// in. A command is shown to copy only when it is one the check writes for
// its trace (CheckCommand); any other text a result gives is shown as text,
// set apart, without a button, for it is the machine's word, not the check's.
void ManualSection(const std::vector<FleetMachine>& machines, const Groups& by_hand,
                   Page* page) {
  Groups commands;
  Groups untrusted;
  for (std::size_t i = 0; i < machines.size(); ++i) {
    for (const FleetTrace& trace : machines[i].counted->traces) {
      if (FateOf(trace.awaits_reboot, !trace.manual_removal.empty()) !=
          TraceFate::kManualRemoval) {
        continue;
      }
      std::vector<std::size_t>& list = IsCheckCommand(trace) ? commands[trace.manual_removal]
                                                              : untrusted[trace.manual_removal];
      if (list.empty() || list.back() != i) list.push_back(i);
    }
  }
  SectionHead("manual", "Remove by hand (" + Plural(Members(by_hand), "machine", "machines") +
                            ")",
              page);
  if (by_hand.empty()) {
    page->Raw("<p class=\"muted\">No machine is left with removals by hand alone.</p>\n");
  } else {
    page->Raw("<p>Only removals by hand are left on these machines.</p>\n");
    for (const auto* group : Largest(by_hand)) {
      NameLines(machines, group->second, "Remove by hand", page, "manual");
    }
  }
  if (commands.empty() && untrusted.empty()) {
    page->Raw("<p class=\"muted\">The cleanup removes everything found, or nothing was "
              "found.</p>\n");
  } else if (!commands.empty()) {
    page->Raw("<p>The cleanup passes over these traces. Run each command in an elevated "
              "console on the machines named under it (they may be in another list above "
              "too), then check again (" +
              Plural(commands.size(), "command", "commands") + ").</p>\n");
    for (const auto* group : Largest(commands)) {
      page->Raw("<div class=\"group command\" data-machines=\"" +
                std::to_string(group->second.size()) + "\">\n<pre class=\"command\"><code>");
      page->Text(group->first);
      page->Raw("</code></pre>\n<p>On " + Plural(group->second.size(), "machine", "machines") +
                ":</p>\n");
      NameLines(machines, group->second, "by hand, " + group->first, page);
      page->Raw("</div>\n");
    }
  }
  if (!untrusted.empty()) {
    page->Raw("<p>These results give a command by hand that is not one the check writes "
              "for its trace. Do not run it: it is shown as the result gave it, to look "
              "into.</p>\n");
    for (const auto* group : Largest(untrusted)) {
      page->Raw("<div class=\"group reason\" data-machines=\"" +
                std::to_string(group->second.size()) + "\">\n<p>Not the check's: <code>");
      page->Text(VisibleText(group->first));
      page->Raw("</code></p>\n<p>On " + Plural(group->second.size(), "machine", "machines") +
                ":</p>\n");
      NameLines(machines, group->second, "not the check's command, " + group->first, page);
      page->Raw("</div>\n");
    }
  }
  page->Raw("</section>\n");
}

// An action list whose machines are grouped by why (`reasons`), each
// machine under one reason.
// `checks` names, by reason, the checks that could not run for it.
void ReasonSection(const std::vector<FleetMachine>& machines, const char* id,
                   const char* heading, const char* intro, const char* none,
                   const Groups& reasons,
                   const std::map<std::string, std::set<std::string>>& checks, Page* page) {
  SectionHead(id, std::string(heading) + " (" + Plural(Members(reasons), "machine", "machines") +
                      ", " + Plural(reasons.size(), "reason", "reasons") + ")",
              page);
  if (reasons.empty()) {
    page->Raw(std::string("<p class=\"muted\">") + none + "</p>\n");
  } else {
    page->Raw(std::string("<p>") + intro + "</p>\n");
    for (const auto* group : Largest(reasons)) {
      page->Raw("<div class=\"group reason\" data-machines=\"" +
                std::to_string(group->second.size()) + "\">\n<p>");
      page->Text(VisibleText(group->first));
      page->Raw("</p>\n");
      const auto named = checks.find(group->first);
      if (named != checks.end()) {
        page->Raw("<p class=\"meta\">Not checked: ");
        std::string list;
        for (const std::string& check : named->second) list += (list.empty() ? "" : ", ") + check;
        page->Text(list);
        page->Raw("</p>\n");
      }
      page->Raw("<p>On " + Plural(group->second.size(), "machine", "machines") + ":</p>\n");
      NameLines(machines, group->second, std::string(heading) + ", " + group->first, page, id);
      page->Raw("</div>\n");
    }
  }
  page->Raw("</section>\n");
}

void UnreadSection(const PageFacts& facts, Page* page) {
  SectionHead("unread", "Not read (" + std::to_string(facts.unread.size()) + ")", page);
  if (facts.unread.empty()) {
    page->Raw("<p class=\"muted\">Every input was read whole.</p>\n");
  } else {
    page->Raw("<p>These inputs, or parts of them, were not read; their machines may be "
              "missing above.</p>\n<ul>\n");
    for (const InputProblem& problem : facts.unread) {
      page->Raw("<li><code>");
      page->Text(problem.source);
      page->Raw("</code>");
      if (problem.line > 0) page->Raw(", line " + std::to_string(problem.line));
      page->Raw(": ");
      page->Text(problem.reason);
      page->Raw("</li>\n");
    }
    page->Raw("</ul>\n");
  }
  page->Raw("</section>\n");
}

// Whole days from a result's check to the page's making; -1 when either is
// not known. A result dated after the page is 0 days old (and flagged).
long long AgeDays(const MachineResult& result, const PageFacts& facts) {
  if (result.time == kUnknownTime || facts.made_at == kUnknownTime) return -1;
  if (result.time >= facts.made_at) return 0;
  return (facts.made_at - result.time) / 86400;
}

std::vector<std::string> FlagsOf(const FleetMachine& machine) {
  std::vector<std::string> flags = machine.flags;
  for (const std::string& flag : machine.counted->flags) {
    if (std::find(flags.begin(), flags.end(), flag) == flags.end()) flags.push_back(flag);
  }
  return flags;
}

// Appends one machine's details, what its line does not tell, as an entry
// of its block's JSON (an object: "p", the start every source of the block
// shares, and "v", the version of the check most of its machines ran, each
// written once for the block; "d", the entries): the rest of the source
// alone as a string (most machines), or an object with what is empty or as
// the block's left out. A trace is [kind, id, description, what removes
// it: 0 the cleanup, 1 a reboot, or the command to run by hand]. The
// script draws them when the machine's link is followed, and counts the
// traces for the table.
void AppendDetails(const FleetMachine& machine, std::size_t folder, const std::string& version,
                   std::string* out) {
  const MachineResult& result = *machine.counted;
  const std::string source = result.source.substr(folder);
  const bool more = result.engine != "check document" || result.version != version ||
                    !result.traces.empty() || !result.unchecked.empty() ||
                    !result.attached.empty() || !machine.others.empty() || result.cut;
  if (!more) {
    AppendJsonString(source, out);
    return;
  }
  *out += "{\"s\":";
  AppendJsonString(source, out);
  if (result.engine != "check document") {
    *out += ",\"e\":";
    AppendJsonString(result.engine, out);
  }
  if (result.version != version) {
    *out += ",\"v\":";
    AppendJsonString(result.version, out);
  }
  if (!result.traces.empty()) {
    *out += ",\"t\":[";
    for (const FleetTrace& trace : result.traces) {
      if (&trace != &result.traces.front()) out->push_back(',');
      out->push_back('[');
      for (const std::string& cell : {trace.kind, trace.id, VisibleText(trace.description)}) {
        AppendJsonString(cell, out);
        out->push_back(',');
      }
      switch (FateOf(trace.awaits_reboot, !trace.manual_removal.empty())) {
        case TraceFate::kCleanup:
          out->push_back('0');
          break;
        case TraceFate::kReboot:
          out->push_back('1');
          break;
        case TraceFate::kManualRemoval:
          AppendJsonString(trace.manual_removal, out);
          break;
      }
      out->push_back(']');
    }
    out->push_back(']');
  }
  const auto list = [out](const char* key, const std::vector<std::string>& items) {
    if (items.empty()) return;
    *out += std::string(",\"") + key + "\":[";
    for (const std::string& item : items) {
      if (&item != &items.front()) out->push_back(',');
      AppendJsonString(item, out);
    }
    out->push_back(']');
  };
  std::vector<std::string> items;
  for (const FleetUnchecked& entry : result.unchecked) items.push_back(UncheckedText(entry));
  list("u", items);
  items.clear();
  for (const FleetAttached& device : result.attached) {
    items.push_back(device.id + " " + VisibleText(device.description) +
                    (device.status.empty() ? "" : " [" + device.status + "]"));
  }
  list("a", items);
  items.clear();
  for (const MachineResult* other : machine.others) {
    items.push_back(std::string(PageVerdictName(*other)) + ", " +
                    (other->checked_at.empty() ? "time not known" : other->checked_at) + ", " +
                    other->source + (other->has_verdict ? "" : ": " + other->problem));
  }
  list("o", items);
  if (result.cut) *out += ",\"c\":1";
  out->push_back('}');
}

// One line of the list of every machine: the one place the page holds the
// machine's verdict, time, age and flags, read by the browser's find, by a
// reader without the script, and by the script for its table. Plain text in
// its block's <pre>, no element of its own, so that 100,000 lines open as
// fast as 100,000 lines of text. A no-break space ends the name, and starts
// the flags when there are any: no text shown holds one (every text is in
// its visible form, without line breaks either), so that the script can
// read the line back. A name beyond ASCII is set off by Unicode's isolates
// too, so that a name written right to left stays whole before its verdict
// (only there: isolates make the browser lay out the text's directions):
//   PC-1 CLEAN, 2026-12-01T04:11:29Z, 7 days old; stale; not expected
void MachineLine(const FleetMachine& machine, const PageFacts& facts, Page* page) {
  static const char kSpace[] = "\xC2\xA0";  // U+00A0 NO-BREAK SPACE
  const MachineResult& result = *machine.counted;
  const char* verdict = PageVerdictName(result);
  std::string& html = page->html;
  const std::string name = VisibleText(machine.name);
  const bool isolated = BeyondAscii(name);
  if (isolated) html += "\xE2\x81\xA8";  // U+2068 FIRST STRONG ISOLATE
  page->Text(name);
  if (isolated) html += "\xE2\x81\xA9";  // U+2069 POP DIRECTIONAL ISOLATE
  html += kSpace;
  html += verdict;
  if (!result.checked_at.empty()) {
    html += ", ";
    page->Text(VisibleText(result.checked_at));
    const long long age = AgeDays(result, facts);
    if (age >= 0) html += ", " + Plural(static_cast<std::size_t>(age), "day", "days") + " old";
  } else if (result.has_verdict) {
    html += ", time not known";
  }
  if (!result.has_verdict) {
    html += ": ";
    page->Text(VisibleText(result.problem));
  }
  const bool stale = IsStale(result, facts);
  if (stale || !machine.flags.empty() || !result.flags.empty()) {
    html += ';';
    html += kSpace;
    std::string flags = stale ? "stale" : "";
    // A flag can quote what a machine wrote of itself: a line break in it
    // is shown, not taken as the line's end.
    for (const std::string& flag : FlagsOf(machine)) {
      flags += (flags.empty() ? "" : "; ") + VisibleText(flag);
    }
    page->Text(flags);
  }
  html += '\n';
}

// The table: its controls and head, drawn into by the script from the rows.
void TableSection(std::size_t count, Page* page) {
  page->Raw("<section id=\"table-section\" hidden>\n<h2>Find a machine</h2>\n"
            "<form id=\"table-tools\" class=\"tools\" hidden>\n"
            "<label>Find <input type=\"search\" id=\"filter-text\" "
            "placeholder=\"name, verdict, flag\"></label>\n"
            "<fieldset><legend>Verdicts</legend>\n");
  for (const PageVerdict& verdict : kPageVerdicts) {
    page->Raw(std::string("<label><input type=\"checkbox\" name=\"verdict\" value=\"") +
              verdict.name + "\" checked> " + verdict.name + "</label>\n");
  }
  page->Raw("</fieldset>\n<label><input type=\"checkbox\" id=\"filter-stale\"> stale only</label>\n"
            "<label><input type=\"checkbox\" id=\"filter-flagged\"> flagged only</label>\n"
            "<button type=\"button\" id=\"export\">Export the rows shown (CSV)</button>\n"
            "<output id=\"filter-count\" aria-live=\"polite\"></output>\n</form>\n"
            "<div class=\"table-wrap\"><table id=\"machine-table\"><caption class=\"muted\">"
            "Every machine (" + std::to_string(count) + "); a column's heading sorts by it"
            "</caption>\n<thead><tr><th scope=\"col\">Machine</th><th scope=\"col\">Verdict</th>"
            "<th scope=\"col\">Checked (UTC)</th><th scope=\"col\" class=\"n\">Age (days)</th>"
            "<th scope=\"col\" class=\"n\">Traces</th><th scope=\"col\" class=\"n\">Reboot</th>"
            "<th scope=\"col\" class=\"n\">By hand</th><th scope=\"col\">Flags</th></tr></thead>"
            "\n<tbody></tbody></table></div>\n<nav id=\"pager\" class=\"pager\" "
            "aria-label=\"Table pages\" hidden><button type=\"button\" id=\"page-previous\">"
            "Previous</button><span id=\"page-text\"></span><button type=\"button\" "
            "id=\"page-next\">Next</button></nav>\n</section>\n");
}

void Header(const std::vector<FleetMachine>& machines, const PageFacts& facts,
            const std::string& needs, std::size_t stale, std::size_t never, std::size_t unexpected, std::size_t flagged,
            Page* page) {
  page->Raw("<header>\n<h1>Kovex drivers across the fleet</h1>\n<p id=\"summary\">");
  page->Text(SummaryLine(machines));
  page->Raw("</p>\n<p id=\"needs\">");
  page->Text(needs);
  page->Raw("</p>\n<p id=\"made\">Made <time>" +
            (facts.made_at == kUnknownTime ? std::string("at a time not known")
                                           : FormatIsoTime(facts.made_at)) +
            "</time> from " + Plural(facts.inputs.size(), "input", "inputs") + ": ");
  for (std::size_t i = 0; i < facts.inputs.size(); ++i) {
    if (i != 0) page->Raw(", ");
    page->Raw("<code>");
    page->Text(facts.inputs[i]);
    page->Raw("</code>");
  }
  page->Raw(".</p>\n<p id=\"attention\">" + Plural(stale, "result is", "results are") +
            " stale (checked more than " + Plural(static_cast<std::size_t>(facts.stale_after_days),
                                                  "day", "days") +
            " before the page was made); " + Plural(flagged, "machine is", "machines are") +
            " flagged; " + Plural(facts.unread.size(), "input was", "inputs were") +
            " not read whole.");
  if (facts.expected > 0) {
    page->Raw(" " + Plural(facts.expected, "machine was", "machines were") + " expected: " +
              std::to_string(never) + " never reported, " + std::to_string(unexpected) +
              " reported without being expected.");
  }
  page->Raw("</p>\n");
  Chart(machines, page);
  long long oldest = kUnknownTime;
  long long newest = kUnknownTime;
  std::size_t timed = 0;
  for (const FleetMachine& machine : machines) {
    const long long time = machine.counted->time;
    // A time the page cannot have seen yet is flagged on its machine and
    // sets neither end.
    if (time == kUnknownTime || IsFutureTime(time, facts.made_at)) continue;
    ++timed;
    if (oldest == kUnknownTime || time < oldest) oldest = time;
    if (time > newest) newest = time;
  }
  if (timed == 0) {
    page->Raw("<p id=\"times\">No result tells when it was checked.</p>\n");
  } else {
    page->Raw("<p id=\"times\">Oldest result: <time id=\"oldest\">" + FormatIsoTime(oldest) +
              "</time>; newest: <time id=\"newest\">" + FormatIsoTime(newest) + "</time>" +
              (timed == machines.size()
                   ? std::string()
                   : " (" + Plural(machines.size() - timed, "result does", "results do") +
                         " not tell a time that can be believed)") +
              ".</p>\n");
  }
  page->Raw("<p class=\"muted\">CLEAN: nothing of Kovex's drivers left. NOT CLEAN: running "
            "kovex-deepclean.exe removes something. PENDING: only reboots and removals by "
            "hand are left. UNKNOWN: it could not be decided (a check could not run, or the "
            "result contradicts itself). NO RESULT: no "
            "readable result.</p>\n<nav aria-label=\"Sections\"><a href=\"#cleanup\">Run the "
            "cleanup</a> &middot; <a href=\"#reboot\">Reboot</a> &middot; <a href=\"#manual\">"
            "Remove by hand</a> &middot; <a href=\"#unchecked\">Could not be decided</a> "
            "&middot; <a href=\"#no-result\">Without a result</a> &middot; <a href=\"#unread\">"
            "Not read</a> &middot; <a href=\"#every-machine\">Every machine</a></nav>\n"
            "</header>\n");
}
}  // namespace

std::string EscapeHtml(const std::string& text) {
  std::string out;
  out.reserve(text.size() + text.size() / 8);
  AppendEscaped(text, &out);
  return out;
}

std::string SummaryLine(const std::vector<FleetMachine>& machines) {
  std::map<std::string, std::size_t> counts;
  for (const FleetMachine& machine : machines) ++counts[PageVerdictName(*machine.counted)];
  return std::to_string(machines.size()) + (machines.size() == 1 ? " machine: " : " machines: ") +
         std::to_string(counts["CLEAN"]) + " CLEAN, " + std::to_string(counts["NOT CLEAN"]) +
         " NOT CLEAN, " + std::to_string(counts["PENDING"]) + " PENDING, " +
         std::to_string(counts["UNKNOWN"]) + " UNKNOWN, " + std::to_string(counts["NO RESULT"]) +
         " NO RESULT";
}

bool IsStale(const MachineResult& result, const PageFacts& facts) {
  // From the age the page shows, so that no line says "7 days old; stale".
  return AgeDays(result, facts) > facts.stale_after_days;
}

std::string FleetPage(const std::vector<FleetMachine>& machines, const PageFacts& facts) {
  Page page;
  page.html.reserve(4096 + machines.size() * 400);
  page.Raw("<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
           "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; "
           "script-src 'sha256-" + std::string(kPageScriptHash) + "'; style-src 'sha256-" +
           kPageStyleHash + "'; img-src 'none'; connect-src 'none'; "
           "base-uri 'none'; form-action 'none'\">\n"
           "<meta name=\"referrer\" content=\"no-referrer\">\n"
           "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
           "<meta name=\"color-scheme\" content=\"light dark\">\n<title>Kovex drivers: " +
           Plural(machines.size(), "machine", "machines") + "</title>\n<style>");
  page.Raw(kPageStyle);
  page.Raw("</style>\n</head>\n<body>\n");

  // Every machine that is not CLEAN is in exactly one of these lists
  // (ActionOf), and the sentences above them are counted from them.
  Groups cleanup;
  Groups reboot;
  Groups manual_only;
  Groups unknown;  // by reason
  std::map<std::string, std::set<std::string>> checks_of;
  Groups unread;   // by problem
  std::size_t ran_to_end = 0;
  std::size_t cut_short = 0;
  std::size_t stale = 0;
  std::size_t never = 0;
  std::size_t unexpected = 0;
  std::size_t flagged = 0;
  for (std::size_t i = 0; i < machines.size(); ++i) {
    const MachineResult& result = *machines[i].counted;
    const bool unfinished = CleanupUnfinished(result);
    if (!result.cleanup.empty()) ++(unfinished ? cut_short : ran_to_end);
    const std::string apart =
        unfinished ? "The cleanup did not run to its end on these; each one's line says why."
                   : "";
    switch (ActionOf(result)) {
      case ActionList::kCleanup:
        cleanup[apart].push_back(i);
        break;
      case ActionList::kReboot:
        reboot[apart].push_back(i);
        break;
      case ActionList::kByHand:
        manual_only[apart].push_back(i);
        break;
      case ActionList::kUnknown: {
        const std::string reason = UnknownReason(result);
        unknown[reason].push_back(i);
        for (const FleetUnchecked& entry : result.unchecked) {
          if (!entry.check.empty()) checks_of[reason].insert(entry.check);
        }
        break;
      }
      case ActionList::kNoResult:
        unread[result.problem].push_back(i);
        break;
      case ActionList::kNone:
        break;
    }
    if (!result.has_verdict && result.problem == kNeverReported) ++never;
    if (IsStale(result, facts)) ++stale;
    const std::vector<std::string> flags = FlagsOf(machines[i]);
    if (!flags.empty()) ++flagged;
    if (std::find(flags.begin(), flags.end(), "not expected") != flags.end()) ++unexpected;
  }
  std::string needs;
  const std::pair<const Groups*, const char*> lists[] = {
      {&cleanup, "the cleanup"},        {&reboot, "a reboot"},
      {&manual_only, "removals by hand"},   {&unknown, "a check that could not decide"},
      {&unread, "a readable result"}};
  std::size_t needing = 0;
  for (const auto& list : lists) {
    const std::size_t count = Members(*list.first);
    if (count == 0) continue;
    needing += count;
    needs += (needs.empty() ? "" : ", ") + std::to_string(count) + " " + list.second;
  }
  needs = needing == 0 ? "No machine needs anything."
                       : Plural(needing, "machine needs", "machines need") + " something: " +
                             needs + ".";
  if (ran_to_end + cut_short > 0) {
    needs += " The collector ran the cleanup on " +
             Plural(ran_to_end + cut_short, "machine", "machines") + ": it ran to its end on " +
             std::to_string(ran_to_end) + ", not on " + std::to_string(cut_short) + ".";
  }
  Header(machines, facts, needs, stale, never, unexpected, flagged, &page);
  page.Raw("<main>\n");
  ActionSection(machines, "cleanup", "Run the cleanup",
                "Traces that kovex-deepclean.exe removes are left on these machines.",
                "No machine needs the cleanup.", cleanup, &page);
  ActionSection(machines, "reboot", "Reboot",
                "A removal on these machines waits for a reboot; reboot them, then check "
                "again.",
                "No machine waits for a reboot.", reboot, &page);
  ManualSection(machines, manual_only, &page);
  ReasonSection(machines, "unchecked", "Could not be decided",
                "The check could not tell whether these machines are clean: a check could "
                "not run, the check itself could not, or the result contradicts itself. Mend "
                "what each reason says, then check again.",
                "Every machine's result could be decided.", unknown, checks_of, &page);
  ReasonSection(machines, "no-result", "Machines without a result",
                "No readable result came from these machines.",
                "Every machine has a readable result.", unread, {}, &page);
  UnreadSection(facts, &page);
  TableSection(machines.size(), &page);

  page.Raw("<section id=\"every-machine\">\n<h2>Every machine (" +
           std::to_string(machines.size()) +
           ")</h2>\n<details id=\"every\" open><summary>One line each, in name order; a "
           "machine's link shows its details</summary>\n<div class=\"all\">\n");
  // Plain text in blocks of 1,000 lines, so that the page opens as fast as
  // its text; each block followed by its machines' details.
  constexpr std::size_t kBlock = 1000;
  std::string details;
  for (std::size_t block = 0; block < machines.size(); block += kBlock) {
    const std::size_t end = std::min(machines.size(), block + kBlock);
    const std::string& source = machines[block].counted->source;
    std::size_t folder = source.size();
    for (std::size_t i = block + 1; i < end && folder > 0; ++i) {
      const std::string& other = machines[i].counted->source;
      folder = std::min(folder, other.size());
      folder = static_cast<std::size_t>(
          std::mismatch(source.begin(), source.begin() + static_cast<std::ptrdiff_t>(folder),
                        other.begin())
              .first -
          source.begin());
    }
    // Cut after an ASCII byte, so that no character is split.
    while (folder > 0 && static_cast<unsigned char>(source[folder - 1]) >= 0x80) --folder;
    page.Raw("<pre class=\"lines\">");
    const std::string& version = machines[block].counted->version;
    details = "{\"p\":";
    AppendJsonString(source.substr(0, folder), &details);
    details += ",\"v\":";
    AppendJsonString(version, &details);
    details += ",\"d\":[";
    for (std::size_t i = block; i < end; ++i) {
      MachineLine(machines[i], facts, &page);
      if (i != block) details.push_back(',');
      AppendDetails(machines[i], folder, version, &details);
    }
    page.Raw("</pre>\n<script type=\"application/json\" class=\"details\">");
    page.Raw(details);
    page.Raw("]}</script>\n");
  }
  page.Raw("</div>\n</details>\n</section>\n</main>\n");
  page.Raw("<script>");
  page.Raw(kPageScript);
  page.Raw("</script>\n</body>\n</html>\n");
  return page.html;
}
