#include "exec/time_limit.h"

#include <windows.h>

unsigned long long MonotonicMs() { return GetTickCount64(); }
