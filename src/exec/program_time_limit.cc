#include "exec/runner.h"

const unsigned long kProgramTimeLimitMs = 10ul * 60 * 1000;
