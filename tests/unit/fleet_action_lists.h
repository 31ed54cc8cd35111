#ifndef KOVEX_TESTS_UNIT_FLEET_ACTION_LISTS_H_
#define KOVEX_TESTS_UNIT_FLEET_ACTION_LISTS_H_

#include <algorithm>
#include <cstddef>
#include <map>
#include <string>
#include <vector>

#include "fleet_page/fleet_names.h"
#include "fleet_page/fleet_page.h"

// The fleet page's promise of its action lists, read from the page as a
// person reads it: every machine that is not CLEAN is in exactly one action
// list (a <pre class="names" data-list="...">: Run the cleanup, Reboot,
// Remove by hand, Could not be decided, Without a result), once, and in the
// list its verdict calls for; no CLEAN machine is in one; each list's
// heading counts its lines; and the sentence of what is needed is "No
// machine needs anything." exactly when no list has a machine. The names a
// command by hand is for are how-to, not a list (no data-list). Returns ""
// when the page keeps it, else what breaks it.
inline std::string ActionListFault(const std::vector<FleetMachine>& machines,
                                   const std::string& page) {
  static const char* const kListIds[] = {"", "cleanup", "reboot", "manual", "unchecked",
                                         "no-result"};
  // How often each list should show each visible name.
  std::map<std::string, std::map<std::string, std::size_t>> wanted;
  std::size_t needing = 0;
  for (const FleetMachine& machine : machines) {
    const ActionList list = ActionOf(*machine.counted);
    if (list == ActionList::kNone) continue;
    ++needing;
    ++wanted[kListIds[static_cast<int>(list)]][EscapeHtml(VisibleName(machine.name))];
  }
  std::map<std::string, std::map<std::string, std::size_t>> shown;
  std::map<std::string, std::size_t> lines_of;
  const std::string open = "<pre class=\"names\" data-list=\"";
  for (std::size_t at = page.find(open); at != std::string::npos; at = page.find(open, at)) {
    at += open.size();
    const std::string list = page.substr(at, page.find('"', at) - at);
    std::size_t line = page.find('>', at) + 1;
    const std::size_t end = page.find("</pre>", line);
    while (line < end) {
      const std::size_t next = page.find('\n', line);
      std::string name = page.substr(line, next - line);
      // A name beyond ASCII between <bdi> and </bdi>, any other bare.
      const bool isolated = name.compare(0, 5, "<bdi>") == 0 && name.size() >= 11 &&
                            name.compare(name.size() - 6, 6, "</bdi>") == 0;
      if (isolated) name = name.substr(5, name.size() - 11);
      const bool ascii = std::all_of(name.begin(), name.end(),
                                     [](char c) { return static_cast<unsigned char>(c) < 0x80; });
      if (isolated == ascii) return "a list line isolated unless beyond ASCII";
      ++shown[list][name];
      ++lines_of[list];
      line = next + 1;
    }
  }
  if (shown != wanted) {
    for (const auto& list : wanted) {
      for (const auto& name : list.second) {
        if (shown[list.first][name.first] != name.second) {
          return name.first + " is in list \"" + list.first + "\" " +
                 std::to_string(shown[list.first][name.first]) + " times, not " +
                 std::to_string(name.second);
        }
      }
    }
    return "a list shows a machine that needs nothing of it";
  }
  for (const char* id : kListIds) {
    if (*id == '\0') continue;
    const std::string head = std::string("<section id=\"") + id + "\">\n<h2>";
    const std::size_t at = page.find(head);
    if (at == std::string::npos) return std::string("no section ") + id;
    const std::size_t paren = page.find('(', at + head.size());
    const std::size_t count = static_cast<std::size_t>(std::stoul(page.substr(paren + 1)));
    if (count != lines_of[id]) return std::string("the heading of ") + id + " miscounts";
  }
  const bool says_none = page.find("<p id=\"needs\">No machine needs anything.") != std::string::npos;
  if (says_none != (needing == 0)) return "the sentence of what is needed is untrue";
  return "";
}

#endif  // KOVEX_TESTS_UNIT_FLEET_ACTION_LISTS_H_
