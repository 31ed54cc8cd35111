#ifndef KOVEX_EXEC_TIME_LIMIT_H_
#define KOVEX_EXEC_TIME_LIMIT_H_

#include <string>

// A time limit as both programs name it in their lines: "120 s", or "300 ms"
// for a limit of no whole seconds (only tests give such limits).
std::wstring TimeLimitText(unsigned long time_limit_ms);

#endif  // KOVEX_EXEC_TIME_LIMIT_H_
