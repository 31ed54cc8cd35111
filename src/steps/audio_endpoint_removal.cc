#include "listing/capture_listing.h"
#include "listing/listing.h"
#include "maker/maker.h"
#include "run/output.h"
#include "steps/listed_device.h"
#include "steps/steps.h"

void RemoveAudioDevices() {
  Print("Removing audio devices...\n");
  if (CaptureListing(kAudioEndpointListing, ">", "audiodevicelist.txt") != 0) {
    return;
  }
  // The listing holds every maker's endpoints: keep the lines that name ours.
  ReadLines("audiodevicelist.txt", [](const std::wstring& line) {
    if (!NamesMakerEndpoint(line)) return;
    RemoveListedDevice(line);
  });
}
