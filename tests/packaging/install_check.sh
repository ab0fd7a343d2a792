#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks what a system
# installation would hold: nothing but executables in bin, the data folder
# found by the installed program, and every desktop entry, metainfo file and
# unit file accepted by its validator (each run when it is installed).
set -euo pipefail
build=$1
work=$(mktemp -d)
program=
trap '[ -n "$program" ] && kill -TERM -- "-$program" 2>/dev/null; rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }
prefix=$work/prefix
mkdir -p "$work/runtime" && chmod 700 "$work/runtime"
cmake --install "$build" --prefix "$prefix" >/dev/null

# bin holds executables only.
for file in "$prefix"/bin/*; do
  [ -x "$file" ] && [ "$(head -c 4 "$file" | od -An -c | tr -d ' ')" = '177ELF' ] ||
    fail "not an executable in bin: $file"
done
for file in share/kestrune/Res409.lang share/kestrune/kestrune.html share/kestrune/logo.bmp \
    share/applications/kestrune.desktop etc/xdg/autostart/kestrune.desktop \
    share/metainfo/example.brevalis.kestrune.metainfo.xml \
    share/icons/hicolor/scalable/apps/kestrune.svg \
    lib/systemd/system/kestrune-monitor.service lib/systemd/user/kestrune-monitor.service \
    share/man/man1/kestrune-monitor.1.gz share/man/man8/kestrune-monitor.service.8.gz \
    share/doc/kestrune/copyright; do
  [ -f "$prefix/$file" ] || fail "not installed: $file"
done
grep -q "^ExecStart=$prefix/bin/kestrune-monitor\$" "$prefix/lib/systemd/system/kestrune-monitor.service" ||
  fail "the unit does not start the installed monitor"

# The installed tray program takes its texts from the installed data folder:
# a German module there changes the message it prints where it finds no
# notification area (offscreen none can come, so it does not wait). The
# message box then waits for a click, so the program is stopped.
if [ -x "$prefix/bin/kestrune" ]; then
  printf '2300\tMODULE-FROM-SHARE\n' >"$prefix/share/kestrune/Res407.lang"
  mkdir -p "$work/cwd"
  tracer=()
  if command -v strace >/dev/null && strace -o /dev/null true 2>/dev/null; then
    tracer=(strace -f -e trace=openat -o "$work/trace")
  fi
  # In a session of its own, so that the program and its tracer stop together.
  cd "$work/cwd"
  setsid env QT_QPA_PLATFORM=offscreen LC_ALL= LC_MESSAGES= LANG=de_DE.UTF-8 \
    KESTRUNE_REGISTRY="$work/registry.db" XDG_RUNTIME_DIR="$work/runtime" \
    XDG_STATE_HOME="$work/state" "${tracer[@]}" "$prefix/bin/kestrune" 2>"$work/stderr" &
  program=$!
  cd - >/dev/null
  for _ in $(seq 300); do
    grep -q MODULE-FROM-SHARE "$work/stderr" 2>/dev/null && break
    sleep 0.1
  done
  kill -TERM -- "-$program" 2>/dev/null || true
  wait "$program" 2>/dev/null || true
  program=
  grep -q 'kestrune: MODULE-FROM-SHARE' "$work/stderr" ||
    fail "the installed program did not use share/kestrune/Res407.lang: $(cat "$work/stderr")"
  if [ ${#tracer[@]} -gt 0 ]; then
    grep -q "\"$prefix/share/kestrune/logo.bmp\"" "$work/trace" ||
      fail "the installed program did not read its logo from share/kestrune"
    echo "kestrune: language module and logo read from $prefix/share/kestrune"
  else
    echo "kestrune: language module read from $prefix/share/kestrune (no strace: logo not traced)"
  fi
fi

# Validators, each where it is installed. systemd-analyze says nothing of a
# sound unit; the others say what they found, and fail on an error.
validate() {
  local quiet=$1 name=$2; shift 2
  if ! command -v "$name" >/dev/null; then
    echo "SKIP: $name is not installed"
    return
  fi
  local out rc=0
  out=$("$@" 2>&1) || rc=$?
  echo "$name ${*: -1}: exit $rc${out:+, said: $out}"
  [ $rc -eq 0 ] || fail "$name refused ${*: -1}"
  [ "$quiet" = loud ] || [ -z "$out" ] || fail "$name complained of ${*: -1}"
}
man_option=()
command -v man >/dev/null || man_option=(--man=no)
validate quiet systemd-analyze env MANPATH="$prefix/share/man" \
  systemd-analyze verify "${man_option[@]}" "$prefix/lib/systemd/system/kestrune-monitor.service"
validate quiet systemd-analyze env MANPATH="$prefix/share/man" XDG_RUNTIME_DIR="$work/runtime" \
  systemd-analyze --user verify "${man_option[@]}" "$prefix/lib/systemd/user/kestrune-monitor.service"
validate quiet desktop-file-validate desktop-file-validate "$prefix/share/applications/kestrune.desktop"
validate quiet desktop-file-validate desktop-file-validate "$prefix/etc/xdg/autostart/kestrune.desktop"
validate loud appstreamcli appstreamcli validate --no-net \
  "$prefix/share/metainfo/example.brevalis.kestrune.metainfo.xml"
echo "install ok"
