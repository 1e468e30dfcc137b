#!/usr/bin/env bash
# Usage: wine-run.sh PREFIX PROGRAM.exe [ARGS...]
# Runs a Windows program under Wine in PREFIX; used by CTest as the
# cross-compiling emulator. When test.sh runs the tests in lanes side by
# side, CTest names the test's lane: lane 0 uses PREFIX and the display it
# was given, lane N the prefix PREFIX-N and the display test.sh started
# for it ($KESTRIN_LANE_DISPLAY_N), so no two tests share a registry, a
# clipboard or the keyboard focus.
set -e
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
prefix="$1"
shift
lane="${CTEST_RESOURCE_GROUP_0_LANES:-}"
if [ -n "$lane" ]; then
  id="${lane#id:}"
  id="${id%%,*}"
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
exec "$KESTRIN_WINE" "$@"
