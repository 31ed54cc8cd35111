// Test-only: the time limits of the cleanup's test-only build, short enough
// for an end-to-end test to wait out: 30 s for each program, and 60 s for
// the run, so that one hung program ends at its own limit and a second one
// at the run's; a device command needs 20 s of the run left to start. The
// release links src/exec/program_time_limit.cc instead.
#include "exec/runner.h"

const unsigned long kProgramTimeLimitMs = 30ul * 1000;
const unsigned long kRunDeadlineMs = 60ul * 1000;
const unsigned long kDeviceCommandFloorMs = 20ul * 1000;
