#ifndef KOVEX_FLEET_PAGE_FLEET_TIME_H_
#define KOVEX_FLEET_PAGE_FLEET_TIME_H_

#include <string>

// The times the fleet's results carry, read strictly: a text that names no
// real time (the 31st of February, 25:61) is no time, never a neighbouring
// one, so that the page shows it as the text it was and ranks it as
// unknown. Times are seconds since 1970 in UTC.

// No time.
constexpr long long kUnknownTime = -1;

// An ISO 8601 time ("2026-12-08T04:11:29Z", fractions of a second and an
// offset like "+02:00" allowed, a missing zone read as UTC).
long long ParseIsoTime(const std::string& text);

// A time as the Remediations export writes it: ISO 8601 as above, or the
// portal's locale forms "12/8/2026 4:11:29 AM" (month first, as a 12-hour
// clock writes it), "31/12/2026 16:11:29" or "8.12.2026 16:11:29" (day
// first), seconds optional, read as UTC. A slashed date without AM or PM
// whose day and month could be either way round (both 12 or less) is no
// time: reading it one way would be a guess.
long long ParseExportTime(const std::string& text);

// Seconds since 1970 as "2026-12-08T04:11:29Z".
std::string FormatIsoTime(long long seconds);

#endif  // KOVEX_FLEET_PAGE_FLEET_TIME_H_
