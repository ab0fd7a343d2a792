#!/usr/bin/env bash
# Installs the Debian 12 packages the build and tests need, when any is missing.
# The second line holds what makes the build quick (a faster linker, a compiler
# cache); the lines after the libraries the checkers the tests run over the
# metrics file, the installation and the Debian package (each test skips what
# is absent), the journal daemon the test command starts where none runs, and
# the locales from which it makes a German one for the tests of
# locale-independent texts; the last is the virtual desktop the tray program's
# check runs on (X server, window manager, notification area, mouse and
# keyboard, window queries).
set -euo pipefail
packages=(build-essential cmake ninja-build pkg-config libgtest-dev libgmock-dev libbenchmark-dev
  mold ccache
  libsqlite3-dev libfmt-dev nlohmann-json3-dev libcanberra-dev clang qt6-base-dev
  libsystemd-dev libssl-dev libc-ares-dev libatasmart-dev libnvme-dev libblkid-dev libudev-dev
  python3 python3-prometheus-client python3-aiosmtpd
  systemd desktop-file-utils appstream lintian dpkg-dev file strace locales
  xvfb xauth openbox trayer xdotool x11-utils)
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

# A locale other than English (locales ships its sources; only root can add
# one to the system's archive).
if ! locale -a 2>/dev/null | grep -qix 'de_DE.utf-\?8'; then
  sudo_cmd=()
  [ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
  "${sudo_cmd[@]}" localedef -i de_DE -c -f UTF-8 de_DE.UTF-8 ||
    echo "install-deps: could not make the locale de_DE.UTF-8; its test will skip" >&2
fi
