#!/usr/bin/env bash
# Static analysis and the second compiler, with no finding left:
# - the `host` configuration built and tested with clang++ (preset
#   host-clang), warnings as errors as with g++; its tests are the C++ ones
#   (the scripts' and the page's, which no compiler changes, and the
#   ASan/UBSan build run with the host preset alone);
# - clang-tidy (.clang-tidy) over every source file of src/ and sim/, twice:
#   as the host compiles it and as the MinGW-w64 target does, so that the
#   Windows-only files and the Windows sides of #ifdefs are read too;
# - cppcheck over src/ and sim/.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

cmake --preset host-clang
cmake --build --preset host-clang
ctest --preset host-clang

mapfile -t sources < <(find src sim -name '*.cc' | sort)
# The MinGW C++ library's headers, from the cross compiler itself; clang finds
# the Windows headers by the target alone.
mapfile -t mingw_includes < <(
  x86_64-w64-mingw32-g++-posix -xc++ -E -v /dev/null 2>&1 |
    sed -n '/^#include <...> search starts here:/,/^End of search list\./p' |
    sed -n 's|^ *\(/.*/include/c++.*\)$|-isystem\1|p')
# kovex_version.h is written by the configure step (above, host-clang's).
generated=build/host-clang/generated
host_flags=(-std=c++17 -Isrc -I. "-I$generated")
windows_flags=(--target=x86_64-w64-mingw32 -std=c++17 -nostdinc++
  "${mingw_includes[@]}" -Isrc -I. "-I$generated")

findings=$(mktemp)
trap 'rm -f "$findings"' EXIT
failed=0
# tidy <label> <files...> -- <compiler flags...>: two files at a time.
tidy() {
  local label=$1 files=()
  shift
  while [ "$1" != -- ]; do files+=("$1"); shift; done
  shift
  echo "clang-tidy ($label): ${#files[@]} files"
  printf '%s\n' "${files[@]}" |
    xargs -P 2 -I{} sh -c 'clang-tidy --quiet "$0" -- "$@" 2>&1' {} "$@" \
    >>"$findings" || failed=1
}
# The Windows pieces compile for Windows only; the host reads the rest.
mapfile -t host_sources < <(printf '%s\n' "${sources[@]}" | grep -v -- '-win32\.cc$')
tidy host "${host_sources[@]}" -- "${host_flags[@]}"
# And the POSIX halves (the file piece with a Win32 twin) for the host alone.
mapfile -t windows_sources < <(printf '%s\n' "${sources[@]}" | grep -v -- '^src/fleet_page/fleet_files\.cc$')
tidy mingw-w64 "${windows_sources[@]}" -- "${windows_flags[@]}"

count=$(grep -c -E '(warning|error): ' "$findings" || true)
if [ "$failed" -ne 0 ] || [ "$count" -gt 0 ]; then
  grep -v 'warnings generated\.$' "$findings"
  echo "clang-tidy: $count findings" >&2
  exit 1
fi
echo "clang-tidy: no findings"

# useStlAlgorithm is off: it asks for std::any_of and the like in place of
# short plain loops, which reads no better and finds nothing wrong.
cppcheck --enable=warning,style,performance,portability --std=c++17 \
  --language=c++ --library=windows -I src -I . -I "$generated" --inline-suppr \
  --suppress=missingIncludeSystem --suppress=useStlAlgorithm \
  --error-exitcode=1 --quiet \
  --template='{file}:{line}: {severity}: {message} [{id}]' src sim
echo "cppcheck: no findings"
