#include "listing/unicode_option.h"

ListingEncoding UnicodeOption::Run(
    const std::function<bool(bool with_unicode)>& run) {
  if (!refused_) {
    if (!run(true)) return ListingEncoding::kUtf16;
    refused_ = true;
  }
  run(false);
  return ListingEncoding::kBytes;
}
