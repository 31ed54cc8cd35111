#!/usr/bin/env bash
# check-sign-options.sh: the options packaging/stage.cmake gives osslsigncode,
# with a stand-in that records them (no certificate is used, no network is
# reached): without KOVEX_SIGN_TIMESTAMP_URL every file is signed with the
# build's fixed time (-time) and no server; with it, every program and script
# is timestamped by that server (-ts) instead.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() { echo "FAILED: $*" >&2; exit 1; }

cat >"$scratch/osslsigncode" <<'SH'
#!/bin/sh
# Records its arguments, one call a line, and "signs" by copying.
echo "$*" >>"$(dirname "$0")/calls"
while [ $# -gt 0 ]; do
  case $1 in -in) in=$2; shift ;; -out) out=$2; shift ;; esac
  shift
done
cp "$in" "$out"
SH
chmod +x "$scratch/osslsigncode"
touch "$scratch/cert.p12"
printf 1700000000 >"$scratch/stamp"

stage() {  # stage <timestamp url or empty>
  rm -rf "$scratch/top" "$scratch/calls"
  mkdir -p "$scratch/top/pkg/fleet"
  printf 'MZ' >"$scratch/top/pkg/a.exe"
  printf 'MZ' >"$scratch/top/pkg/b.exe"
  printf 'exit 0\r\n' >"$scratch/top/pkg/fleet/c.ps1"
  KOVEX_SIGN_CERT=$scratch/cert.p12 KOVEX_SIGN_PASSWORD=x \
    KOVEX_SIGN_TIMESTAMP_URL=$1 cmake \
    -DCPACK_TEMPORARY_DIRECTORY="$scratch/top/pkg" \
    -DCPACK_TOPLEVEL_DIRECTORY="$scratch/top" \
    -DCPACK_KOVEX_SOURCE_DATE_STAMP="$scratch/stamp" \
    -DCPACK_KOVEX_OSSLSIGNCODE="$scratch/osslsigncode" \
    -P "$root/packaging/stage.cmake" >"$scratch/log" 2>&1 ||
    { cat "$scratch/log" >&2; fail "stage.cmake failed"; }
}

stage ""
[ "$(wc -l <"$scratch/calls")" -eq 3 ] || fail "not every file was signed"
grep -q -- '-ts' "$scratch/calls" && fail "a timestamp server was asked without one given"
[ "$(grep -c -- ' -time 1700000000 ' "$scratch/calls")" -eq 3 ] ||
  fail "a file was signed without the build's fixed time"

stage "http://timestamp.example.test/rfc3161"
[ "$(grep -c -- ' -ts http://timestamp.example.test/rfc3161 ' "$scratch/calls")" -eq 3 ] ||
  fail "a program or script was not timestamped"
grep -q -- '-time' "$scratch/calls" && fail "the fixed time was given beside the server"
grep -q 'timestamped by http://timestamp.example.test/rfc3161' "$scratch/log" ||
  fail "the build did not say it timestamps"
echo "signing options: ok"
