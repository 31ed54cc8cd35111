#include <string>

#include "run/output.h"

// Standard output, recorded.
std::string printed;

void WriteOutput(const char* bytes, std::size_t size) {
  printed.append(bytes, size);
}

// Standard error, recorded.
std::string printed_errors;

void WriteErrorOutput(const char* bytes, std::size_t size) {
  printed_errors.append(bytes, size);
}
