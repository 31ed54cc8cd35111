#include "exec/time_limit.h"

std::wstring TimeLimitText(unsigned long time_limit_ms) {
  if (time_limit_ms % 1000 == 0) {
    return std::to_wstring(time_limit_ms / 1000) + L" s";
  }
  return std::to_wstring(time_limit_ms) + L" ms";
}

Deadline DeadlineFromNow(unsigned long total_ms) {
  Deadline deadline;
  deadline.started = true;
  deadline.end_ms = MonotonicMs() + total_ms;
  deadline.total_ms = total_ms;
  return deadline;
}

unsigned long LimitUnder(const Deadline& deadline, unsigned long time_limit_ms,
                         bool* by_deadline) {
  *by_deadline = false;
  if (!deadline.started) return time_limit_ms;
  const unsigned long long now = MonotonicMs();
  const unsigned long long left = now < deadline.end_ms ? deadline.end_ms - now : 0;
  if (left >= time_limit_ms) return time_limit_ms;
  *by_deadline = true;
  return static_cast<unsigned long>(left);
}
