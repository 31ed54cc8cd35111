#!/usr/bin/env bash
# Installs what the builds, the tests and the demo need on a Debian machine,
# when something is missing. Safe to run again: it installs nothing twice.
set -euo pipefail

packages=(
  cmake ninja-build g++ make python3       # host build
  libgtest-dev libbenchmark-dev            # host tests and benchmark
  nlohmann-json3-dev                       # the check's JSON (both builds)
  g++-mingw-w64-x86-64 googletest          # Windows cross build and its tests
  wine64 wine                              # running the Windows programs
  git osslsigncode openssl unzip           # release: its time, signing, checks
  clang libclang-rt-dev clang-tidy cppcheck  # lint, second compiler, fuzzers
  ansible ansible-lint                     # the fleet playbook's checks
  chromium                                 # the fleet page's browser test
)
# The fleet scripts' PowerShell grammar runs on node; a node that came from
# elsewhere (with its own npm) is kept.
command -v npm >/dev/null 2>&1 || packages+=(nodejs npm)

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" \
    || missing+=("$package")
done
if [ ${#missing[@]} -ne 0 ]; then
  echo "Installing: ${missing[*]}"
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update -q
  $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# The PowerShell grammar for tests/fleet, at the versions its package-lock
# pins, in build/fleet-tools; installed again only when the lock changes.
cd "$(dirname "$0")/.."
tools=build/fleet-tools
if ! cmp -s tests/fleet/package-lock.json "$tools/package-lock.json" ||
   [ ! -f "$tools/node_modules/.package-lock.json" ]; then
  echo "Installing the PowerShell grammar in $tools"
  rm -rf "$tools"
  mkdir -p "$tools"
  cp tests/fleet/package.json tests/fleet/package-lock.json "$tools/"
  (cd "$tools" && npm ci --no-audit --no-fund --loglevel=error </dev/null)
fi

# The fleet page's browser tests (tests/browser): playwright-core (driving
# Debian's chromium), axe-core and ESLint, at the versions its package-lock
# pins, in build/page-tools; installed again only when the lock changes.
tools=build/page-tools
if ! cmp -s tests/browser/package-lock.json "$tools/package-lock.json" ||
   [ ! -f "$tools/node_modules/.package-lock.json" ]; then
  echo "Installing the fleet page's browser test tools in $tools"
  rm -rf "$tools"
  mkdir -p "$tools"
  cp tests/browser/package.json tests/browser/package-lock.json "$tools/"
  (cd "$tools" && npm ci --no-audit --no-fund --loglevel=error </dev/null)
fi
