#include <string>
#include <vector>

#include "check/check_run.h"

int main(int argc, char** argv) {
  const std::vector<std::string> arguments(argv + 1, argv + argc);
  return RunCheck(arguments);
}
