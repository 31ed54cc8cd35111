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
  curl                                     # Pester's package (below)
  clang libclang-rt-dev clang-tidy cppcheck  # lint, second compiler, fuzzers
  ansible ansible-lint                     # the fleet playbook's checks
  chromium                                 # the fleet page's browser test
  libicu-dev pkg-config                    # the look-alike table's check against ICU
)
# The fleet page's browser tests run on node; a node that came from
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

cd "$(dirname "$0")/.."

# PowerShell and Pester for tests/fleet's PowerShell tests, in build/ps-tools
# (where tests/CMakeLists.txt looks): PowerShell as a .NET tool, Pester's
# package unpacked and imported by path. Each is installed once, at its
# pinned version. Without the .NET SDK the tests are skipped (ctest says so);
# in CI (CI=true) that fails the run.
powershell_version=7.6.9
pester_version=5.7.1
tools=build/ps-tools
if command -v dotnet >/dev/null 2>&1; then
  mkdir -p "$tools"
  if [ "$("$tools/pwsh/pwsh" -NoProfile -NonInteractive -Command '$PSVersionTable.PSVersion.ToString()' 2>/dev/null)" != "$powershell_version" ]; then
    echo "Installing PowerShell $powershell_version in $tools/pwsh"
    rm -rf "$tools/pwsh"
    DOTNET_CLI_TELEMETRY_OPTOUT=1 DOTNET_NOLOGO=1 \
      dotnet tool install --tool-path "$tools/pwsh" PowerShell --version "$powershell_version" </dev/null
  fi
  if [ ! -f "$tools/pester-$pester_version/tools/Pester.psd1" ]; then
    echo "Installing Pester $pester_version in $tools/pester-$pester_version"
    rm -rf "$tools/pester-$pester_version" "$tools/pester.nupkg"
    # From the first enabled feed of the machine's NuGet configuration,
    # through its service index's package folder (NuGet's v3 flat container).
    feed=$(dotnet nuget list source --format short </dev/null | awk '$1 == "E" { print $2; exit }')
    base=$(curl -fsSL --retry 3 "$feed" | python3 -c \
      'import json, sys; print(next(r["@id"] for r in json.load(sys.stdin)["resources"] if r["@type"].startswith("PackageBaseAddress")))')
    curl -fsSL --retry 3 -o "$tools/pester.nupkg" \
      "${base%/}/pester/$pester_version/pester.$pester_version.nupkg"
    unzip -q -o "$tools/pester.nupkg" -d "$tools/pester-$pester_version"
    rm -f "$tools/pester.nupkg"
  fi
elif [ "${CI:-}" = "true" ]; then
  echo "setup.sh: the .NET SDK (dotnet) is missing: CI cannot run the PowerShell tests" >&2
  exit 1
else
  echo "setup.sh: no .NET SDK (dotnet): PowerShell and Pester not installed, the PowerShell tests will be skipped"
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
