#!/usr/bin/env bash
# Renders the program's windows offscreen into PNG files, for a look at them
# as a user sees them: cut texts, overlapping controls. One function per window
# family; without arguments every family, else the families named.
#   scripts/screenshots.sh [family...]    pictures in build/screenshots/<family>/
set -euo pipefail
cd "$(dirname "$0")/.."
build=${KESTRUNE_BUILD_DIR:-build}
out=${KESTRUNE_SCREENSHOT_DIR:-$build/screenshots}
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build" --target kestrune-screenshots
program="$build/tests/kestrune-screenshots"

# Runs one family of kestrune-screenshots.
shoot() {
  QT_QPA_PLATFORM=offscreen "$program" "$out" "$1"
  echo "$1: $out/$1/"
}

# ---- The configuration sheet: the Configuration Menu on each of its seven pages.
shoot_settings() { shoot settings; }

# ---- The configuration window on each node kind and page, the event popup and
# the About box; kept in docs/screenshots/ for the README.
shoot_config() {
  shoot config
  mkdir -p docs/screenshots
  cp "$out"/config/*.png docs/screenshots/
}

# ---- The RAID wizard: each of its eight pages over two example adapters.
shoot_wizard() { shoot wizard; }

# ---- The small boxes: the wait box (with and without Cancel), the Send dialog, a
# message box with a long caption.
shoot_boxes() { shoot boxes; }

families=("$@")
if [ ${#families[@]} -eq 0 ]; then
  families=(settings config wizard boxes)
fi
for family in "${families[@]}"; do
  "shoot_$family"
done
