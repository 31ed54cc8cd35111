#!/usr/bin/env bash
# The demo: builds the Windows programs and the device console simulator,
# makes a Wine sandbox, seeds a simulated machine with the maker's items among
# other makers', runs the check, the cleanup and the check again, and shows
# what they did; then makes the fleet page of that machine among a few
# others and says where it is.
#
# It installs only what it needs (scripts/setup.sh), and on a fresh machine
# builds while Wine is being installed and while the sandbox is made: the
# cross build's packages first, the programs in the background, then Wine.
# The programs are built by the demo preset, into build/demo/win64: the win64
# build without its tests and at -O1, which takes a fifth less time than -O3
# and makes no difference to programs that wait on devcon; the release and
# the Windows tests build them at -O3.
set -euo pipefail
cd "$(dirname "$0")/.."
mkdir -p build/demo
log=build/demo/build.log

bash scripts/setup.sh windows-build >&2
ready=build/demo/programs-built
rm -f "$ready"
build() {
  cmake --preset demo >"$log" 2>&1 &&
    cmake --build --preset demo --target kovex-deepclean kovex-deepclean-check devcon >>"$log" 2>&1 &&
    touch "$ready" &&
    cmake --build --preset demo --target kovex-deepclean-fleet >>"$log" 2>&1
}
# In a process group of its own (set -m), so that an early end stops it
# whole. The page's program is built last: the demo needs it only at its end.
set -m
build &
building=$!
set +m
stop() {
  kill -- -"$building" 2>/dev/null || true
  [ ! -d "${WINEPREFIX:-}" ] || tests/e2e/make-prefix.sh stop
}
trap stop EXIT
finish_build() {
  if ! wait "$building"; then
    cat "$log" >&2
    echo "demo.sh: the build failed (above, and in $log)" >&2
    exit 1
  fi
}
bash scripts/setup.sh demo >&2

export WINEPREFIX="$PWD/build/demo/wineprefix"
echo "Preparing the Wine sandbox in $WINEPREFIX ..." >&2
mkdir -p "$WINEPREFIX"
tests/e2e/make-prefix.sh

export KOVEX_EXE="$PWD/build/demo/win64/kovex-deepclean.exe"
export KOVEX_CHECK_EXE="$PWD/build/demo/win64/kovex-deepclean-check.exe"
export KOVEX_DEVCON="$PWD/build/demo/win64/sim/devcon.exe"
export KOVEX_FLEET_EXE="$PWD/build/demo/win64/kovex-deepclean-fleet.exe"
export KOVEX_WORK="$PWD/build/demo/work"
export PYTHONDONTWRITEBYTECODE=1
echo "Building the Windows programs (log: $log) ..." >&2
until [ -f "$ready" ] || ! kill -0 "$building" 2>/dev/null; do sleep 0.2; done
[ -f "$ready" ] || finish_build
python3 demo/demo.py
finish_build
python3 demo/demo.py page
