#ifndef KOVEX_EXEC_MACHINE_IDENTITY_H_
#define KOVEX_EXEC_MACHINE_IDENTITY_H_

#include <string>

// What names a check's result across a fleet: the machine and the time.
// One implementation per platform, chosen at link time.

// The machine's DNS host name as Windows gives it (the name without its
// domain); empty when the system cannot tell.
std::wstring MachineDnsHostName();

// The time now in UTC, ISO 8601 to the second with a 'Z':
// "2026-12-08T04:11:29Z".
std::string UtcTimeNow();

#endif  // KOVEX_EXEC_MACHINE_IDENTITY_H_
