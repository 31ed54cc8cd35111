#!/bin/sh
# Makes (or refreshes) the Wine prefix named by WINEPREFIX that the Windows
# tests share, and leaves its Wine server and services running for a minute
# after their last client. Each later Wine start then takes a tenth of a
# second instead of seconds: a fresh start brings up services that keep the
# caller's output open until the server winds down.
#
# It also keeps the desktop up for two hours at most. A console program
# started without a console (each cmd.exe and devcon the cleanup starts)
# gets a console host, which brings up the desktop (explorer.exe /desktop)
# when none is running, waits up to 10 s for it, and hands it the program's
# error output. On a loaded machine that desktop outlives the run by up to
# 30 s, or, when its console host is ended while starting it, never gets
# going and never ends. A desktop kept up from here, by a program that
# waits on its input, spares every test's run that start and wait, and
# holds no test's output (ctest reads win32_tests' to its end).
# `make-prefix.sh stop` ends them all.
set -e
here=$(dirname "$0")
run="$here/../../cmake/wine-run.sh"
server=/usr/lib/wine/wineserver
[ -x "$server" ] || server=$(command -v wineserver)
keeper="$WINEPREFIX/desktop-keeper.pid"

# The keeper's input ends, and with it the keeper, when its sleep does.
if [ -f "$keeper" ]; then
  kill "$(cat "$keeper")" 2>/dev/null || true
  rm -f "$keeper"
fi
# -k only asks the server to end; a server started before the old one has
# gone finds it still running and refuses, so wait for it (-w).
"$server" -k 2>/dev/null || true
"$server" -w 2>/dev/null || true
[ "$1" = stop ] && exit 0
mkdir -p "$WINEPREFIX"
"$server" -p60 </dev/null >/dev/null 2>&1
"$run" wineboot -i >/dev/null 2>&1 </dev/null
# The inner cmd.exe is a console program started without a console: its
# console host brings up the desktop. Nothing here keeps the caller's
# output open (ctest waits for it).
(sleep 7200 & echo $! >"$keeper"; wait) </dev/null 2>/dev/null |
  "$run" cmd /c "cmd /c set /p line=" >/dev/null 2>&1 &
