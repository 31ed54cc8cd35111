#include "exec/runner.h"
#include "exec/tools.h"
#include "run/output.h"
#include "steps/steps.h"

void RemoveDriverFiles() {
  Print("Removing driver files...\n");
  // The interpreter finds the Windows directory. Neither deletion's status is
  // reported: a missing file is the usual case on a clean machine.
  RunProgram(CommandInterpreterPath(),
             L" /C del /F %WINDIR%\\system32\\drivers\\KxDev_*.sys ");
  RunProgram(CommandInterpreterPath(),
             L" /C del /F %WINDIR%\\system32\\drivers\\KxCommon.sys ");
}
