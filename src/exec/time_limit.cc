#include "exec/time_limit.h"

std::wstring TimeLimitText(unsigned long time_limit_ms) {
  if (time_limit_ms % 1000 == 0) {
    return std::to_wstring(time_limit_ms / 1000) + L" s";
  }
  return std::to_wstring(time_limit_ms) + L" ms";
}
