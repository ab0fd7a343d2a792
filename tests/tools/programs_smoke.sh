#!/usr/bin/env bash
# Runs the command-line programs once on the embedded scenario, each with its
# own registry and state folder, and checks what they leave behind.
set -euo pipefail
tools=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export KESTRUNE_REGISTRY=$work/registry.db XDG_STATE_HOME=$work/state
unset KESTRUNE_SCENARIO

fail() { echo "FAIL: $*"; exit 1; }

"$tools/kestrune-inspect" >"$work/inspect.txt"
grep -q '^Adapter 0: BV-7420' "$work/inspect.txt" || fail "inspect lists no extended adapter"
grep -q 'Mirrored Set, Online' "$work/inspect.txt" || fail "inspect lists no mirror"
grep -q '^  Channel 3 Device 0 (index 3): Disk' "$work/inspect.txt" ||
  fail "inspect names the free disk by its index twice"
grep -q 'Member 1: Channel 1 Device 0 (index 1), ' "$work/inspect.txt" ||
  fail "inspect names a member by its index twice"

"$tools/kestrune-monitor" --once --interval 200 >"$work/monitor.txt"
log=$work/state/kestrune/errlgr.txt
[ -f "$log" ] || fail "monitor wrote no log file"
[ "$(head -c 2 "$log" | od -An -tx1 | tr -d ' ')" = "fffe" ] || fail "log file lacks its byte-order mark"
text=$(iconv -f UTF-16LE -t UTF-8 "$log")
grep -q 'Kestrune Event Logger Started' <<<"$text" || fail "no started entry"
grep -q 'Kestrune Event Logger Stopped' <<<"$text" || fail "no stopped entry"

"$tools/kestrune-reg" query 'HKLM\Software\Brevalis\Kestrune' /v 'Log File Name' >"$work/reg.txt"
grep -q 'errlgr.txt' "$work/reg.txt" || fail "settings were not written back"

"$tools/kestrune-report" --output "$work/report.txt"
[ "$(head -c 4 "$work/report.txt" | od -An -tx1 | tr -d ' ')" = "0d000a00" ] || fail "report file does not start with CR LF in UTF-16LE"
# Converted into a file first: grep -q leaving early would kill iconv with
# SIGPIPE, and pipefail would report that as a failure.
iconv -f UTF-16LE -t UTF-8 "$work/report.txt" >"$work/report-utf8.txt"
grep -q 'Adapter 1 Information -' "$work/report-utf8.txt" || fail "report lacks the second adapter"
echo "programs ok"
