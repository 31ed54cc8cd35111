#include "run/cleanup_run.h"

#include "exec/runner.h"
#include "listing/capture_listing.h"
#include "output/output.h"
#include "steps/steps.h"

void RunCleanup() {
  // The build's date and time, as the compiler fixed them ("Jun 21 2021",
  // "11:52:20"); a build with SOURCE_DATE_EPOCH set takes them from there.
  Print("Deep Clean Kovex Drivers (%s %s)\n", __DATE__, __TIME__);
  StartRunDeadline();
  TakeRunLock();
  StartCaptures();
  RemoveDevices();
  RemoveAudioDevices();
  RemoveDriverPackages();
  RemoveDriverFiles();
  RemoveInstallerRegistry();
  RescanDevices();
  Print("Done.\n");
}
