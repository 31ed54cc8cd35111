#!/bin/sh
# Makes (or refreshes) the Wine prefix that the Windows tests share, and waits
# until Wine has finished setting it up.
set -e
here=$(dirname "$0")
run="$here/../../cmake/wine-run.sh"
"$run" wineboot -i >/dev/null 2>&1
server=/usr/lib/wine/wineserver
[ -x "$server" ] || server=$(command -v wineserver)
"$server" -w
