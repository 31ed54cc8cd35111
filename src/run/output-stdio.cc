#include <cstdio>

#include "run/output.h"

// Standard output keeps its normal buffering; the C runtime flushes it when
// the process ends.
void WriteOutput(const char* bytes, std::size_t size) {
  // A failed write to standard output has no one to report to.
  static_cast<void>(std::fwrite(bytes, 1, size, stdout));
}

void WriteErrorOutput(const char* bytes, std::size_t size) {
  static_cast<void>(std::fwrite(bytes, 1, size, stderr));
}
