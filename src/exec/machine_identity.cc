#include "exec/machine_identity.h"

#include <cstdio>

std::string IsoUtcText(const UtcTime& time) {
  char text[32];
  static_cast<void>(std::snprintf(text, sizeof text, "%04u-%02u-%02uT%02u:%02u:%02uZ",
                                  time.year, time.month, time.day, time.hour,
                                  time.minute, time.second));
  return text;
}
