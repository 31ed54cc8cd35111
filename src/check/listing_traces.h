#ifndef KOVEX_CHECK_LISTING_TRACES_H_
#define KOVEX_CHECK_LISTING_TRACES_H_

#include <cstddef>
#include <string>
#include <vector>

#include "check/findings.h"
#include "listing/listing.h"

// The check's reading of the device console tool's listings, by their
// structure: every item that the cleanup targets is found, including those
// its line walks pass over, which get the command that removes them by hand.

// A listing's lines, without their line ends (a carriage return right
// before a line feed is part of it); a last line without a line feed counts
// unless it is empty.
struct ListingText {
  std::vector<std::wstring> lines;
  // True when read from the tool's UTF-16 output (its `-u`), every
  // character as it stands; false when each byte became the wide character
  // of the same value, as the cleanup reads its listing files.
  bool unicode = false;
};

// The tool's whole output, read as ListingReader reads it.
ListingText ListingFromOutput(const std::string& bytes, ListingEncoding encoding);

// Why a device listing (`findall` or `status`) that named `listed`
// instances cannot be taken at its word: its last line is not a count line
// ("devcon's listing did not end with its count line"), or the count
// disagrees ("devcon reported N devices and listed M"). Empty when it
// agrees.
std::wstring CountDisagreement(const ListingText& listing, std::size_t listed);

// The instances a `findall` listing names, one per line: "<instance ID
// padded with blanks>: <description>", or the instance ID alone. An
// instance ID holds no blank, which tells it from the count line.
std::size_t ListedInstanceCount(const ListingText& listing);

// A `findall` listing of the maker's devices: every listed instance, with a
// description or without, counts once across all the listings added.
void AddDeviceTraces(const ListingText& listing, Findings* findings);

// A `findall` listing of every audio endpoint: the instances whose line
// names the maker or its second brand as the cleanup tells it
// (IsMakerEndpointLine), unless already found as a device.
void AddEndpointTraces(const ListingText& listing, Findings* findings);

// A `/dp_enum` listing: each package (its published name at the start of a
// line, then its indented description lines) one of whose description lines
// names the maker as provider or carries the second brand. In the tool's
// byte output a line cut at a character it could not write takes the next
// one in, and a provider line may then stand under another's package: a
// description line holding ".inf" (a package name glued on) or a package
// with two "Provider:" lines shows it. Such a listing gives no trace and no
// command to delete a package: driver packages are unchecked, and why.
void AddPackageTraces(const ListingText& listing, Findings* findings);

// One present device as `status` shows it: its instance ID alone on a line,
// then, indented, "Name: <description>" when it has one and its state.
struct PresentDevice {
  std::wstring id;
  std::wstring description;
  // The state lines, trimmed and joined by a blank.
  std::wstring state;
  // Its problem code, -1 for none.
  long problem = -1;
  // False when the tool could not read its state, or gave none.
  bool state_known = false;
};

// Every device a `status` listing shows, in its order.
std::vector<PresentDevice> ReadStatusListing(const ListingText& listing);

// Sorts out the traces of `kind` by what `status` showed present:
// - one not shown is no longer present: a trace, as found;
// - one with problem code 21 is being removed, which waits for a reboot: a
//   trace marked so;
// - one whose state could not be read stays a trace: it may be either;
// - every other one is plugged in now: it moves to the attached devices.
void ApplyPresence(TraceKind kind, const std::vector<PresentDevice>& present,
                   Findings* findings);

#endif  // KOVEX_CHECK_LISTING_TRACES_H_
