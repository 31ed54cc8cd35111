#!/bin/sh
# Runs a Windows program under Wine in the build tree's private prefix.
# WINEPREFIX may be set by the caller; the default sits in the working
# directory's build tree (ctest runs tests from the build directory).
: "${WINEPREFIX:=$PWD/wineprefix}"
export WINEPREFIX
export WINEDEBUG="${WINEDEBUG:--all}"
# Without these Wine offers to install Mono and Gecko, which a test run has
# no use for and cannot answer.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree=d;mshtml=d;winedbg.exe=d}"
# A set but empty WINEPATH makes Wine's cmd report success for unknown
# commands.
[ -n "${WINEPATH-x}" ] || unset WINEPATH
WINE="${WINE:-/usr/lib/wine/wine64}"
[ -x "$WINE" ] || WINE=$(command -v wine64 || command -v wine)
exec "$WINE" "$@"
