#ifndef KOVEX_CHECK_MACHINE_CHECK_H_
#define KOVEX_CHECK_MACHINE_CHECK_H_

#include "check/findings.h"

// Looks, without changing anything, for every trace of the maker's drivers
// that the cleanup targets, in the cleanup's order: devices, audio
// endpoints, driver packages (through four device console listings, read
// through a pipe), driver files, installer registry subkeys. A check that
// cannot run is recorded with its reason and the others still run.
Findings CheckMachine();

#endif  // KOVEX_CHECK_MACHINE_CHECK_H_
