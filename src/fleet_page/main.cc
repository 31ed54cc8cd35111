#include "fleet_page/arguments.h"
#include "fleet_page/fleet_run.h"

int main(int argc, char** argv) { return RunFleet(ProgramArguments(argc, argv)); }
