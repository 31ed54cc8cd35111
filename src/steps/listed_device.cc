#include "steps/listed_device.h"

#include "exec/runner.h"
#include "exec/tools.h"
#include "listing/listing.h"
#include "output/output.h"

void RemoveListedDevice(const std::wstring& line) {
  std::wstring instance_id;
  std::wstring description;
  if (!SplitDeviceLine(line, &instance_id, &description)) return;
  // Run directly, not through the interpreter: instance IDs hold '&'.
  const int status = RunDeviceCommand(kDeviceConsole, L" -f remove @" + instance_id);
  if (status == 0) {
    Print("\t Removed : %S\n", description.c_str());
  } else {
    Print("\t !!! Remove FAILED : %S\n", description.c_str());
  }
}
