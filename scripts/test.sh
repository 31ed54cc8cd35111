#!/usr/bin/env bash
# Every test: the host build (unit tests, plain and under ASan/UBSan) and the
# Windows build (the Win32 pieces and the whole program under Wine).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

cmake --preset host
cmake --build --preset host
ctest --preset host

cmake --preset win64
cmake --build --preset win64
ctest --preset win64
