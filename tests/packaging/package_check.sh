#!/usr/bin/env bash
# Builds the Debian package with cpack and checks it: its files with dpkg-deb
# (programs in /usr/bin, unit files, desktop entries, icon, metainfo, manual
# pages, the conffile), its dependencies as computed from the shared
# libraries, and lintian, which must report no error. Exits 77 (skipped)
# where cpack's Debian tools are missing.
set -euo pipefail
build=$1
for tool in cpack dpkg-deb dpkg-shlibdeps; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work" >"$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log"; fail "cpack"; }
deb=$(ls "$work"/kestrune_*.deb)
dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./|/|' >"$work/files"
for file in /usr/bin/kestrune /usr/bin/kestrune-monitor /usr/bin/kestrune-report \
    /usr/bin/kestrune-reg /usr/bin/kestrune-inspect \
    /lib/systemd/system/kestrune-monitor.service /usr/lib/systemd/user/kestrune-monitor.service \
    /usr/share/applications/kestrune.desktop /etc/xdg/autostart/kestrune.desktop \
    /usr/share/icons/hicolor/scalable/apps/kestrune.svg \
    /usr/share/metainfo/example.brevalis.kestrune.metainfo.xml \
    /usr/share/kestrune/Res409.lang /usr/share/kestrune/kestrune.html /usr/share/kestrune/logo.bmp \
    /usr/share/man/man1/kestrune.1.gz /usr/share/man/man1/kestrune-monitor.1.gz \
    /usr/share/man/man1/kestrune-report.1.gz /usr/share/man/man1/kestrune-reg.1.gz \
    /usr/share/man/man1/kestrune-inspect.1.gz /usr/share/man/man8/kestrune-monitor.service.8.gz \
    /usr/share/doc/kestrune/copyright /usr/share/doc/kestrune/changelog.gz; do
  grep -qx "$file" "$work/files" || fail "the package lacks $file"
done
grep '^/usr/bin/.' "$work/files" | grep -v '^/usr/bin/kestrune' && fail "foreign files in /usr/bin"
dpkg-deb -x "$deb" "$work/root"
grep -qx 'ExecStart=/usr/bin/kestrune-monitor' "$work/root/lib/systemd/system/kestrune-monitor.service" ||
  fail "the system unit does not start /usr/bin/kestrune-monitor"
[ "$(dpkg-deb -f "$deb" Package Version Architecture | tr '\n' ' ')" = \
  "Package: kestrune Version: 0.1.0 Architecture: $(dpkg --print-architecture) " ] ||
  fail "package name, version or architecture"
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
for library in libqt6widgets6 libsqlite3-0 libfmt9 libcanberra0 libsystemd0 libstdc++6 \
  libatasmart4 libblkid1 libudev1; do
  grep -q "$library" <<<"$depends" || fail "Depends lacks $library"
done
recommends=$(dpkg-deb -f "$deb" Recommends)
for package in mdadm libnvme1; do
  grep -q "$package" <<<"$recommends" || fail "Recommends lacks $package"
done
dpkg-deb --ctrl-tarfile "$deb" | tar -xO ./conffiles | grep -qx /etc/xdg/autostart/kestrune.desktop ||
  fail "the autostart entry is no conffile"

if command -v lintian >/dev/null; then
  # Errors fail; warnings and the rest are shown.
  rc=0
  lintian --fail-on error "$deb" >"$work/lintian" 2>&1 || rc=$?
  out=$(grep -v 'running with root privileges' "$work/lintian" || true)
  echo "lintian: exit $rc${out:+, said: $out}"
  [ $rc -eq 0 ] || fail "lintian reported errors"
else
  echo "SKIP: lintian is not installed"
fi
echo "package ok"
