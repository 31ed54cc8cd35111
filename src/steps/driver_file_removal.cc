#include <string>

#include "exec/runner.h"
#include "exec/tools.h"
#include "maker/maker.h"
#include "run/output.h"
#include "steps/steps.h"

void RemoveDriverFiles() {
  Print("Removing driver files...\n");
  // The interpreter finds the Windows directory and matches the wildcards.
  // Neither deletion's status is reported: a missing file is the usual case
  // on a clean machine. The command line ends with a blank.
  for (const wchar_t* pattern : kDriverFilePatterns) {
    RunProgram(CommandInterpreterPath(),
               std::wstring(L" /C del /F %WINDIR%\\") + kDriverDirectory +
                   L"\\" + pattern + L" ");
  }
}
