#!/usr/bin/env bash
# Installs the Debian 12 packages the build and tests need, when any is missing.
# The last lines are the checkers the tests run over the metrics file, the
# installation and the Debian package (each test skips what is absent).
set -euo pipefail
packages=(build-essential cmake ninja-build pkg-config libgtest-dev libgmock-dev libbenchmark-dev
  libsqlite3-dev libfmt-dev nlohmann-json3-dev libcanberra-dev clang qt6-base-dev
  libsystemd-dev libatasmart-dev libnvme-dev libblkid-dev libudev-dev python3 python3-prometheus-client
  systemd desktop-file-utils appstream lintian dpkg-dev file strace)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  sudo_cmd=()
  [ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update -q
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
