#!/usr/bin/env bash
# Builds the libFuzzer programs with clang (AddressSanitizer and UBSan on) and
# runs each from its corpus, one after the other with one job each:
#   scripts/fuzz.sh [SECONDS] [TARGET...]   each for SECONDS (default 60)
#   RUNS=10000000 scripts/fuzz.sh 0 fuzz_scenario   for a number of executions
# New inputs go to a scratch folder; with MERGE=1 those that add coverage are
# merged, minimised, into tests/fuzz/corpus/<name>/ (commit them: the test
# command replays every corpus). A crash leaves its input in build-fuzz/.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
shift || true
if ! command -v clang++ >/dev/null; then
  echo "clang++ not found: fuzzing skipped"
  exit 0
fi
CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DKESTRUNE_FUZZ=ON -DKESTRUNE_SANITIZE=ON >/dev/null
if [ $# -gt 0 ]; then
  targets="$*"
else
  targets=$(cd tests/fuzz && ls fuzz_*.cpp | sed 's/\.cpp$//')
fi
# shellcheck disable=SC2086
cmake --build build-fuzz -j "$(nproc)" --target $targets
for t in $targets; do
  scratch=$(mktemp -d)
  if [ -n "${RUNS:-}" ]; then
    limit=(-runs="$RUNS")
    echo "== $t: $RUNS runs =="
  else
    limit=(-max_total_time="$seconds")
    echo "== $t: ${seconds}s =="
  fi
  start=$(date +%s)
  ASAN_OPTIONS=detect_leaks=1 build-fuzz/tests/fuzz/"$t" "${limit[@]}" -max_len=8192 \
    -artifact_prefix=build-fuzz/"$t"- -print_final_stats=1 "$scratch" tests/fuzz/corpus/"$t" \
    2>&1 | tail -n 12
  echo "$t took $(($(date +%s) - start)) s"
  if [ "${MERGE:-0}" = 1 ]; then
    build-fuzz/tests/fuzz/"$t" -merge=1 -max_len=8192 tests/fuzz/corpus/"$t" "$scratch" 2>&1 |
      tail -n 1
  fi
  rm -rf "$scratch"
done
