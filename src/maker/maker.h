#ifndef KOVEX_MAKER_MAKER_H_
#define KOVEX_MAKER_MAKER_H_

#include <string>

#include "listing/listing.h"

// What belongs to the maker, and how each item is recognised. The cleanup
// removes by these definitions and the check looks for traces by the very
// same ones, so that what one removes and the other reports cannot drift
// apart. Every test is exact and case-sensitive, as the cleanup has always
// matched.

// The device console listings, as the parameters that follow `devcon`:
// the maker's USB vendor ID, its second brand name, every audio endpoint,
// and the driver store's third-party packages.
constexpr const wchar_t* kVendorDeviceListing = L"findall *VID_3F7C*";
constexpr const wchar_t* kBrandDeviceListing = L"findall *QZV*";
constexpr const wchar_t* kAudioEndpointListing = L"findall *MMDEVAPI*";
constexpr const wchar_t* kDriverPackageListing = L"/dp_enum";

// Kernel driver files, as wildcard patterns in the system's own matching,
// in the driver directory below the Windows directory.
constexpr const wchar_t* kDriverDirectory = L"system32\\drivers";
constexpr const wchar_t* kDriverFilePatterns[] = {L"KxDev_*.sys",
                                                  L"KxCommon.sys"};

// The maker's software key below HKEY_LOCAL_MACHINE, in the 32-bit view of
// the registry, where its 32-bit driver installers write.
constexpr const wchar_t* kMakerKeyPath = L"Software\\Kovex";

// An audio endpoint listing line (instance ID and description) that names
// the maker ("Kovex") or its second brand ("QZV"). The listing holds every
// maker's endpoints.
bool NamesMakerEndpoint(const std::wstring& line);

// An audio endpoint listing line that the cleanup removes, as the tool
// wrote it: a whole line (UTF-16) when it names the maker anywhere; a line
// in bytes only by its own part (OwnPartOfDeviceLine), since a name glued
// on after a cut is another endpoint's, often another maker's.
bool IsMakerEndpointLine(const std::wstring& line, ListingEncoding encoding);

// A line of a driver package's description that names the maker as its
// provider ("Kovex Inc", the company suffix included) or carries the second
// brand ("QZV").
bool NamesMakerPackage(const std::wstring& line);

// A subkey of the maker's key that a driver installer wrote: its name holds
// "Drv" or "Driver".
bool IsInstallerSubkey(const std::wstring& name);

#endif  // KOVEX_MAKER_MAKER_H_
