#!/usr/bin/env bash
# Usage: soak.sh [--items N] [--retry-items N] [--seed S]
# A long run of the real program (built as the tests build it, run under
# Wine on a virtual display) against a local server that answers each
# request at random: the body, 404, 500, 503, a reset connection, a body
# cut off, a chunked body cut off, a stall, a slow body or a redirect.
#
# First run: two batches over N items (5,000 unless told), then a third
# whose window is closed at a random moment. Retries are off for it
# (RetryCount 0 in the soak's own Wine prefix): with the default three
# retries and their pauses of 10 s, 60 s and 5 minutes it would take
# hours. Second run: one batch over a few items (40) with the default
# retries, where only each item's first request may fail.
#
# It prints, for each batch: the items in a final state, the rows whose
# state differs from what the server's last answer for them calls for,
# the files whose bytes differ from what the server sends; and at the
# end: the temporary files left, the program's resident memory at the
# start, middle and end, the longest wait for its window to answer, and
# how long it took to end after the close. Not part of the tests.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
# The arguments as given, for the run again on the virtual display.
args=("$@")
build="$root/build"
items=5000
retry_items=40
seed="$(date +%s)"
while [ $# -gt 0 ]; do
  case "$1" in
    --items) items="$2"; shift 2;;
    --retry-items) retry_items="$2"; shift 2;;
    --seed) seed="$2"; shift 2;;
    *) echo "usage: soak.sh [--items N] [--retry-items N] [--seed S]" >&2; exit 2;;
  esac
done

if [ -z "${KESTRIN_SOAK_DISPLAY:-}" ]; then
  "$root/scripts/setup.sh"
  "$root/scripts/build.sh" "$build" >/dev/null
  # A Wine prefix of its own: its registry holds the soak's settings, and
  # its server is stopped at the end without touching tests beside it.
  (source "$root/scripts/wine-prefix.sh" "$build/soak-wineprefix")
  KESTRIN_SOAK_DISPLAY=1 exec xvfb-run -a -s "-screen 0 1024x768x24" bash "$0" ${args[@]+"${args[@]}"}
fi

# shellcheck source=wine-prefix.sh
source "$root/scripts/wine-prefix.sh" "$build/soak-wineprefix"
work="$build/soak-work"
rm -rf "$work"
mkdir -p "$work"
server_pid=""
stop_all() {
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null || true
  wineserver -k 2>/dev/null || true
}
trap stop_all EXIT
wineserver -p

winpath() { local p="${1//\//\\}"; echo "Z:$p"; }

# soak_round NAME ROUTE COUNT RETRIES BATCHES CLOSELAST: one run of the
# driver against a server of its own, then its report.
soak_round() {
  local name="$1" route="$2" count="$3" retries="$4" batches="$5" close_last="$6"
  local dir="$work/$name"
  mkdir -p "$dir/out" "$dir/downloads"
  python3 "$root/tests/servers/soak_server.py" "$dir/port" "$dir/out/server.log" "$seed" >/dev/null 2>&1 &
  server_pid=$!
  for _ in $(seq 1 100); do [ -s "$dir/port" ] && break; sleep 0.1; done
  [ -s "$dir/port" ] || { echo "soak: the server did not start" >&2; exit 1; }
  local base="http://127.0.0.1:$(cat "$dir/port")"
  for i in $(seq 1 "$count"); do printf '%s/%s/files/f%05d.bin\r\n' "$base" "$route" "$i"; done > "$dir/list.kst"
  "$KESTRIN_WINE" "$build/bench/soak_run.exe" "$(winpath "$dir/list.kst")" "$(winpath "$dir/downloads")" \
    "$(winpath "$dir/out")" "$base" "$retries" "$batches" "$close_last" "$seed" | tr -d '\r' || true
  kill "$server_pid" 2>/dev/null || true
  wait "$server_pid" 2>/dev/null || true
  server_pid=""
  echo
  python3 "$root/scripts/soak_report.py" "$name" "$dir/out" "$dir/downloads" "$dir/downloads/files"
  echo
}

echo "soak: seed $seed"
echo "soak: retries are off (RetryCount 0) in the first run; the second has the default 3"
soak_round "$items items, 2 batches and a third closed at a random moment, RetryCount 0" \
  soak "$items" 0 3 1
soak_round "$retry_items items, 1 batch, RetryCount 3, only first requests may fail" \
  soakonce "$retry_items" 3 1 0
