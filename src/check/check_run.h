#ifndef KOVEX_CHECK_CHECK_RUN_H_
#define KOVEX_CHECK_CHECK_RUN_H_

#include <string>
#include <vector>

// The check program: reads its options (`--json`, `--reboot-code`,
// `--remediation`, `--csv`, `--cleanup-log FILE`, `--help`), looks at the
// machine (or, with `--cleanup-log`, at a cleanup's log alone: see
// CheckCleanupLog), prints the
// report, the JSON document, the detection line or the collector's rows,
// and returns the exit status: 0 clean, 1 traces found, 2 nothing found but
// some check could not run, 3 a bad command line (with the usage on
// standard error). `--reboot-code` returns
// 3010 or 0 instead, and `--remediation` RemediationStatus: the engines act
// on those codes, and every such decision is made here, not in their
// scripts. The arguments are in UTF-8.
int RunCheck(const std::vector<std::string>& arguments);

#endif  // KOVEX_CHECK_CHECK_RUN_H_
