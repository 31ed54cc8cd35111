#!/bin/sh
# source-date-launcher.sh <stamp file> <compiler> <arguments>...
# Runs the compiler with SOURCE_DATE_EPOCH taken from the build's stamp file
# (see source-date-epoch.cmake), so that __DATE__ and __TIME__ are the fixed
# time; unset when the stamp is empty.
stamp=$1
shift
epoch=$(cat "$stamp" 2>/dev/null || true)
if [ -n "$epoch" ]; then
  SOURCE_DATE_EPOCH=$epoch
  export SOURCE_DATE_EPOCH
else
  unset SOURCE_DATE_EPOCH
fi
exec "$@"
