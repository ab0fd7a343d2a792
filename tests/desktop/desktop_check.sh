#!/usr/bin/env bash
# The tray program itself on a desktop: a virtual X server with a window
# manager (openbox) and a notification area (trayer), driven with real mouse
# clicks and key presses (xdotool), as a user would. It opens the
# configuration window from the icon, opens and closes the Configuration Menu
# and the RAID wizard from the tray menu, waits for the popup of the
# scenario's first event and presses its OK, sends the report by mail to a
# server that never answers and exits through the tray menu while the mail
# waits; a second run sends the report again, cancels the wait, closes the
# failure box and exits through the configuration window's File menu. Any exit
# status but 0 fails, and so does any sanitizer report on the program's
# error output.
#
# Usage: desktop_check.sh KESTRUNE SCENARIO KESTRUNE-REG
set -euo pipefail
program=$1
scenario=$2
reg=$3

fail() {
  echo "FAIL: $*"
  if [ -n "${DISPLAY:-}" ]; then
    echo "windows of the program:"
    for w in $(xdotool search --onlyvisible --class kestrune 2>/dev/null); do
      echo "  $(xdotool getwindowname "$w" 2>/dev/null) $(window_size "$w")"
    done
  fi
  for f in "$work"/*.log "$work"/run*.err; do
    [ -f "$f" ] && { echo "--- $(basename "$f"):"; tail -n 40 "$f"; }
  done
  exit 1
}

for tool in Xvfb openbox trayer xdotool xwininfo xprop iconv python3; do
  command -v "$tool" >/dev/null ||
    { echo "FAIL: $tool is missing (scripts/install-deps.sh installs it)"; exit 1; }
done

work=$(mktemp -d)
pids=()
cleanup() {
  local pid
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

# Waits until a command succeeds, looking every tenth of a second, for at
# most $1 seconds.
wait_for() {
  local seconds=$1
  shift
  local tries=$((seconds * 10))
  while ((tries-- > 0)); do
    "$@" && return 0
    sleep 0.1
  done
  return 1
}

window_size() {
  xwininfo -id "$1" 2>/dev/null | awk '/Width:/{w=$2} /Height:/{h=$2} END{print w "x" h}'
}

# The first visible window with this exact title, by id (the display is the
# check's own: only the program's windows have such titles).
visible_window() {
  xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n 1
}
has_window() { [ -n "$(visible_window "$1")" ]; }
has_no_window() { [ -z "$(visible_window "$1")" ]; }

# The icon: the program's small window embedded in the notification area.
icon_window() {
  local w size
  for w in $(xdotool search --onlyvisible --class kestrune 2>/dev/null); do
    size=$(window_size "$w")
    if [ "${size%x*}" -le 48 ] && [ "${size#*x}" -le 48 ]; then
      echo "$w"
      return 0
    fi
  done
  return 1
}

# An open menu of the program (the tray menu, a menu of the menu bar): a
# window of its own that bypasses the window manager and is no tooltip.
menu_window() {
  local w
  for w in $(xdotool search --onlyvisible --class kestrune 2>/dev/null); do
    [ "$w" = "$icon" ] && continue
    xwininfo -id "$w" 2>/dev/null | grep -q 'Override Redirect State: yes' || continue
    xprop -id "$w" _NET_WM_WINDOW_TYPE 2>/dev/null | grep -q TOOLTIP && continue
    echo "$w"
    return 0
  done
  return 1
}

# X, Y, WIDTH and HEIGHT of a window's inside, on the screen.
geometry() {
  eval "$(xwininfo -id "$1" | awk '/Absolute upper-left X:/{print "X=" $NF}
    /Absolute upper-left Y:/{print "Y=" $NF} /Width:/{print "WIDTH=" $NF}
    /Height:/{print "HEIGHT=" $NF}')"
}

click_icon() {
  xdotool mousemove --window "$icon" 11 11 click "$1"
}

# Right-clicks the icon and clicks an item of its menu: "first", "second" or
# "last" (Configure..., Raid Wizard..., Exit).
tray_menu_item() {
  local menu
  click_icon 3
  wait_for 10 menu_window >/dev/null || fail "right-click on the icon opened no menu"
  menu=$(menu_window)
  geometry "$menu"
  case $1 in
    first) xdotool mousemove $((X + WIDTH / 3)) $((Y + 12)) click 1 ;;
    second) xdotool mousemove $((X + WIDTH / 3)) $((Y + 34)) click 1 ;;
    last) xdotool mousemove $((X + WIDTH / 3)) $((Y + HEIGHT - 12)) click 1 ;;
  esac
}

# Gives a window the keyboard and presses a key there.
press_in() {
  xdotool windowactivate --sync "$1" >/dev/null 2>&1 || true
  xdotool key --clearmodifiers "$2"
}

# A mail server that takes every connection and never says a word, on a port
# of its own; its port is in $mail_port.
start_silent_server() {
  python3 -c '
import socket
s = socket.socket()
s.bind(("127.0.0.1", 0))
s.listen(8)
print(s.getsockname()[1], flush=True)
held = []
while True:
    held.append(s.accept()[0])
' >"$work/mail-port" 2>"$work/mail.log" &
  pids+=($!)
  wait_for 15 test -s "$work/mail-port" || fail "the silent mail server did not start"
  mail_port=$(head -n 1 "$work/mail-port")
}

# Starts the program on a scenario (empty: the embedded one, whose first
# event comes after 15 seconds) with a home of its own, whose settings send
# mail to the silent server.
start_program() {
  local run=$1
  export HOME=$work/$run/home XDG_RUNTIME_DIR=$work/$run/runtime
  export XDG_CONFIG_HOME=$HOME/.config XDG_STATE_HOME=$HOME/.local/state
  export KESTRUNE_REGISTRY=$work/$run/registry.db KESTRUNE_SCENARIO=$2
  mkdir -p "$HOME" "$XDG_RUNTIME_DIR"
  chmod 700 "$XDG_RUNTIME_DIR"
  local key='HKLM\Software\Brevalis\Kestrune'
  { "$reg" add "$key" /v "SMTP Server" /d 127.0.0.1 /f &&
    "$reg" add "$key" /v "SMTP Port" /t REG_DWORD /d "$mail_port" /f &&
    "$reg" add "$key" /v "Event List" /d "ops@lab.example" /f; } >"$work/$run.reg" 2>&1 ||
    fail "$run: could not write the mail settings"
  "$program" >"$work/$run.err" 2>&1 &
  kestrune=$!
  pids+=("$kestrune")
  wait_for 30 icon_window >/dev/null || fail "$run: no icon in the notification area"
  icon=$(icon_window)
}

# The wait box: a window of the program's name that is no icon.
wait_box() {
  local w size
  for w in $(xdotool search --onlyvisible --name '^Kestrune$' 2>/dev/null); do
    size=$(window_size "$w")
    if [ "${size%x*}" -gt 48 ]; then
      echo "$w"
      return 0
    fi
  done
  return 1
}

# Send by e-mail from the configuration window's Configure menu, then Send in
# its dialog (prefilled from the settings): the mail waits for the server.
send_report() {
  local run=$1 window
  window=$(visible_window "Configuration for Kestrune")
  [ -n "$window" ] || fail "$run: no configuration window to send from"
  press_in "$window" alt+c
  wait_for 10 menu_window >/dev/null || fail "$run: Alt+C opened no Configure menu"
  xdotool key e
  wait_for 15 has_window "Send Configuration" || fail "$run: Send by e-mail opened no dialog"
  press_in "$(visible_window "Send Configuration")" Return
  wait_for 15 wait_box >/dev/null || fail "$run: no wait box while the mail waits"
}

# Waits for the program to end and checks how it ended.
check_exit() {
  local run=$1 status=0
  wait_for 30 eval '! kill -0 "$kestrune" 2>/dev/null' || fail "$run: still running after Exit"
  wait "$kestrune" || status=$?
  [ "$status" -eq 0 ] || fail "$run: exit status $status"
  if grep -Eq 'Sanitizer|runtime error:' "$work/$run.err"; then
    fail "$run: sanitizer report"
  fi
  [ -z "$(xdotool search --onlyvisible --class kestrune 2>/dev/null)" ] ||
    fail "$run: windows left after Exit"
}

# The desktop: its own display, a window manager and a notification area, and
# no session bus, so that nothing of a desktop around leaks in. The bus
# addresses name a socket that does not exist: without any, the D-Bus library
# would try to launch a bus for the display (and leak what it read from that
# attempt, which the sanitizer build reports).
unset WAYLAND_DISPLAY XDG_CURRENT_DESKTOP SESSION_MANAGER
export DBUS_SESSION_BUS_ADDRESS=unix:path=$work/no-session-bus
export DBUS_SYSTEM_BUS_ADDRESS=unix:path=$work/no-system-bus
export QT_QPA_PLATFORM=xcb
exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
pids+=($!)
exec 3>&-
wait_for 15 test -s "$work/display" || fail "the X server did not start"
export DISPLAY=:$(head -n 1 "$work/display")
# The notification area starts once the window manager has set itself up
# (openbox runs its startup command then): a panel mapped earlier, while the
# window manager already redirects maps but does not yet manage windows, may
# never be shown.
openbox --startup "touch $work/wm-ready" >"$work/openbox.log" 2>&1 &
pids+=($!)
wait_for 15 test -e "$work/wm-ready" || fail "the window manager did not start"
trayer --edge top --align right --widthtype request --height 24 >"$work/trayer.log" 2>&1 &
pids+=($!)
wait_for 15 eval 'xdotool search --onlyvisible --class trayer >/dev/null 2>&1' ||
  fail "the notification area did not start"

# ---- Run 1: the windows, a popup, Exit from the tray menu during a mail -----
start_silent_server
start_program run1 "$scenario"
# At once, most likely while the splash still shows: the click opens the
# window too.
click_icon 1
wait_for 15 has_window "Configuration for Kestrune" ||
  fail "a click on the icon opened no configuration window"

tray_menu_item first
wait_for 15 has_window "Configuration Menu" || fail "Configure... opened no Configuration Menu"
press_in "$(visible_window "Configuration Menu")" Escape
wait_for 15 has_no_window "Configuration Menu" || fail "Escape left the Configuration Menu open"

tray_menu_item second
wait_for 15 has_window "RAID Wizard" || fail "Raid Wizard... opened no wizard"
# The tray menu keeps working while the modal wizard is up.
tray_menu_item second
press_in "$(visible_window "RAID Wizard")" Escape
wait_for 15 has_no_window "RAID Wizard" || fail "Escape left the wizard open"

wait_for 40 has_window "Kestrune Event Notification" || fail "no popup for the scenario's event"
popup=$(visible_window "Kestrune Event Notification")
geometry "$popup"
# OK sits at the bottom right of the fixed-size popup.
xdotool mousemove $((X + WIDTH - 52)) $((Y + HEIGHT - 22)) click 1
# (A later event may bring a fresh popup: this one must be gone.)
wait_for 15 eval '! xdotool search --onlyvisible --name "^Kestrune Event Notification\$" |
  grep -qx "$popup"' || fail "OK left the popup open"

# Exit while the report's mail waits for the server: the mail ends at once.
click_icon 1
wait_for 15 has_window "Configuration for Kestrune" ||
  fail "a click on the icon did not bring the configuration window back"
send_report run1
tray_menu_item last
check_exit run1
log=$(iconv -f UTF-16LE -t UTF-8 "$XDG_STATE_HOME/kestrune/errlgr.txt") ||
  fail "run1: no log file"
grep -q 'Member dropped' <<<"$log" || fail "run1: the event is not in the log file"
grep -q 'Kestrune Event Logger Stopped' <<<"$log" || fail "run1: the logger did not stop in order"

# ---- Run 2: Exit from the configuration window's File menu ------------------
# Before any event: no popup takes the keyboard meanwhile.
start_program run2 ""
click_icon 1
wait_for 15 has_window "Configuration for Kestrune" ||
  fail "run2: a click on the icon opened no configuration window"
# Cancel in the wait box ends the mail, which says so; Return closes the box.
send_report run2
box=$(wait_box)
press_in "$box" Escape
wait_for 15 has_window "Ostrevan Error" || fail "run2: Escape in the wait box showed no failure"
wait_for 5 eval '! wait_box >/dev/null' || fail "run2: the wait box stayed after the mail had ended"
press_in "$(visible_window "Ostrevan Error")" Return
wait_for 15 has_no_window "Ostrevan Error" || fail "run2: Return left the failure box open"
window=$(visible_window "Configuration for Kestrune")
press_in "$window" alt+f
wait_for 10 menu_window >/dev/null || fail "run2: Alt+F opened no File menu"
xdotool key x
check_exit run2

echo "desktop ok"
