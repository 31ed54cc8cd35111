#ifndef KOVEX_FLEET_PAGE_FLEET_NAMES_ICU_H_
#define KOVEX_FLEET_PAGE_FLEET_NAMES_ICU_H_

#include <string>

// The text of fleet_names_table.inc from the ICU on this machine (its
// spoof checker's UTS #39 confusables and its script property): the host
// build's check that the committed table is ICU's, and the program that
// writes it again after an ICU update (kovex-fleet-names-table). Host only:
// the Windows builds read the committed table and need no ICU.
std::string NamesTableFromIcu();

#endif  // KOVEX_FLEET_PAGE_FLEET_NAMES_ICU_H_
