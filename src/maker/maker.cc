#include "maker/maker.h"

#include "listing/listing.h"

bool NamesMakerEndpoint(const std::wstring& line) {
  return Contains(line, L"Kovex") || Contains(line, L"QZV");
}

bool IsMakerEndpointLine(const std::wstring& line, ListingEncoding encoding) {
  return NamesMakerEndpoint(encoding == ListingEncoding::kUtf16
                                ? line
                                : OwnPartOfDeviceLine(line));
}

bool NamesMakerPackage(const std::wstring& line) {
  return Contains(line, L"Kovex Inc") || Contains(line, L"QZV");
}

bool IsInstallerSubkey(const std::wstring& name) {
  return Contains(name, L"Drv") || Contains(name, L"Driver");
}
