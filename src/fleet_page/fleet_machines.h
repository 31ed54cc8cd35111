#ifndef KOVEX_FLEET_PAGE_FLEET_MACHINES_H_
#define KOVEX_FLEET_PAGE_FLEET_MACHINES_H_

#include "fleet_page/fleet_page.h"

// The grouping of results into machines (GroupByMachine, fleet_page.h) and
// what it believes of their times.

// How far a result's time may be after the page's making and still be
// believed: the machines' clocks and the page's differ by a few minutes.
constexpr long long kClockSkewSeconds = 5 * 60;

// Whether `time` is later than the page made at `made_at` can have seen (a
// clock's skew aside): such a time is flagged and wins over no other, and
// the page's oldest and newest pass it over. False when either is unknown.
bool IsFutureTime(long long time, long long made_at);

// Flags the names of `machines` that show something other than they are,
// mix scripts or look like another machine's: each name where `fresh` is
// true, and each look-alike pair of which one is fresh (the machines added
// from a list of expected ones are compared with those already flagged).
void FlagNames(const std::vector<bool>& fresh, std::vector<FleetMachine>* machines);

#endif  // KOVEX_FLEET_PAGE_FLEET_MACHINES_H_
