#include <string>

#include "run/output.h"

// Standard output, recorded.
std::string printed;

void WriteOutput(const char* bytes, std::size_t size) {
  printed.append(bytes, size);
}
