#ifndef KOVEX_FLEET_PAGE_FLEET_EXPECT_H_
#define KOVEX_FLEET_PAGE_FLEET_EXPECT_H_

#include <cstddef>
#include <deque>
#include <string>
#include <vector>

#include "fleet_page/fleet_page.h"

// The machines that should have a result, so that the page can show the
// ones that never reported, read from the lists administrators have:
//  - one name a line (the collector's machines.txt, a list saved by
//    Windows PowerShell's `>`): UTF-8 or UTF-16, with a byte-order mark or
//    without, LF or CR LF;
//  - an Ansible INI inventory: [group] lines, hosts with variables
//    ("pc01 ansible_host=10.0.0.1"), ranges ("pc[01:50].corp", "[a:f]",
//    "[01:50:2]"), [group:vars] and [group:children] passed over;
//  - the JSON `ansible-inventory -i FILE --list` writes (every group's
//    "hosts" and "_meta"'s "hostvars"), which is how a YAML or dynamic
//    inventory is given: a YAML file itself is refused with that command;
//  - a CSV whose header names the machine column (Name, ComputerName,
//    Machine, Computer, DeviceName, Host, HostName, DNSHostName), as
//    Export-Csv writes it (its "#TYPE" line allowed); a line repeating the
//    header (two files joined) is passed over.
// Names are kept as written (MachineKey tells them apart). What is not a
// machine (a line of words, a variable outside a host, a range that does
// not read) is in `unread`, never a name.
struct ExpectedList {
  std::vector<std::string> names;
  std::vector<InputProblem> unread;
};
ExpectedList ReadExpected(const std::string& bytes, const std::string& source);

// The most machines one range of an inventory stands for; a larger one is
// not read (an inventory's largest ranges are a few thousand).
constexpr std::size_t kRangeLimit = 100000;

// How many machines `expected` names, each counted once (MachineKey).
std::size_t DistinctMachines(const std::vector<std::string>& expected);

// Applies the list to the grouped machines: each name expected without a
// machine (compared by MachineKey, as the grouping compares) becomes a
// machine of NO RESULT "never reported", whose result is kept in
// `placeholders` (which must outlive the machines); each machine with a
// result but not expected is flagged "not expected". The added machines'
// names are compared with every other's for look-alikes. The machines stay
// in name order. An empty list expects nothing and changes nothing.
void ApplyExpected(const std::vector<std::string>& expected,
                   std::deque<MachineResult>* placeholders,
                   std::vector<FleetMachine>* machines);

// The problem a never-reported machine's NO RESULT gives.
extern const char kNeverReported[];

#endif  // KOVEX_FLEET_PAGE_FLEET_EXPECT_H_
