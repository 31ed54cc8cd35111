#include <optional>
#include <string>

#include "exec/runner.h"
#include "exec/tools.h"
#include "listing/capture_listing.h"
#include "listing/listing.h"
#include "maker/maker.h"
#include "output/output.h"
#include "steps/steps.h"

// The package listing names each package on a line of its own (holding
// ".inf") and describes it on the lines below, one of which names its
// provider. The walk keeps the last package line as the pending name; the
// first provider line of the maker's after it deletes that package. A line
// holding ".inf" is a package line even when it also names the provider.
void RemoveDriverPackages() {
  Print("Scanning installed drivers...\n");
  const std::optional<ListingEncoding> listed =
      CaptureListing(kDriverPackageListing, ">", "driverlist.txt");
  if (!listed) return;
  Print("Cleanning up driver packages...\n");

  std::wstring pending_name;
  ReadLines("driverlist.txt", *listed, [&pending_name](const std::wstring& line) {
    if (Contains(line, L".inf")) {
      pending_name = line;
      return;
    }
    if (!NamesMakerPackage(line)) return;
    if (pending_name.empty()) {
      Print("\t Error parsing driverlist... \n");
      return;
    }
    const int status =
        RunDeviceCommand(kDeviceConsole, L" -f /dp_delete " + pending_name);
    if (status == 0) {
      Print("\t Kovex INF: %S - Removed\n", pending_name.c_str());
    } else {
      Print("\t Kovex INF: %S - Remove FAILED!!!\n", pending_name.c_str());
    }
    pending_name.clear();
  });
}
