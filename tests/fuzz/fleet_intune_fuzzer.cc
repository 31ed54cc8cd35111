// The fleet page's reading of a Remediations export: any rows after the
// export's header, the detection lines before and after the remediation as
// any device could write them.
#include <cstddef>
#include <cstdint>

#include "tests/fuzz/fleet_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  CheckCsvReading(
      "Device name,Pre-remediation detection output,Post-remediation detection output,"
      "Remediation status,Remediation script error,Last run\n",
      data, size);
  return 0;
}
