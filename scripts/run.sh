#!/usr/bin/env bash
# Builds Kestrin and starts it under Wine with a Japanese locale (see
# launch.sh for the arguments and the download folder). Without a display
# it starts on a virtual one and saves a screenshot.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$root/build"

"$root/scripts/setup.sh"
"$root/scripts/build.sh" "$build"

if [ -n "${DISPLAY:-}" ]; then
  exec bash "$root/scripts/launch.sh" "$@"
fi

shot="$build/kestrin-screenshot.png"
xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
  bash "$1" "${@:4}" &
  pid=$!
  for _ in $(seq 1 60); do
    sleep 0.5
    if xwininfo -root -tree 2>/dev/null | grep -q "Kestrin - "; then break; fi
    if ! kill -0 "$pid" 2>/dev/null; then break; fi
  done
  sleep 1
  import -window root "$2"
  kill "$pid" 2>/dev/null || true
  WINEPREFIX="$3" wineserver -k 2>/dev/null || true
' _ "$root/scripts/launch.sh" "$shot" "$build/wineprefix-run" "$@"
echo "No display: Kestrin ran on a virtual screen; screenshot saved to $shot"
