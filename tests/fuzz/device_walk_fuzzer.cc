// The device removal step over arbitrary listings: every removal names the
// text before the first colon of a listed line, every listed line with a
// colon is removed once per listing that holds it, and each removal reports
// its result on a line of its own.
//
// Input: a flags byte, then the vendor ID listing, a NUL byte and the brand
// name listing (appended to the same file). Flag 1: the first listing fails,
// so nothing may be removed. Flag 2: the device console cannot be started,
// so every removal fails. Flag 4: devcon takes -u; else it knows no -u and
// writes bytes.
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
  const bool listing_fails = (flags & 1) != 0;
  const bool devcon_missing = (flags & 2) != 0;
  const bool unicode = (flags & 4) != 0;
  ScriptListing(L"findall *VID_3F7C*", vendor_listing, unicode);
  ScriptListing(L"findall *QZV*", brand_listing, unicode);
  if (listing_fails) {
    fake_runner.statuses[CaptureParameters(
        L"findall *VID_3F7C* > devicelist.txt", unicode)] = 1;
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
  // A devcon without -u refuses it at the first capture, which runs again.
  Require(ParametersOf(kInterpreterPath).size() == (unicode ? 2u : 3u),
          "both listings are captured, the first again without -u where "
          "devcon refused it");
  Require(ParametersOf(L"devcon") == expected,
          "each removal names the text before the first colon of a listed "
          "line, in listing order");
  RequireRemovalReports("Removing devices...\n", expected.size(), devcon_missing);
  return 0;
}
