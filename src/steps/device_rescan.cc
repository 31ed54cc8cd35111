#include "exec/runner.h"
#include "exec/tools.h"
#include "output/output.h"
#include "steps/steps.h"

void RescanDevices() {
  Print("Rescannig...\n");
  // Whether the scan worked is not reported; only a launch failure is.
  RunDeviceCommand(kDeviceConsole, L" rescan ");
}
