// The audio endpoint removal step over an arbitrary listing: every removal
// names the text before the first colon of a listed line that names the
// maker or its second brand before any glued-on instance ID, and every such
// line is removed.
//
// Input: a flags byte, then the endpoint listing. Flag 1: the listing fails,
// so nothing may be removed. Flag 2: the device console cannot be started.
// Flag 4: devcon takes -u (whole lines, the maker named anywhere counts);
// else it knows no -u and writes bytes.
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
  const std::string listing(reinterpret_cast<const char*>(data) + 1, size - 1);

  ResetFakes();
  const bool listing_fails = (flags & 1) != 0;
  const bool devcon_missing = (flags & 2) != 0;
  const bool unicode = (flags & 4) != 0;
  ScriptListing(L"findall *MMDEVAPI*", listing, unicode);
  if (listing_fails) {
    fake_runner.statuses[CaptureParameters(
        L"findall *MMDEVAPI* > audiodevicelist.txt", unicode)] = 1;
  }
  if (devcon_missing) fake_runner.unlaunchable.insert(L"devcon");

  RemoveAudioDevices();

  std::vector<std::string> expected;
  if (!listing_fails) {
    for (const std::string& line : ListedLines(listing)) {
      const std::string::size_type colon = line.find(':');
      // In bytes, a backslash after the colon begins a glued-on line's
      // instance ID: the names count only before it.
      const std::string own =
          unicode || colon == std::string::npos
              ? line
              : line.substr(0, line.find('\\', colon));
      const bool ours = own.find("Kovex") != std::string::npos ||
                        own.find("QZV") != std::string::npos;
      if (ours && colon != std::string::npos) {
        expected.push_back(" -f remove @" + line.substr(0, colon));
      }
    }
  }
  Require(ParametersOf(L"devcon") == expected,
          "each removal names the text before the first colon of a listed "
          "line naming the maker or its brand, in listing order");
  RequireRemovalReports("Removing audio devices...\n", expected.size(),
                        devcon_missing);
  return 0;
}
