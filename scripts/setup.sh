#!/usr/bin/env bash
# Installs what the demo or the tests need on a Debian machine, when
# something is missing. Safe to run again: it installs nothing twice.
#
#   setup.sh demo     what scripts/demo.sh needs: the Windows cross build
#                     (the demo preset's: no tests), Wine and Python;
#                     nothing else
#   setup.sh [tests]  everything the builds and the whole suite need, CI
#                     included: the demo's packages and the rest below,
#                     PowerShell with Pester, and the browser test tools
#   setup.sh windows-build
#                     the Windows cross build's packages alone: the demo
#                     builds with them while Wine is installed
set -euo pipefail

purpose=${1:-tests}
case "$purpose" in
  demo|tests|windows-build) ;;
  *) echo "usage: setup.sh [demo|tests|windows-build]" >&2; exit 2 ;;
esac

packages=(
  cmake ninja-build python3                # configuring and building
  nlohmann-json3-dev                       # the check's JSON (both builds)
  g++-mingw-w64-x86-64-posix               # Windows cross build
)
[ "$purpose" = windows-build ] || packages+=(
  wine64                                   # running the Windows programs
)
if [ "$purpose" = tests ]; then
  packages+=(
    g++ make                                 # host build
    libgtest-dev libbenchmark-dev            # host tests and benchmark
    googletest                               # the Windows tests' sources
    g++-mingw-w64-x86-64                     # both MinGW thread models
    wine                                     # Wine's commands on PATH
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
fi
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
  # Without a sync after each file (--force-unsafe-io): unpacking Wine and
  # MinGW (1.3 GB) then takes about 40 % less time. Only a crash during the
  # install could leave a package to install again.
  install_missing() {
    $sudo apt-get install -y -q --no-install-recommends \
      -o Dpkg::Options::=--force-unsafe-io "${missing[@]}"
  }
  # Package lists fetched in the last ten minutes (the demo's first call,
  # moments ago) are used as they are; should the mirror have moved on
  # since, the install fails and runs again after an update.
  if [ -n "$(find /var/lib/apt/lists -maxdepth 1 -name '*_Packages*' -mmin -10 2>/dev/null)" ]; then
    install_missing || { $sudo apt-get update -q && install_missing; }
  else
    $sudo apt-get update -q
    install_missing
  fi
fi

cd "$(dirname "$0")/.."
if [ "$purpose" != tests ]; then exit 0; fi

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
