#ifndef KOVEX_EXEC_MACHINE_IDENTITY_H_
#define KOVEX_EXEC_MACHINE_IDENTITY_H_

#include <string>

// What names a check's result across a fleet: the machine and the time.
// MachineDnsHostName and UtcTimeNow: one implementation per platform, chosen
// at link time.

// The machine's DNS host name as Windows gives it (the name without its
// domain); empty when the system cannot tell.
std::wstring MachineDnsHostName();

// A time of day in UTC, as the system's clock tells it.
struct UtcTime {
  unsigned year = 0;
  unsigned month = 0;
  unsigned day = 0;
  unsigned hour = 0;
  unsigned minute = 0;
  unsigned second = 0;
};

// The time now in UTC.
UtcTime UtcTimeNow();

// ISO 8601 to the second with a 'Z': "2026-12-08T04:11:29Z". Portable.
std::string IsoUtcText(const UtcTime& time);

#endif  // KOVEX_EXEC_MACHINE_IDENTITY_H_
