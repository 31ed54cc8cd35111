#include <string>

#include "exec/runner.h"
#include "exec/tools.h"
#include "maker/maker.h"
#include "output/output.h"
#include "steps/steps.h"

void RemoveDriverFiles() {
  Print("Removing driver files...\n");
  // The interpreter finds the Windows directory and matches the wildcards.
  // Neither deletion's status is reported: a missing file is the usual case
  // on a clean machine. The command line ends with a blank. /D keeps the
  // registry's AutoRun commands out. Without /A, `del` passes over hidden
  // and system files; the check names them with the command that removes
  // them. A deletion touches no device, so it runs even once the run's
  // deadline has passed: the driver files go whatever devcon did.
  for (const wchar_t* pattern : kDriverFilePatterns) {
    RunProgramEvenPastDeadline(CommandInterpreterPath(),
               std::wstring(L" /D /C del /F %WINDIR%\\") + kDriverDirectory +
                   L"\\" + pattern + L" ");
  }
}
