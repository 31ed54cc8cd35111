#!/usr/bin/env bash
# Builds the `fuzz` preset and runs each libFuzzer target, two at a time, seeded from
# tests/fuzz/corpus/<target>/, then prints each one's executions per second
# and total executions. Fails when any target finds a crash or a broken
# property; the input that did it is kept in build/fuzz/artifacts/.
#
#   bash scripts/fuzz.sh                        every target, 30 seconds each
#   bash scripts/fuzz.sh --seconds 3600         every target, an hour each
#   bash scripts/fuzz.sh --runs 10000000 --max-len 1024 package_walk_fuzzer
#
# --max-len caps the inputs' length (libFuzzer's default, 4096, lets a long
# run drift to inputs of thousands of lines, each run several times slower).
# The corpus each target grows is kept in build/fuzz/corpus/<target>/, so a
# later run goes on from it. The fakes write each listing into the working
# directory, which is put on /dev/shm where there is one.
set -euo pipefail
cd "$(dirname "$0")/.."

limit=(-max_total_time=30)
max_len=()
names=()
while [ $# -gt 0 ]; do
  case "$1" in
    --seconds) limit=(-max_total_time="$2"); shift 2 ;;
    --runs) limit=(-runs="$2"); shift 2 ;;
    --max-len) max_len=(-max_len="$2"); shift 2 ;;
    -h|--help) sed -n '2,15p' "$0"; exit 0 ;;
    *) names+=("$1"); shift ;;
  esac
done

bash scripts/setup.sh >&2
mkdir -p build
if ! { cmake --preset fuzz && cmake --build --preset fuzz; } >build/fuzz-build.log 2>&1; then
  tail -n 40 build/fuzz-build.log
  echo "the fuzz build failed: see build/fuzz-build.log" >&2
  exit 1
fi

build="$PWD/build/fuzz"
if [ ${#names[@]} -eq 0 ]; then
  while IFS= read -r path; do names+=("$(basename "$path")"); done \
    < <(find "$build" -type f -perm -u+x -name '*_fuzzer' | sort)
fi
[ ${#names[@]} -gt 0 ] || { echo "no fuzz targets built" >&2; exit 1; }

scratch_root=/dev/shm
[ -d "$scratch_root" ] && [ -w "$scratch_root" ] || scratch_root="${TMPDIR:-/tmp}"
scratch=$(mktemp -d "$scratch_root/kovex-fuzz.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$build/artifacts"

# Two targets at a time, one a core: each one's line of the summary is
# written to the scratch folder and printed in the targets' order.
run_one() {
  local name=$1 fuzzer corpus seeds=() log status=0 runs speed
  fuzzer=$(find "$build" -type f -perm -u+x -name "$name" | head -n 1)
  corpus="$build/corpus/$name"
  mkdir -p "$corpus" "$scratch/$name"
  [ -d "tests/fuzz/corpus/$name" ] && seeds=("$PWD/tests/fuzz/corpus/$name")
  echo "== $name (${limit[*]} ${max_len[*]})"
  log="$build/artifacts/$name.log"
  (cd "$scratch/$name" && "$fuzzer" "${limit[@]}" "${max_len[@]}" -print_final_stats=1 \
      -artifact_prefix="$build/artifacts/$name-" "$corpus" "${seeds[@]}") \
    >"$log" 2>&1 || status=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  speed=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -n 1)
  if [ "$status" -ne 0 ]; then
    tail -n 40 "$log"
    printf '%-28s FAILED (exit %s), see %s\n' "$name" "$status" "$log" >"$scratch/$name.summary"
  else
    printf '%-28s %12s runs %10s runs/s\n' "$name" "${runs:-?}" "${speed:-?}" \
      >"$scratch/$name.summary"
  fi
}

for name in "${names[@]}"; do
  [ -n "$(find "$build" -type f -perm -u+x -name "$name" | head -n 1)" ] ||
    { echo "no fuzz target named $name" >&2; exit 1; }
done
for name in "${names[@]}"; do
  while [ "$(jobs -rp | wc -l)" -ge 2 ]; do wait -n || true; done
  run_one "$name" &
done
wait

summary=()
failed=0
for name in "${names[@]}"; do
  line=$(cat "$scratch/$name.summary" 2>/dev/null || printf '%-28s FAILED (no result)' "$name")
  case "$line" in *FAILED*) failed=1 ;; esac
  summary+=("$line")
done

printf '%s\n' "${summary[@]}"
exit "$failed"
