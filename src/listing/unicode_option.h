#ifndef KOVEX_LISTING_UNICODE_OPTION_H_
#define KOVEX_LISTING_UNICODE_OPTION_H_

#include <functional>

#include "listing/listing.h"

// The device console tool's status for a command line it does not take: an
// older build answers it to -u, which it does not know.
constexpr int kDevconUsageStatus = 3;

// Whether to ask the device console tool for UTF-16 with -u, for both
// programs alike: with -u while the tool takes it; once it has refused it,
// that command again without -u, and every later one of the run without it
// too, read one byte per character. Whole lines where the tool can give
// them; where it cannot, the lines it can, rather than nothing.
class UnicodeOption {
 public:
  // Runs one command of the tool: `run(true)` with -u, unless the tool has
  // refused it before, and `run(false)` without it. `run` returns whether
  // the tool refused -u this time (the cleanup sees only its status, the
  // check its standard error too). Returns how the output that stands is
  // written.
  ListingEncoding Run(const std::function<bool(bool with_unicode)>& run);

 private:
  bool refused_ = false;
};

#endif  // KOVEX_LISTING_UNICODE_OPTION_H_
