#include <string>
#include <vector>

#include "fleet_page/fleet_run.h"

int main(int argc, char** argv) {
  const std::vector<std::string> arguments(argv + 1, argv + argc);
  return RunFleet(arguments);
}
