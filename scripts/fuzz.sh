#!/usr/bin/env bash
# Builds the libFuzzer programs with clang (AddressSanitizer and UBSan on) and
# runs each for SECONDS (default 60) from its corpus. New inputs go to a
# scratch folder; copy the interesting ones into tests/fuzz/corpus/<name>/.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
if ! command -v clang++ >/dev/null; then
  echo "clang++ not found: fuzzing skipped"
  exit 0
fi
CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DKESTRUNE_FUZZ=ON -DKESTRUNE_SANITIZE=ON >/dev/null
targets=$(cd tests/fuzz && ls fuzz_*.cpp | sed 's/\.cpp$//')
# shellcheck disable=SC2086
cmake --build build-fuzz -j "$(nproc)" --target $targets
for t in $targets; do
  scratch=$(mktemp -d)
  echo "== $t: ${seconds}s =="
  ASAN_OPTIONS=detect_leaks=1 build-fuzz/tests/fuzz/"$t" -max_total_time="$seconds" -max_len=8192 \
    -print_final_stats=1 "$scratch" tests/fuzz/corpus/"$t" 2>&1 | tail -n 12
  rm -rf "$scratch"
done
