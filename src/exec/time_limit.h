#ifndef KOVEX_EXEC_TIME_LIMIT_H_
#define KOVEX_EXEC_TIME_LIMIT_H_

#include <string>

// A time limit as both programs name it in their lines: "120 s", or "300 ms"
// for a limit of no whole seconds (only tests give such limits).
std::wstring TimeLimitText(unsigned long time_limit_ms);

// A deadline: a time from when it was started, for both programs' runs.
struct Deadline {
  bool started = false;
  unsigned long long end_ms = 0;      // on the MonotonicMs clock
  unsigned long total_ms = 0;         // as named in the lines
};

// A deadline of `total_ms` from now.
Deadline DeadlineFromNow(unsigned long total_ms);

// The limit a program gets under `deadline`: its own `time_limit_ms`, or
// the time left when that is less (0 once the deadline has passed).
// `by_deadline` tells which; an unstarted deadline cuts nothing.
unsigned long LimitUnder(const Deadline& deadline, unsigned long time_limit_ms,
                         bool* by_deadline);

// Milliseconds from some fixed point, never going back. One implementation
// per platform, chosen at link time: the system's tick count, and a fake
// clock that the host's tests move.
unsigned long long MonotonicMs();

#endif  // KOVEX_EXEC_TIME_LIMIT_H_
