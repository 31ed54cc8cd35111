// Test-only: the time limit of the cleanup's test-only build, short enough
// for an end-to-end test to wait out. The release links
// src/exec/program_time_limit.cc instead.
#include "exec/runner.h"

const unsigned long kProgramTimeLimitMs = 30ul * 1000;
