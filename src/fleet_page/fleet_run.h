#ifndef KOVEX_FLEET_PAGE_FLEET_RUN_H_
#define KOVEX_FLEET_PAGE_FLEET_RUN_H_

#include <string>
#include <vector>

// kovex-deepclean-fleet [--out FILE] PATH...  (the arguments in UTF-8)
//
// Reads every PATH (a folder of check documents, a document, a collector's
// CSV or a Remediations export), writes the fleet page to FILE
// (kovex-fleet.html in the working directory by default), prints the
// summary line and returns 0. Each input it cannot read is a NO RESULT on
// the page and a line on standard error. A bad command line, no PATH, no
// result in any PATH or a page that cannot be written: a message on
// standard error and 2.
int RunFleet(const std::vector<std::string>& arguments);

#endif  // KOVEX_FLEET_PAGE_FLEET_RUN_H_
