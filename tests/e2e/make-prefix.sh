#!/bin/sh
# Makes (or refreshes) the Wine prefix named by WINEPREFIX that the Windows
# tests share, and leaves its Wine server and services running for a minute
# after their last client. Each later Wine start then takes a tenth of a
# second instead of seconds: a fresh start brings up services that keep the
# caller's output open until the server winds down.
# `make-prefix.sh stop` ends them.
set -e
here=$(dirname "$0")
run="$here/../../cmake/wine-run.sh"
server=/usr/lib/wine/wineserver
[ -x "$server" ] || server=$(command -v wineserver)

"$server" -k 2>/dev/null || true
[ "$1" = stop ] && exit 0
mkdir -p "$WINEPREFIX"
"$server" -p60 </dev/null >/dev/null 2>&1
"$run" wineboot -i >/dev/null 2>&1 </dev/null
