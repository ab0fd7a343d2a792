#!/usr/bin/env bash
# Installs what is missing, builds, and runs Kestrune on the embedded simulated
# adapters (KESTRUNE_SCENARIO=file picks another scenario): prints the
# configuration discovery reads, then runs the event monitor until Ctrl+C, so
# the scenario's events (a mirror member drops, the hot spare takes over and is
# rebuilt) arrive within a minute.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)" --target kestrune-inspect kestrune-monitor
build/tools/kestrune-inspect
echo
echo "Watching the adapters' events (Ctrl+C stops):"
exec build/tools/kestrune-monitor --interval 1000 "$@"
