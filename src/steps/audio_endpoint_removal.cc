#include "listing/listing.h"
#include "run/output.h"
#include "steps/listed_device.h"
#include "steps/steps.h"

void RemoveAudioDevices() {
  Print("Removing audio devices...\n");
  if (CaptureListing(L" /C devcon findall *MMDEVAPI* > audiodevicelist.txt") !=
      0) {
    return;
  }
  // The listing holds every maker's endpoints: keep the lines that name ours.
  ReadLines("audiodevicelist.txt", [](const std::wstring& line) {
    if (!Contains(line, L"Kovex") && !Contains(line, L"QZV")) return;
    RemoveListedDevice(line);
  });
}
