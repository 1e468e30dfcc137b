#!/usr/bin/env bash
# Usage: wine-run.sh PREFIX PROGRAM.exe [ARGS...]
# Runs a Windows program under Wine in PREFIX; used by CTest as the
# cross-compiling emulator. When test.sh runs tests side by side in lanes
# ($KESTRIN_TEST_LANES of them), each run takes a free lane for as long as
# it lasts: lane 0 uses PREFIX and the display it was given, lane N the
# prefix PREFIX-N and the display test.sh started for it
# ($KESTRIN_LANE_DISPLAY_N), so no two tests share a registry, a clipboard
# or the keyboard focus.
set -e
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
prefix="$1"
shift
lanes="${KESTRIN_TEST_LANES:-1}"
if [ "$lanes" -gt 1 ]; then
  # A lane is taken by a lock on its file, held on descriptor 8 by this
  # script alone (Wine is started without it), and given back when the
  # script ends, however it ends.
  id=""
  while [ -z "$id" ]; do
    for n in $(seq 0 $((lanes - 1))); do
      exec 8>"$prefix-lane$n.lock"
      if flock -n 8; then id=$n; break; fi
      exec 8>&-
    done
    [ -n "$id" ] || sleep 0.1
  done
  if [ "$id" != 0 ]; then
    prefix="$prefix-$id"
    display="KESTRIN_LANE_DISPLAY_$id"
    if [ -n "${!display:-}" ]; then
      export DISPLAY="${!display}"
    fi
  fi
fi
# shellcheck source=wine-prefix.sh
source "$here/wine-prefix.sh" "$prefix"
status=0
"$KESTRIN_WINE" "$@" 8>&- || status=$?
exit "$status"
