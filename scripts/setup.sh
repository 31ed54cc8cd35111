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
)

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" \
    || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -q
$sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
