#include <optional>
#include <string>

#include "listing/capture_listing.h"
#include "listing/listing.h"
#include "maker/maker.h"
#include "output/output.h"
#include "steps/listed_device.h"
#include "steps/steps.h"

void RemoveAudioDevices() {
  Print("Removing audio devices...\n");
  const std::optional<ListingEncoding> listed =
      CaptureListing(kAudioEndpointListing, ">", "audiodevicelist.txt");
  if (!listed) return;
  // The listing holds every maker's endpoints: keep the lines that name ours.
  const ListingEncoding encoding = *listed;
  ReadLines("audiodevicelist.txt", encoding,
            [encoding](const std::wstring& line) {
              if (!IsMakerEndpointLine(line, encoding)) return;
              RemoveListedDevice(line);
            });
}
