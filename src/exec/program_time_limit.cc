#include "exec/runner.h"

const unsigned long kProgramTimeLimitMs = 10ul * 60 * 1000;
const unsigned long kRunDeadlineMs = 25ul * 60 * 1000;
const unsigned long kDeviceCommandFloorMs = 60ul * 1000;
