#!/usr/bin/env bash
# The demo: builds the Windows programs and the device console simulator,
# makes a Wine sandbox, seeds a simulated machine with the maker's items among
# other makers', runs the check, the cleanup and the check again, and shows
# what they did.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh >&2

cmake --preset win64 >/dev/null
cmake --build --preset win64 --target kovex-deepclean kovex-deepclean-check devcon >/dev/null

export WINEPREFIX="$PWD/build/demo/wineprefix"
echo "Preparing the Wine sandbox in $WINEPREFIX ..." >&2
mkdir -p "$WINEPREFIX"
tests/e2e/make-prefix.sh
trap 'tests/e2e/make-prefix.sh stop' EXIT

export KOVEX_EXE="$PWD/build/win64/kovex-deepclean.exe"
export KOVEX_CHECK_EXE="$PWD/build/win64/kovex-deepclean-check.exe"
export KOVEX_DEVCON="$PWD/build/win64/sim/devcon.exe"
export KOVEX_WORK="$PWD/build/demo/work"
PYTHONDONTWRITEBYTECODE=1 python3 demo/demo.py
