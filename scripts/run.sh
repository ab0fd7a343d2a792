#!/usr/bin/env bash
# Installs what is missing, builds, and runs Kestrune on the embedded simulated
# adapters (KESTRUNE_SCENARIO=file picks another scenario). With a display it
# starts the tray program; without one it prints the configuration discovery
# reads and runs the headless event monitor until Ctrl+C. Either way the
# scenario's events (a mirror member drops after 15 seconds, the hot spare takes
# over and is rebuilt) arrive within a minute.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  cmake --build build -j "$(nproc)" --target kestrune
  exec build/app/kestrune "$@"
fi
cmake --build build -j "$(nproc)" --target kestrune-inspect kestrune-monitor
build/tools/kestrune-inspect
echo
echo "No display: watching the adapters' events without the tray (Ctrl+C stops):"
exec build/tools/kestrune-monitor --interval 1000 "$@"
