// kovex-fleet-names-table FILE: writes the look-alike and script table of
// fleet_names.cc from this machine's ICU (host only).
#include <cstdio>
#include <fstream>

#include "fleet_page/fleet_names_icu.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    (void)std::fprintf(stderr, "Usage: kovex-fleet-names-table src/fleet_page/fleet_names_table.inc\n");
    return 2;
  }
  const std::string table = NamesTableFromIcu();
  std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
  out << table;
  return table.empty() || !out ? 1 : 0;
}
