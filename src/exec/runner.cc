#include "exec/runner.h"

#include "output/output.h"

void ReportLaunchFailure(int error_code, const wchar_t* message) {
  Print("\t %s Error Code %d: %S\n", "\t Failed to launch process", error_code,
        message != nullptr ? message : L"");
}
