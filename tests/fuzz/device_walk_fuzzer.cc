// The device removal step over arbitrary listings: every removal names the
// text before the first colon of a listed line, every listed line with a
// colon is removed once per listing that holds it, and each removal reports
// its result on a line of its own.
//
// Input: a flags byte, then the vendor ID listing, a NUL byte and the brand
// name listing (appended to the same file). Flag 1: the first listing fails,
// so nothing may be removed. Flag 2: the device console cannot be started,
// so every removal fails.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "steps/steps.h"
#include "tests/fuzz/fuzz_support.h"
#include "tests/unit/fakes.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  if (size == 0) return 0;
  const std::uint8_t flags = data[0];
  std::string vendor_listing;
  std::string brand_listing;
  SplitAtNul(std::string(reinterpret_cast<const char*>(data) + 1, size - 1),
             &vendor_listing, &brand_listing);

  ResetFakes();
  fake_runner.listings[L"findall *VID_3F7C*"] = vendor_listing;
  fake_runner.listings[L"findall *QZV*"] = brand_listing;
  const bool listing_fails = (flags & 1) != 0;
  const bool devcon_missing = (flags & 2) != 0;
  if (listing_fails) {
    fake_runner.statuses[L" /D /C devcon findall *VID_3F7C* > devicelist.txt"] = 1;
  }
  if (devcon_missing) fake_runner.unlaunchable.insert(L"devcon");

  RemoveDevices();

  std::vector<std::string> expected;
  if (!listing_fails) {
    for (const std::string& line : ListedLines(vendor_listing + brand_listing)) {
      const std::string::size_type colon = line.find(':');
      if (colon != std::string::npos) {
        expected.push_back(" -f remove @" + line.substr(0, colon));
      }
    }
  }
  Require(ParametersOf(kInterpreterPath).size() == 2, "both listings are captured");
  Require(ParametersOf(L"devcon") == expected,
          "each removal names the text before the first colon of a listed "
          "line, in listing order");
  RequireRemovalReports("Removing devices...\n", expected.size(), devcon_missing);
  return 0;
}
