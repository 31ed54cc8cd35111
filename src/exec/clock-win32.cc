#include "exec/time_limit.h"

#include <windows.h>

// The unbiased interrupt time, which leaves out time the machine spent
// asleep or hibernating: the same time the waits count (WaitForSingleObject
// and its kin leave low-power states out on Windows 8 and later), so that a
// deadline is awake time, as its programs' waits are. The tick count counts
// sleep: after a sleep the deadline would be spent with awake time left.
unsigned long long MonotonicMs() {
  ULONGLONG time = 0;  // in 100 ns
  QueryUnbiasedInterruptTime(&time);
  return time / 10000;
}
