#ifndef KOVEX_FLEET_PAGE_FLEET_TIME_H_
#define KOVEX_FLEET_PAGE_FLEET_TIME_H_

#include <limits>
#include <string>
#include <vector>

// The times the fleet's results carry, read strictly: a text that names no
// real time (the 31st of February, 25:61) is no time, never a neighbouring
// one, so that the page shows it as the text it was and ranks it as
// unknown. Times are seconds since 1970 in UTC, from 1601 (Windows' own
// first year) to 9999; earlier years ("0001-01-01", .NET's empty date) are
// no time.

// No time: below every real one, so that no real time, however early,
// is taken for it.
constexpr long long kUnknownTime = std::numeric_limits<long long>::min();

// An ISO 8601 time ("2026-12-08T04:11:29Z", fractions of a second and an
// offset like "+02:00" allowed, a missing zone read as UTC).
long long ParseIsoTime(const std::string& text);

// The order of day and month in an export's slashed dates ("12/8/2026"):
// the portal writes its user's locale, month first (en-US) or day first
// (en-GB, fr-FR, ...), with or without AM and PM either way. A file holds
// one locale, so the order is decided once from all its times.
enum class DateOrder { kUndecided, kMonthFirst, kDayFirst, kMixed };

// The order `times` show: a first part over 12 is a day, a second part over
// 12 is a day; kUndecided when no slashed date decides it (or none is
// slashed), kMixed when two decide it both ways.
DateOrder DateOrderOf(const std::vector<std::string>& times);

// A time as the Remediations export writes it: ISO 8601 as above; year
// first "2026/12/08 4:11:29" or "2026-12-08 4:11:29"; "8.12.2026 16:11:29"
// and "8-12-2026 16:11" (day first); or slashed "12/8/2026 4:11:29 AM" in
// `order`; seconds optional, a 12-hour clock's AM or PM allowed, read as
// UTC. A slashed date in an order kUndecided or kMixed is no time:
// reading it one way would be a guess.
long long ParseExportTime(const std::string& text, DateOrder order);

// Whether `text` is a slashed date whose order DateOrderOf decides.
bool IsSlashedDate(const std::string& text);

// Seconds since 1970 as "2026-12-08T04:11:29Z".
std::string FormatIsoTime(long long seconds);

#endif  // KOVEX_FLEET_PAGE_FLEET_TIME_H_
