#ifndef KOVEX_FLEET_PAGE_FLEET_EXPECT_H_
#define KOVEX_FLEET_PAGE_FLEET_EXPECT_H_

#include <deque>
#include <istream>
#include <string>
#include <vector>

#include "fleet_page/fleet_page.h"

// The machines that should have a result, so that the page can show the
// ones that never reported. The list is the collector's machines.txt or a
// playbook's INI inventory: one name a line; blanks around a name, empty
// lines, lines starting with '#' or ';', group lines ("[web]"), variables
// ("a=b") and the lines of [x:vars] and [x:children] are passed over; of a
// line "host var=value" only the host counts.
std::vector<std::string> ReadExpected(std::istream& in);

// Applies the list to the grouped machines: each name expected without a
// machine (compared without regard to ASCII case, as the grouping compares)
// becomes a machine of NO RESULT "never reported", whose result is kept in
// `placeholders` (which must outlive the machines); each machine with a
// result but not expected is flagged "not expected". The machines stay in
// name order. An empty list expects nothing and changes nothing.
void ApplyExpected(const std::vector<std::string>& expected,
                   std::deque<MachineResult>* placeholders,
                   std::vector<FleetMachine>* machines);

// The problem a never-reported machine's NO RESULT gives.
extern const char kNeverReported[];

#endif  // KOVEX_FLEET_PAGE_FLEET_EXPECT_H_
