#!/usr/bin/env bash
# Installs what is missing, builds, and runs the program on the embedded
# simulated adapters (KESTRUNE_SCENARIO=file picks another scenario).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)" --target kestrune-inspect
[ $# -eq 0 ] && set -- --follow 60
exec build/tools/kestrune-inspect "$@"
