#include <optional>
#include <string>

#include "listing/capture_listing.h"
#include "listing/listing.h"
#include "maker/maker.h"
#include "output/output.h"
#include "steps/listed_device.h"
#include "steps/steps.h"

void RemoveDevices() {
  Print("Removing devices...\n");
  // Both listings go into one file: the maker's USB vendor ID, then its
  // second brand name appended. The second runs whatever the first did; the
  // file is read only when the first made it.
  // The second is written as the first is: with -u unless the tool refused
  // it, and then, every later capture goes without.
  const std::optional<ListingEncoding> listed =
      CaptureListing(kVendorDeviceListing, ">", "devicelist.txt");
  CaptureListing(kBrandDeviceListing, ">>", "devicelist.txt");
  if (!listed) return;
  // Every device line of either listing is the maker's: no content filter.
  ReadLines("devicelist.txt", *listed, RemoveListedDevice);
}
