#ifndef KOVEX_CHECK_CLEANUP_LOG_H_
#define KOVEX_CHECK_CLEANUP_LOG_H_

#include <cstddef>
#include <string>

#include "listing/listing.h"

// Whether a cleanup ran to its end, decided from its output as the
// deployment engines save it, so that Install.cmd, the Remediations script
// and the playbook all go by one decision (the check's --cleanup-log).
//
// It ran to its end when its last non-empty line is "Done." and no line
// tells of a program not started (the run's deadline spent, or waited out
// for another cleanup), not finished (ended at its own limit or the run's)
// or not launched. Its own exit status is always 0 and tells nothing.
//
// The log is the cleanup's standard output redirected to a file: one byte
// per character, as the cleanup writes it; or UTF-16LE or UTF-8 after a
// byte-order mark, as PowerShell's redirection may write it. Lines end at a
// line feed, a carriage return before it being part of the line end; one
// made of blanks alone counts as empty.
class CleanupLogReader {
 public:
  CleanupLogReader();

  // The log's bytes, in pieces of any size.
  void Feed(const char* bytes, std::size_t size);

  // Ends the log. True when the cleanup ran to its end; else `reason`
  // tells why not, in one line.
  bool RanToItsEnd(std::wstring* reason);

 private:
  void DecideEncoding();
  void Line(const std::wstring& line);

  std::string head_;  // the first bytes, until the encoding is known
  bool encoding_known_ = false;
  ListingReader reader_;
  std::wstring last_line_;  // the last non-empty line, trimmed
  std::wstring first_cut_;  // the reason of the first line telling of a cut
};

// The check's --cleanup-log: reads the log at `path` (UTF-8), prints one
// line and returns 0 when the cleanup ran to its end, 1 when it did not,
// 2 when the log cannot be opened or read. Changes nothing.
int CheckCleanupLog(const std::string& path);

#endif  // KOVEX_CHECK_CLEANUP_LOG_H_
