#ifndef KOVEX_CHECK_CSV_ROWS_H_
#define KOVEX_CHECK_CSV_ROWS_H_

#include <string>

#include "check/findings.h"

// The columns of the fleet collector's CSV file, as its first line. The
// collector writes this line once and adds rows of its own for machines
// where the check could not run; tests/fleet compares its columns with
// these.
extern const char kCsvHeader[];

// This machine's rows of the collector's CSV file, after kCsvHeader: one
// row per trace, or a single row with kind, id and description empty when
// there is none, so that every machine that answered has a row. `status` is
// the check's own exit status; `machine` the machine's name. Fields are
// written as PowerShell's Export-Csv writes them (each in double quotes, a
// quote doubled, booleans as True and False), the text in UTF-8 as the JSON
// document holds it, so that the rows of the collector and of the check
// read alike; a cell a spreadsheet would take as a formula has an
// apostrophe before it, which the fleet page takes off again. Each row
// carries the check's time (checked_at, as the JSON document's). Each line ends with "\n", which Windows' text-mode standard
// output writes as CR LF, Export-Csv's line end there.
std::string CsvRows(const Findings& findings, int status,
                    const std::wstring& machine);

#endif  // KOVEX_CHECK_CSV_ROWS_H_
