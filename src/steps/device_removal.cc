#include "listing/capture_listing.h"
#include "listing/listing.h"
#include "maker/maker.h"
#include "run/output.h"
#include "steps/listed_device.h"
#include "steps/steps.h"

void RemoveDevices() {
  Print("Removing devices...\n");
  // Both listings go into one file: the maker's USB vendor ID, then its
  // second brand name appended. The second runs whatever the first did; the
  // file is read only when the first made it.
  const bool listed =
      CaptureListing(kVendorDeviceListing, ">", "devicelist.txt");
  CaptureListing(kBrandDeviceListing, ">>", "devicelist.txt");
  if (!listed) return;
  // Every device line of either listing is the maker's: no content filter.
  ReadLines("devicelist.txt", RemoveListedDevice);
}
