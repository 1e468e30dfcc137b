#!/usr/bin/env bash
# Builds Kestrin and starts it under Wine with a Japanese locale.
# Without a display it starts on a virtual one and saves a screenshot.
# Arguments are passed to Kestrin (for example a list file to open).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$root/build"

"$root/scripts/setup.sh"
"$root/scripts/build.sh" "$build"
# shellcheck source=wine-prefix.sh
source "$root/scripts/wine-prefix.sh" "$build/wineprefix-run"

if [ -n "${DISPLAY:-}" ]; then
  exec "$KESTRIN_WINE" "$build/Kestrin.exe" "$@"
fi

shot="$build/kestrin-screenshot.png"
xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
  "$KESTRIN_WINE" "$1" "${@:3}" &
  pid=$!
  for _ in $(seq 1 60); do
    sleep 0.5
    if xwininfo -root -tree 2>/dev/null | grep -q "Kestrin - "; then break; fi
  done
  sleep 1
  import -window root "$2"
  kill "$pid" 2>/dev/null || true
  wineserver -k 2>/dev/null || true
' _ "$build/Kestrin.exe" "$shot" "$@"
echo "No display: Kestrin ran on a virtual screen; screenshot saved to $shot"
