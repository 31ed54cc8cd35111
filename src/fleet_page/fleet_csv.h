#ifndef KOVEX_FLEET_PAGE_FLEET_CSV_H_
#define KOVEX_FLEET_PAGE_FLEET_CSV_H_

#include <cstddef>
#include <string>
#include <vector>

// The records of a CSV text (UTF-8, after its byte-order mark), RFC 4180 as
// Export-Csv and the portal write it: quoted fields may hold separators,
// doubled quotes and line ends; CR LF and LF end a record. A record that
// cannot be right is reported and the reading goes on at the next line, so
// that one stray quote costs one record, not the rest of the file.
class CsvReader {
 public:
  enum class Result {
    kRecord,  // `fields` holds the record
    kBad,     // the record is skipped; `why` says why
    kEnd,
  };

  // `separator` as SeparatorOf gives it; `row_limit` the longest record read
  // (a longer one is skipped alone).
  CsvReader(const std::string& text, char separator, std::size_t row_limit);

  // The next record. A record is bad when its field count differs from the
  // first record's (the header), a quote is not closed by the end of the
  // text, text follows a closing quote, or it is longer than the limit; the
  // reading then goes on after the line the bad record starts on (after the
  // long record's end, for one that is only long). Empty lines are passed
  // over.
  Result Next(std::vector<std::string>* fields, std::string* why);

  // The line the record last returned starts on, from 1.
  long long line() const { return line_; }

 private:
  // Reads one record from `at_`; false when it is malformed.
  bool Parse(std::vector<std::string>* fields, std::string* why, bool* long_only);
  void SkipLine(std::size_t from);

  const std::string& text_;
  char separator_;
  std::size_t row_limit_;
  std::size_t at_ = 0;
  long long next_line_ = 1;
  long long line_ = 0;
  std::size_t columns_ = 0;  // the header's field count, once read
};

// The separator a header line uses: whichever of ',', ';' and tab occurs
// most often outside quotes in its first line (a comma when none does).
// The portal writes ';' in locales whose decimal mark is the comma.
char SeparatorOf(const std::string& text);

// A cell as the check wrote it for a spreadsheet (csv_rows.h): a leading
// apostrophe before what a spreadsheet takes as a formula is taken off.
std::string FormulaCellText(const std::string& cell);

#endif  // KOVEX_FLEET_PAGE_FLEET_CSV_H_
