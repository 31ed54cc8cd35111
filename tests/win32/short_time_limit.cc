// Test-only: the time limits of the cleanup's test-only build, short enough
// for an end-to-end test to wait out: 30 s for each program, and 60 s for
// the run, so that one hung program ends at its own limit and a second one
// at the run's; a device command needs 20 s of the run left to start. The
// release links src/exec/program_time_limit.cc instead. A second test-only
// build sets its own (KOVEX_TEST_RUN_DEADLINE_MS, ...): a run cut by its
// deadline within seconds, for the fleet kit's recorded outputs.
#include "exec/runner.h"

#ifndef KOVEX_TEST_PROGRAM_LIMIT_MS
#define KOVEX_TEST_PROGRAM_LIMIT_MS (30ul * 1000)
#endif
#ifndef KOVEX_TEST_RUN_DEADLINE_MS
#define KOVEX_TEST_RUN_DEADLINE_MS (60ul * 1000)
#endif
#ifndef KOVEX_TEST_DEVICE_COMMAND_FLOOR_MS
#define KOVEX_TEST_DEVICE_COMMAND_FLOOR_MS (20ul * 1000)
#endif

const unsigned long kProgramTimeLimitMs = KOVEX_TEST_PROGRAM_LIMIT_MS;
const unsigned long kRunDeadlineMs = KOVEX_TEST_RUN_DEADLINE_MS;
const unsigned long kDeviceCommandFloorMs = KOVEX_TEST_DEVICE_COMMAND_FLOOR_MS;
