#!/usr/bin/env bash
# Usage: desktop_open.sh BUILD_DIR PREFIX
# Lists opened from a Linux desktop reach Kestrin: the desktop entry and
# MIME type that install-desktop.sh writes make Kestrin the default for
# *.kst; the entry's Exec line starts Kestrin with a list; `wine start
# /unix` (what a file manager's "open with Wine" runs) hands a list to the
# running Kestrin through the shell's registration, and starts one when
# none runs. What Kestrin opened is read back from its recent-file list.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
build="$1"
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT
export XDG_DATA_HOME="$tmp/data" XDG_CONFIG_HOME="$tmp/config"
export KESTRIN_BUILD="$build" KESTRIN_PREFIX="$2" KESTRIN_DOWNLOADS="$tmp/downloads"
# shellcheck source=../../scripts/wine-prefix.sh
source "$root/scripts/wine-prefix.sh" "$2"

fail() { echo "desktop_open: $*" >&2; exit 1; }

KESTRIN_NO_BUILD=1 bash "$root/scripts/install-desktop.sh" >/dev/null
[ "$(xdg-mime query default application/x-kestrin-list)" = kestrin.desktop ] ||
  fail "kestrin.desktop is not the default for application/x-kestrin-list"
grep -q ':application/x-kestrin-list:\*\.kst$' "$XDG_DATA_HOME/mime/globs2" ||
  fail "*.kst is not in the user's MIME database"

winpath() { "$KESTRIN_WINE" winepath -w "$1" 2>/dev/null | tr -d '\r'; }
# A process of this build's Kestrin shows the path it was started by: the
# Linux one from a shell, the Windows one when Windows code started it.
escape() { printf '%s' "$1" | sed 's/[][\\.^$*+?(){}|]/\\&/g'; }
pattern="^($(escape "$build/Kestrin.exe")|$(escape "$(winpath "$build/Kestrin.exe")"))"
running() { pgrep -i -c -f -- "$pattern" || true; }
wait_window() {
  for _ in $(seq 1 120); do
    xwininfo -root -tree 2>/dev/null | grep -qi 'kestrin' && return 0
    sleep 0.5
  done
  fail "no Kestrin window came up"
}
close_all() {
  "$KESTRIN_WINE" taskkill /im Kestrin.exe >/dev/null 2>&1 || true
  for _ in $(seq 1 60); do
    [ "$(running)" -eq 0 ] && return 0
    sleep 0.5
  done
  fail "Kestrin did not close"
}
recent() {
  "$KESTRIN_WINE" reg query 'HKCU\Software\Halvane\Kestrin\Recent File List' /v "$1" 2>/dev/null |
    tr -d '\r' | sed -n 's/.*REG_SZ *//p'
}
[ "$(running)" -eq 0 ] || fail "a Kestrin is already running"
"$KESTRIN_WINE" reg delete 'HKCU\Software\Halvane\Kestrin' /f >/dev/null 2>&1 || true
mkdir -p "$tmp/lists"
first="$tmp/lists/first list.kst"
second="$tmp/lists/second.kst"
third="$tmp/lists/third.kst"
for f in "$first" "$second" "$third"; do printf 'http://127.0.0.1:9/a\r\n' > "$f"; done

# A double click: the entry's Exec line with the file for %f.
exec_line="$(sed -n 's/^Exec=//p' "$XDG_DATA_HOME/applications/kestrin.desktop")"
eval "${exec_line//%f/\"\$first\"}" >/dev/null 2>&1 &
wait_window

# While it runs, the shell hands the next list over; no second one stays.
(cd "$tmp" && timeout 60 "$KESTRIN_WINE" start /wait /unix "$second" >/dev/null 2>&1) || true
sleep 2
[ "$(running)" -eq 1 ] || fail "$(running) Kestrin processes after the hand-over"
close_all
[ "$(recent File1)" = "$(winpath "$second")" ] || fail "the running Kestrin did not open the handed list ($(recent File1))"
[ "$(recent File2)" = "$(winpath "$first")" ] || fail "the Exec line did not open the list ($(recent File2))"

# With none running, the shell starts Kestrin with the list.
(cd "$tmp" && "$KESTRIN_WINE" start /unix "$third" >/dev/null 2>&1) &
wait_window
sleep 2
close_all
[ "$(recent File1)" = "$(winpath "$third")" ] || fail "the started Kestrin did not open the list ($(recent File1))"
echo "desktop_open: passed"
