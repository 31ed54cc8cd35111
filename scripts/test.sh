#!/usr/bin/env bash
# Every test: the mutant list's check, the fleet kit's checks (its scripts'
# syntax, the playbook's syntax and lint), the host build (unit tests, plain
# and under ASan/UBSan), the Windows build (the Win32 pieces, both programs
# under Wine, the release), static analysis and the clang build (lint.sh),
# and 30 seconds of each fuzzer (fuzz.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
# The mutation run's list still applies to the sources (no build; the run
# itself is python3 scripts/mutate.py).
python3 scripts/mutate.py --check
python3 -m unittest discover -s tests/mutation

bash tests/fleet/check-fleet.sh

cmake --preset host
cmake --build --preset host
ctest --preset host

cmake --preset win64
cmake --build --preset win64
ctest --preset win64

bash scripts/lint.sh
bash scripts/fuzz.sh
