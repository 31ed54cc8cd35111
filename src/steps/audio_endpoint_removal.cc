#include "listing/capture_listing.h"
#include "listing/listing.h"
#include "maker/maker.h"
#include "run/output.h"
#include "steps/listed_device.h"
#include "steps/steps.h"

void RemoveAudioDevices() {
  Print("Removing audio devices...\n");
  if (!CaptureListing(kAudioEndpointListing, ">", "audiodevicelist.txt")) {
    return;
  }
  // The listing holds every maker's endpoints: keep the lines that name ours.
  // Where another endpoint's line was glued on, only the first endpoint's
  // own part counts; the glued-on endpoint is left for the check to report.
  ReadLines("audiodevicelist.txt", [](const std::wstring& line) {
    if (!NamesMakerEndpoint(OwnPartOfDeviceLine(line))) return;
    RemoveListedDevice(line);
  });
}
