// The fleet page's reading of the collector's CSV: any rows, as hostile
// machines and broken transfers write them, after the collector's header.
#include <cstddef>
#include <cstdint>

#include "tests/fuzz/fleet_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  CheckCsvReading(
      "\"machine\",\"status\",\"clean\",\"complete\",\"kind\",\"id\",\"description\","
      "\"awaits_reboot\",\"manual_removal\",\"unchecked\",\"checked_at\"\r\n",
      data, size);
  return 0;
}
