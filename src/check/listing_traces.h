#ifndef KOVEX_CHECK_LISTING_TRACES_H_
#define KOVEX_CHECK_LISTING_TRACES_H_

#include <string>

#include "check/findings.h"

// The check's reading of the device console tool's listings, by their
// structure: every item that the cleanup targets is found, including those
// its line walks pass over, which get the command that removes them by hand.

// A `findall` listing of the maker's devices: every listed instance, with a
// description ("<instance ID padded with blanks>: <description>") or
// without (the instance ID alone), counts once across all the listings
// added. The closing count lines are no devices.
void AddDeviceTraces(const std::string& listing, Findings* findings);

// A `findall` listing of every audio endpoint: the instances whose line
// names the maker or its second brand, unless already found as a device.
void AddEndpointTraces(const std::string& listing, Findings* findings);

// A `/dp_enum` listing: each package (its published name at the start of a
// line, then its indented description lines) one of whose description lines
// names the maker as provider or carries the second brand.
void AddPackageTraces(const std::string& listing, Findings* findings);

#endif  // KOVEX_CHECK_LISTING_TRACES_H_
