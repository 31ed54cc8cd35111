#!/bin/sh
# Builds the Windows program twice, in two fresh build trees, with
# SOURCE_DATE_EPOCH set, and fails unless the two exes are the same bytes.
set -e
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
export SOURCE_DATE_EPOCH=1624276340
for tree in one two; do
  cmake -S "$source_dir" -B "$scratch/$tree" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$source_dir/cmake/mingw-w64-x86_64.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DKOVEX_BUILD_TESTS=OFF >/dev/null
  cmake --build "$scratch/$tree" --target kovex-deepclean >/dev/null
done
cmp "$scratch/one/kovex-deepclean.exe" "$scratch/two/kovex-deepclean.exe"
# The banner carries the fixed date, not the day of the build.
grep -q "Jun 21 2021" "$scratch/one/kovex-deepclean.exe"
echo "same bytes twice: $(sha256sum < "$scratch/one/kovex-deepclean.exe")"
