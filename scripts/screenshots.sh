#!/bin/sh
# Renders every window and page that exists to PNG files under
# docs/screenshots/ from the default scenario, on Qt's offscreen platform.
# Usage: scripts/screenshots.sh [BUILD_FOLDER]   (default: build)
set -eu
cd "$(dirname "$0")/.."
build=${1:-build}
cmake --build "$build" --target kestrune_screenshots
QT_QPA_PLATFORM=offscreen "$build/tests/kestrune_screenshots" docs/screenshots
