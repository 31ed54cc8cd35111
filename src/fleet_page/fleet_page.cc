#include "fleet_page/fleet_page.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <set>
#include <utility>

#include "fleet_page/sha256.h"
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

const char* CssOf(const MachineResult& result) {
  const std::string name = PageVerdictName(result);
  for (const PageVerdict& verdict : kPageVerdicts) {
    if (name == verdict.name) return verdict.css;
  }
  return "v-no-result";
}

// The page's style and script: fixed text, allowed by their hashes.
const char kStyle[] = R"css(
:root { color-scheme: light dark; --fg: #1b1f23; --bg: #ffffff; --muted: #59636e;
  --line: #d0d7de; --panel: #f6f8fa; --link: #0550ae;
  --clean: #1a7f37; --not-clean: #cf222e; --pending: #9a6700; --unknown: #8250df;
  --no-result: #6e7781; }
@media (prefers-color-scheme: dark) {
  :root { --fg: #e6edf3; --bg: #0d1117; --muted: #9198a1; --line: #30363d;
    --panel: #161b22; --link: #4493f8; --clean: #3fb950; --not-clean: #f85149;
    --pending: #d29922; --unknown: #a371f7; --no-result: #8b949e; }
}
body { font: 15px/1.45 system-ui, -apple-system, "Segoe UI", sans-serif; color: var(--fg);
  background: var(--bg); margin: 0 auto; max-width: 72rem; padding: 1rem 1.5rem 3rem; }
h1 { font-size: 1.5rem; margin: .5rem 0; }
h2 { font-size: 1.2rem; border-bottom: 1px solid var(--line); padding-bottom: .2rem;
  margin-top: 2rem; }
h3 { font-size: 1rem; margin: 0 0 .3rem; overflow-wrap: anywhere; }
a { color: var(--link); }
code, pre { font: 13px/1.4 ui-monospace, "Cascadia Mono", Consolas, monospace;
  overflow-wrap: anywhere; }
pre { background: var(--panel); border: 1px solid var(--line); border-radius: 4px;
  padding: .4rem .6rem; margin: .3rem 0; white-space: pre-wrap; user-select: all; }
.muted, .meta { color: var(--muted); }
.meta { font-size: .9em; margin: 0 0 .3rem; overflow-wrap: anywhere; }
#chart { max-width: 40rem; width: 100%; height: auto; }
#chart text { fill: var(--fg); font: 14px system-ui, sans-serif; }
.bar.v-clean, .v-clean .verdict { fill: var(--clean); background: var(--clean); }
.bar.v-not-clean, .v-not-clean .verdict { fill: var(--not-clean); background: var(--not-clean); }
.bar.v-pending, .v-pending .verdict { fill: var(--pending); background: var(--pending); }
.bar.v-unknown, .v-unknown .verdict { fill: var(--unknown); background: var(--unknown); }
.bar.v-no-result, .v-no-result .verdict { fill: var(--no-result); background: var(--no-result); }
.verdict { color: #fff; border-radius: 3px; padding: 0 .4rem; font-size: .85em;
  font-weight: 600; margin-right: .4rem; white-space: nowrap; }
.group { border-left: 3px solid var(--line); padding-left: .8rem; margin: 1rem 0; }
.machines-of { margin: .2rem 0; overflow-wrap: anywhere; }
.machine { border: 1px solid var(--line); border-radius: 6px; padding: .6rem .8rem;
  margin: .6rem 0; content-visibility: auto; contain-intrinsic-size: auto 7rem; }
.machine[hidden] { display: none; }
table { border-collapse: collapse; width: 100%; font-size: .9em; margin: .3rem 0; }
.traces td:first-child { white-space: nowrap; }
th, td { text-align: left; vertical-align: top; border-top: 1px solid var(--line);
  padding: .2rem .4rem; overflow-wrap: anywhere; }
#filter { background: var(--panel); border: 1px solid var(--line); border-radius: 6px;
  padding: .5rem .8rem; display: flex; flex-wrap: wrap; gap: .6rem 1rem; align-items: center; }
#filter[hidden] { display: none; }
#filter input[type=search] { min-width: 16rem; font: inherit; }
button { font: inherit; font-size: .85em; }
@media print {
  :root { --fg: #000; --bg: #fff; --muted: #333; --panel: #fff; --link: #000; }
  body { max-width: none; padding: 0; font-size: 11pt; }
  #filter, button { display: none; }
  .machine, .group, tr { break-inside: avoid; }
  .machine { content-visibility: visible; }
  .verdict { color: #000; background: none; border: 1px solid #000; }
  a { text-decoration: none; }
}
)css";

const char kScript[] = R"js(
(function () {
  'use strict';
  var form = document.getElementById('filter');
  var text = document.getElementById('filter-text');
  var count = document.getElementById('filter-count');
  var boxes = form.querySelectorAll('input[type=checkbox]');
  var machines = document.querySelectorAll('#machines .machine');
  var haystack = [];
  for (var i = 0; i < machines.length; i++) {
    haystack.push(machines[i].textContent.toLowerCase());
  }
  function apply() {
    var wanted = {};
    for (var b = 0; b < boxes.length; b++) {
      if (boxes[b].checked) wanted[boxes[b].value] = true;
    }
    var needle = text.value.trim().toLowerCase();
    var shown = 0;
    for (var m = 0; m < machines.length; m++) {
      var show = wanted[machines[m].getAttribute('data-verdict')] === true &&
          (needle === '' || haystack[m].indexOf(needle) !== -1);
      if (machines[m].hidden === show) machines[m].hidden = !show;
      if (show) shown++;
    }
    count.textContent = shown + ' of ' + machines.length + ' machines shown';
  }
  // A filter can be given in the address: ?verdict=PENDING&verdict=UNKNOWN&q=text
  var params = new URLSearchParams(window.location.search);
  var verdicts = params.getAll('verdict');
  if (verdicts.length > 0) {
    for (var v = 0; v < boxes.length; v++) {
      boxes[v].checked = verdicts.indexOf(boxes[v].value) !== -1;
    }
  }
  if (params.has('q')) text.value = params.get('q');
  var timer = 0;
  text.addEventListener('input', function () {
    clearTimeout(timer);
    timer = setTimeout(apply, 150);
  });
  for (var c = 0; c < boxes.length; c++) boxes[c].addEventListener('change', apply);
  form.addEventListener('submit', function (event) { event.preventDefault(); });
  form.hidden = false;
  if (navigator.clipboard) {
    var commands = document.querySelectorAll('#manual pre');
    for (var p = 0; p < commands.length; p++) {
      (function (pre) {
        var button = document.createElement('button');
        button.type = 'button';
        button.textContent = 'Copy';
        button.addEventListener('click', function () {
          navigator.clipboard.writeText(pre.textContent).then(function () {
            button.textContent = 'Copied';
          });
        });
        pre.parentNode.insertBefore(button, pre.nextSibling);
      })(commands[p]);
    }
  }
  apply();
})();
)js";

struct Page {
  std::string html;
  void Text(const std::string& text) { html += EscapeHtml(text); }
  void Raw(const char* text) { html += text; }
  void Raw(const std::string& text) { html += text; }
};

std::string Anchor(std::size_t index) { return "m-" + std::to_string(index + 1); }

// A link to each machine: "<a href="#m-3">PC-03</a>, ...".
void MachineLinks(const std::vector<FleetMachine>& machines,
                  const std::vector<std::size_t>& which, Page* page) {
  for (std::size_t i = 0; i < which.size(); ++i) {
    if (i != 0) page->Raw(", ");
    page->Raw("<a href=\"#" + Anchor(which[i]) + "\">");
    page->Text(machines[which[i]].name);
    page->Raw("</a>");
  }
}

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

void Chart(const std::vector<FleetMachine>& machines, Page* page) {
  std::map<std::string, std::size_t> counts;
  for (const FleetMachine& machine : machines) ++counts[PageVerdictName(*machine.counted)];
  std::size_t most = 1;
  for (const auto& count : counts) most = std::max(most, count.second);
  const int row = 30;
  const int total_height = row * static_cast<int>(std::size(kPageVerdicts)) + 4;
  page->Raw("<svg id=\"chart\" xmlns=\"http://www.w3.org/2000/svg\" role=\"img\" "
            "viewBox=\"0 0 640 " + std::to_string(total_height) +
            "\" aria-labelledby=\"summary\">\n");
  int y = 2;
  for (const PageVerdict& verdict : kPageVerdicts) {
    const std::size_t count = counts[verdict.name];
    const long width = static_cast<long>(count * 400 / most);
    page->Raw("<g data-verdict=\"" + std::string(verdict.name) + "\"><text x=\"0\" y=\"" +
              std::to_string(y + 19) + "\">" + verdict.name + "</text><rect class=\"bar " +
              verdict.css + "\" x=\"110\" y=\"" + std::to_string(y + 4) + "\" width=\"" +
              std::to_string(std::max(width, count == 0 ? 0L : 2L)) +
              "\" height=\"20\"/><text class=\"count\" x=\"" + std::to_string(118 + width) +
              "\" y=\"" + std::to_string(y + 19) + "\">" + std::to_string(count) +
              "</text></g>\n");
    y += row;
  }
  page->Raw("</svg>\n");
}

void RebootSection(const std::vector<FleetMachine>& machines, Page* page) {
  std::vector<std::size_t> which;
  for (std::size_t i = 0; i < machines.size(); ++i) {
    for (const FleetTrace& trace : machines[i].counted->traces) {
      if (trace.awaits_reboot) {
        which.push_back(i);
        break;
      }
    }
  }
  page->Raw("<section id=\"reboot\">\n<h2>Must reboot (" + Plural(which.size(), "machine", "machines") +
            ")</h2>\n");
  if (which.empty()) {
    page->Raw("<p class=\"muted\">No machine waits for a reboot.</p>\n");
  } else {
    page->Raw("<p>A removal on these machines waits for a reboot; reboot them, then "
              "check again.</p>\n<ul>\n");
    for (std::size_t i : which) {
      page->Raw("<li><a href=\"#" + Anchor(i) + "\">");
      page->Text(machines[i].name);
      page->Raw("</a>: ");
      bool first = true;
      for (const FleetTrace& trace : machines[i].counted->traces) {
        if (!trace.awaits_reboot) continue;
        if (!first) page->Raw("; ");
        first = false;
        page->Text(trace.kind.empty() ? trace.id : trace.kind + " " + trace.id);
      }
      page->Raw("</li>\n");
    }
    page->Raw("</ul>\n");
  }
  page->Raw("</section>\n");
}

void ManualSection(const std::vector<FleetMachine>& machines, Page* page) {
  Groups commands;
  for (std::size_t i = 0; i < machines.size(); ++i) {
    for (const FleetTrace& trace : machines[i].counted->traces) {
      if (FateOf(trace.awaits_reboot, !trace.manual_removal.empty()) !=
          TraceFate::kManualRemoval) {
        continue;
      }
      std::vector<std::size_t>& list = commands[trace.manual_removal];
      if (list.empty() || list.back() != i) list.push_back(i);
    }
  }
  page->Raw("<section id=\"manual\">\n<h2>Remove by hand (" +
            Plural(commands.size(), "command", "commands") + ")</h2>\n");
  if (commands.empty()) {
    page->Raw("<p class=\"muted\">The cleanup removes everything found, or nothing was "
              "found.</p>\n");
  } else {
    page->Raw("<p>The cleanup passes over these traces. Run each command in an elevated "
              "console on the machines named under it, then check again.</p>\n");
    for (const auto* group : Largest(commands)) {
      page->Raw("<div class=\"group command\" data-machines=\"" +
                std::to_string(group->second.size()) + "\">\n<pre><code>");
      page->Text(group->first);
      page->Raw("</code></pre>\n<p class=\"machines-of\">" +
                Plural(group->second.size(), "machine", "machines") + ": ");
      MachineLinks(machines, group->second, page);
      page->Raw("</p>\n</div>\n");
    }
  }
  page->Raw("</section>\n");
}

// `checks` names, by reason, the checks that could not run for it.
void ReasonSection(const std::vector<FleetMachine>& machines, const char* id,
                   const char* heading, const char* intro, const char* none,
                   const Groups& reasons,
                   const std::map<std::string, std::set<std::string>>& checks, Page* page) {
  page->Raw(std::string("<section id=\"") + id + "\">\n<h2>" + heading + " (" +
            Plural(reasons.size(), "reason", "reasons") + ")</h2>\n");
  if (reasons.empty()) {
    page->Raw(std::string("<p class=\"muted\">") + none + "</p>\n");
  } else {
    page->Raw(std::string("<p>") + intro + "</p>\n");
    for (const auto* group : Largest(reasons)) {
      page->Raw("<div class=\"group reason\" data-machines=\"" +
                std::to_string(group->second.size()) + "\">\n<p>");
      page->Text(group->first);
      const auto named = checks.find(group->first);
      if (named != checks.end()) {
        page->Raw("</p>\n<p class=\"meta\">Not checked: ");
        std::string list;
        for (const std::string& check : named->second) list += (list.empty() ? "" : ", ") + check;
        page->Text(list);
      }
      page->Raw("</p>\n<p class=\"machines-of\">" +
                Plural(group->second.size(), "machine", "machines") + ": ");
      MachineLinks(machines, group->second, page);
      page->Raw("</p>\n</div>\n");
    }
  }
  page->Raw("</section>\n");
}

std::string RemovedBy(const FleetTrace& trace) {
  switch (FateOf(trace.awaits_reboot, !trace.manual_removal.empty())) {
    case TraceFate::kCleanup:
      return "the cleanup";
    case TraceFate::kReboot:
      return "a reboot";
    case TraceFate::kManualRemoval:
      return "a command by hand";
  }
  return "";
}

void ResultMeta(const MachineResult& result, Page* page) {
  page->Raw("<p class=\"meta\">");
  if (result.checked_at.empty()) {
    page->Raw("time not known");
  } else {
    page->Raw("checked <time>");
    page->Text(result.checked_at);
    page->Raw("</time>");
  }
  if (!result.version.empty()) {
    page->Raw(" &middot; check ");
    page->Text(result.version);
  }
  page->Raw(" &middot; ");
  page->Text(result.engine);
  page->Raw(" <span class=\"source\">");
  page->Text(result.source);
  page->Raw("</span></p>\n");
}

void MachineArticle(const std::vector<FleetMachine>& machines, std::size_t index,
                    Page* page) {
  const FleetMachine& machine = machines[index];
  const MachineResult& result = *machine.counted;
  const std::string verdict = PageVerdictName(result);
  page->Raw("<article class=\"machine " + std::string(CssOf(result)) + "\" id=\"" +
            Anchor(index) + "\" data-machine=\"");
  page->Text(machine.name);
  page->Raw("\" data-verdict=\"" + verdict + "\">\n<h3><span class=\"verdict\">" + verdict +
            "</span>");
  page->Text(machine.name);
  page->Raw("</h3>\n");
  ResultMeta(result, page);
  if (!result.has_verdict) {
    page->Raw("<p class=\"problem\">No result: ");
    page->Text(result.problem);
    page->Raw("</p>\n");
  }
  if (!result.traces.empty()) {
    page->Raw("<table class=\"traces\"><thead><tr><th>Kind</th><th>ID</th>"
              "<th>Description</th><th>Removed by</th></tr></thead><tbody>\n");
    for (const FleetTrace& trace : result.traces) {
      page->Raw("<tr><td>");
      page->Text(trace.kind);
      page->Raw("</td><td><code>");
      page->Text(trace.id);
      page->Raw("</code></td><td>");
      page->Text(trace.description);
      page->Raw("</td><td>");
      page->Text(RemovedBy(trace));
      if (!trace.manual_removal.empty()) {
        page->Raw(": <code>");
        page->Text(trace.manual_removal);
        page->Raw("</code>");
      }
      page->Raw("</td></tr>\n");
    }
    page->Raw("</tbody></table>\n");
  }
  if (result.cut) {
    page->Raw("<p class=\"muted\">The detection line was cut at 2,048 characters: "
              "more traces may be left than listed.</p>\n");
  }
  if (!result.unchecked.empty()) {
    page->Raw("<ul class=\"unchecked\">\n");
    for (const FleetUnchecked& entry : result.unchecked) {
      page->Raw("<li>Not checked: ");
      page->Text(UncheckedText(entry));
      page->Raw("</li>\n");
    }
    page->Raw("</ul>\n");
  }
  if (!result.attached.empty()) {
    page->Raw("<p class=\"attached\">Attached now (plugged in, not traces): ");
    for (std::size_t i = 0; i < result.attached.size(); ++i) {
      const FleetAttached& device = result.attached[i];
      if (i != 0) page->Raw("; ");
      page->Raw("<code>");
      page->Text(device.id);
      page->Raw("</code> ");
      page->Text(device.description);
      if (!device.status.empty()) {
        page->Raw(" [");
        page->Text(device.status);
        page->Raw("]");
      }
    }
    page->Raw("</p>\n");
  }
  if (!machine.others.empty()) {
    page->Raw("<details class=\"others\"><summary>" +
              Plural(machine.others.size(), "older result", "older results") +
              " (not counted)</summary><ul>\n");
    for (const MachineResult* other : machine.others) {
      page->Raw("<li><span class=\"verdict-text\">");
      page->Raw(PageVerdictName(*other));
      page->Raw("</span>, ");
      page->Text(other->checked_at.empty() ? "time not known" : other->checked_at);
      page->Raw(", ");
      page->Text(other->source);
      if (!other->has_verdict) {
        page->Raw(": ");
        page->Text(other->problem);
      }
      page->Raw("</li>\n");
    }
    page->Raw("</ul></details>\n");
  }
  page->Raw("</article>\n");
}

}  // namespace

std::string EscapeHtml(const std::string& text) {
  std::string out;
  out.reserve(text.size() + text.size() / 8);
  for (std::size_t at = 0; at < text.size();) {
    const char c = text[at];
    const std::size_t length =
        Utf8SequenceAt(reinterpret_cast<const unsigned char*>(text.data()), text.size(), at);
    if (length == 0) {
      out += "\xEF\xBF\xBD";
      ++at;
      continue;
    }
    if (length > 1) {
      out.append(text, at, length);
      at += length;
      continue;
    }
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&#39;";
        break;
      default:
        if ((static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n') || c == 0x7F) {
          out += "\xEF\xBF\xBD";
        } else {
          out.push_back(c);
        }
    }
    ++at;
  }
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

std::string FleetPage(const std::vector<FleetMachine>& machines, const PageFacts& facts) {
  static_cast<void>(facts);
  Page page;
  page.html.reserve(1024 + machines.size() * 700);
  const std::string style = kStyle;
  const std::string script = kScript;
  page.Raw("<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
           "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; "
           "script-src 'sha256-" + Sha256Base64(script) + "'; style-src 'sha256-" +
           Sha256Base64(style) + "'; img-src 'none'; connect-src 'none'; "
           "base-uri 'none'; form-action 'none'\">\n"
           "<meta name=\"referrer\" content=\"no-referrer\">\n"
           "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
           "<meta name=\"color-scheme\" content=\"light dark\">\n<title>Kovex drivers: " +
           Plural(machines.size(), "machine", "machines") + "</title>\n<style>");
  page.Raw(style);
  page.Raw("</style>\n</head>\n<body>\n<header>\n<h1>Kovex drivers across the fleet</h1>\n");
  page.Raw("<p id=\"summary\">");
  page.Text(SummaryLine(machines));
  page.Raw("</p>\n");
  Chart(machines, &page);
  long long oldest = kUnknownTime;
  long long newest = kUnknownTime;
  std::size_t timed = 0;
  for (const FleetMachine& machine : machines) {
    const long long time = machine.counted->time;
    if (time == kUnknownTime) continue;
    ++timed;
    if (oldest == kUnknownTime || time < oldest) oldest = time;
    if (time > newest) newest = time;
  }
  if (timed == 0) {
    page.Raw("<p id=\"times\">No result tells when it was checked.</p>\n");
  } else {
    page.Raw("<p id=\"times\">Oldest result: <time id=\"oldest\">" + FormatIsoTime(oldest) +
             "</time>; newest: <time id=\"newest\">" + FormatIsoTime(newest) + "</time>" +
             (timed == machines.size()
                  ? std::string()
                  : " (" + Plural(machines.size() - timed, "result does", "results do") +
                        " not tell its time)") +
             ".</p>\n");
  }
  page.Raw("<p class=\"muted\">CLEAN: nothing of Kovex's drivers left. NOT CLEAN: running "
           "kovex-deepclean.exe removes something. PENDING: only reboots and removals by "
           "hand are left. UNKNOWN: nothing found, but a check could not run. NO RESULT: no "
           "readable result.</p>\n</header>\n");

  RebootSection(machines, &page);
  ManualSection(machines, &page);

  Groups unchecked;  // by reason
  std::map<std::string, std::set<std::string>> checks_of;
  Groups unread;
  for (std::size_t i = 0; i < machines.size(); ++i) {
    const MachineResult& result = *machines[i].counted;
    if (!result.has_verdict) unread[result.problem].push_back(i);
    for (const FleetUnchecked& entry : result.unchecked) {
      std::vector<std::size_t>& list = unchecked[entry.reason];
      if (list.empty() || list.back() != i) list.push_back(i);
      if (!entry.check.empty()) checks_of[entry.reason].insert(entry.check);
    }
  }
  ReasonSection(machines, "unchecked", "Checks that could not run",
                "Mend what kept each check from running, then check again.",
                "Every check ran.", unchecked, checks_of, &page);
  ReasonSection(machines, "no-result", "Machines without a result",
                "No readable result came from these machines.",
                "Every machine has a readable result.", unread, {}, &page);

  page.Raw("<section id=\"machines\">\n<h2>Every machine (" +
           std::to_string(machines.size()) + ")</h2>\n"
           "<form id=\"filter\" hidden><label>Find <input type=\"search\" id=\"filter-text\" "
           "placeholder=\"name, ID, command, reason\"></label>\n");
  for (const PageVerdict& verdict : kPageVerdicts) {
    page.Raw(std::string("<label><input type=\"checkbox\" value=\"") + verdict.name +
             "\" checked> " + verdict.name + "</label>\n");
  }
  page.Raw("<output id=\"filter-count\"></output></form>\n");
  for (std::size_t i = 0; i < machines.size(); ++i) MachineArticle(machines, i, &page);
  page.Raw("</section>\n<script>");
  page.Raw(script);
  page.Raw("</script>\n</body>\n</html>\n");
  return page.html;
}
