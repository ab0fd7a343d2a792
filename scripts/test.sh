#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: once in a plain build
# and once under AddressSanitizer and UndefinedBehaviorSanitizer; the threaded
# tests (events, controller) run a third time under ThreadSanitizer.
#
# The plain build holds the code to the warnings (-Werror, at -O2 for the
# programs and -O1 for the tests, where GCC's warnings work). The sanitizer
# builds are at -O1 and build only what their tests run. All three keep line
# tables (-g1), enough for the sanitizers' stack traces. A compiler cache kept
# in ~/.cache/kestrune-ccache speeds up a machine's next run; the build does
# not rely on it (KESTRUNE_CCACHE=0 or CCACHE_DISABLE=1 build without it).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
jobs=$(nproc)

configure=(-G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKESTRUNE_DEBUG_INFO=lines)
if [ "${KESTRUNE_CCACHE:-1}" != 0 ] && command -v ccache >/dev/null; then
  # A cache of its own, so that no other configuration of ccache on the
  # machine applies; paths are taken relative to the checkout, so that another
  # clone of the same sources hits too.
  export CCACHE_DIR=${KESTRUNE_CCACHE_DIR:-$HOME/.cache/kestrune-ccache}
  export CCACHE_BASEDIR=$PWD CCACHE_NOHASHDIR=1 CCACHE_MAXSIZE=${CCACHE_MAXSIZE:-6G}
  # Needed for the precompiled headers (ccache's manual).
  export CCACHE_SLOPPINESS=pch_defines,time_macros,include_file_mtime,include_file_ctime
  configure+=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
# The sanitizer builds: -O1 in place of the build type's -O2.
sanitizer_flags=(-DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -DNDEBUG" -DKESTRUNE_BUILD_BENCH=OFF)

# A journal daemon of the tests' own where none runs (a build machine without
# an init), so that the journal's tests run too; stopped and cleared away at
# the end. Only root can start one.
times_file=
journald_pid=
journald_made=()
start_journal() {
  local daemon=/lib/systemd/systemd-journald
  # A socket that an aborted run left behind has no daemon behind it.
  [ -S /run/systemd/journal/socket ] && python3 -c 'import socket
socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM).connect("/run/systemd/journal/socket")' \
    2>/dev/null && return 0
  [ "$(id -u)" -eq 0 ] && [ -x "$daemon" ] || return 0
  local d
  for d in /run/systemd/journal /run/log/journal /run/systemd/journald.conf.d; do
    [ -e "$d" ] || journald_made+=("$d")
  done
  mkdir -p /run/systemd/journald.conf.d
  # Kept in memory, nothing forwarded: it lives for this run only.
  printf '[Journal]\nStorage=volatile\nForwardToSyslog=no\nForwardToWall=no\nReadKMsg=no\n' \
    >/run/systemd/journald.conf.d/kestrune-tests.conf
  "$daemon" >/dev/null 2>&1 &
  journald_pid=$!
  local i
  for i in $(seq 100); do
    [ -S /run/systemd/journal/socket ] && break
    sleep 0.1
  done
  echo "== started systemd-journald ($journald_pid) for the tests =="
}
stop_journal() {
  [ -n "$journald_pid" ] || return 0
  kill "$journald_pid" 2>/dev/null || true
  wait "$journald_pid" 2>/dev/null || true
  journald_pid=
  # Its sockets outlive it: without them no program takes the journal for running.
  rm -f /run/systemd/journald.conf.d/kestrune-tests.conf
  local d
  for d in "${journald_made[@]}"; do rm -rf "$d"; done
}
trap 'stop_journal; rm -f "$times_file"' EXIT
start_journal

# Seconds of CPU (user and system of this shell's children) and of the wall
# clock that the stage just ended took. `times` runs in this shell, not in a
# command substitution, whose subshell has no children of its own.
cpu=0
cpu_seconds() {
  times >"$times_file"
  cpu=$(tail -1 "$times_file" | awk '{ s = 0; for (i = 1; i <= 2; i++) { split($i, p, /[ms]/); s += p[1] * 60 + p[2] } printf "%.0f", s }')
}
times_file=$(mktemp)
cpu_seconds
last_cpu=$cpu
last_wall=$SECONDS
stage_time() {
  cpu_seconds
  echo "== $1: $((SECONDS - last_wall)) s wall, $((cpu - last_cpu)) s CPU =="
  last_cpu=$cpu
  last_wall=$SECONDS
}

echo "== plain build =="
cmake -S . -B build "${configure[@]}" -DKESTRUNE_WERROR=ON
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure -j "$jobs" --timeout 300
stage_time "plain build"

echo "== AddressSanitizer + UndefinedBehaviorSanitizer build =="
cmake -S . -B build-asan "${configure[@]}" "${sanitizer_flags[@]}" -DKESTRUNE_SANITIZE=ON
cmake --build build-asan -j "$jobs" --target kestrune_test_programs
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-asan --output-on-failure -j "$jobs" --timeout 300
stage_time "sanitizer build"

echo "== ThreadSanitizer build (events and controller tests) =="
cmake -S . -B build-tsan "${configure[@]}" "${sanitizer_flags[@]}" -DKESTRUNE_TSAN=ON
cmake --build build-tsan -j "$jobs" --target test_events test_controller
# Only the two programs are built: the other programs' placeholders, the
# corpus replays and the checks that run the command-line programs are left out.
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
  ctest --test-dir build-tsan --output-on-failure -j "$jobs" --timeout 600 -E '(_NOT_BUILT|_corpus|programs_smoke|metrics_exposition)$'
stage_time "ThreadSanitizer build"
