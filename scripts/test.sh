#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: once in a plain build
# and once under AddressSanitizer and UndefinedBehaviorSanitizer; the threaded
# tests (events, controller) run a third time under ThreadSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
jobs=$(nproc)

build_and_test() {
  local dir=$1; shift
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKESTRUNE_WERROR=ON "$@"
  cmake --build "$dir" -j "$jobs"
  ctest --test-dir "$dir" --output-on-failure -j "$jobs" --timeout 300
}

echo "== plain build =="
build_and_test build
echo "== AddressSanitizer + UndefinedBehaviorSanitizer build =="
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  build_and_test build-asan -DKESTRUNE_SANITIZE=ON
echo "== ThreadSanitizer build (events and controller tests) =="
# Warnings are not errors here: GCC's -Warray-bounds misfires on code built with
# -fsanitize=thread at -O2, and the plain build already holds the code to them.
cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKESTRUNE_TSAN=ON \
  -DKESTRUNE_BUILD_BENCH=OFF
cmake --build build-tsan -j "$jobs" --target test_events test_controller
# Only the two programs are built: the other programs' placeholders, the
# corpus replays and the checks that run the command-line programs are left out.
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
  ctest --test-dir build-tsan --output-on-failure -j "$jobs" --timeout 600 -E '(_NOT_BUILT|_corpus|programs_smoke|metrics_exposition)$'
