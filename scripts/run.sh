#!/usr/bin/env bash
# Builds Kestrin and starts it under Wine with a Japanese locale.
# Without a display it starts on a virtual one and saves a screenshot.
# Arguments are passed to Kestrin; a Linux path (for example a list file
# to open, relative or absolute) is turned into the Windows path Wine uses.
# Until Kestrin has stored a download folder of its own, it starts in
# $KESTRIN_DOWNLOADS (default ~/Downloads/Kestrin, created when missing).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$root/build"

"$root/scripts/setup.sh"
"$root/scripts/build.sh" "$build"
# shellcheck source=wine-prefix.sh
source "$root/scripts/wine-prefix.sh" "$build/wineprefix-run"

# A switch is /word or -word; anything else that names a file, holds a
# slash or ends in .kst is a Linux path (it need not exist: Kestrin then
# says it cannot open it).
args=()
for arg in "$@"; do
  if [[ "$arg" =~ ^[-/][A-Za-z]+$ ]] && [ ! -e "$arg" ]; then
    args+=("$arg")
  elif [ -e "$arg" ] || [[ "$arg" == */* ]] || [[ "$arg" == *.[kK][sS][tT] ]]; then
    args+=("$("$KESTRIN_WINE" winepath -w "$(realpath -m -- "$arg")" 2>/dev/null | tr -d '\r')")
  else
    args+=("$arg")
  fi
done

# Downloads land in the current download folder, which starts as the
# folder Kestrin is started in: never the source checkout.
if ! "$KESTRIN_WINE" reg query 'HKCU\Software\Halvane\Kestrin\Settings' /v CurrentDirectory \
     >/dev/null 2>&1; then
  downloads="${KESTRIN_DOWNLOADS:-$HOME/Downloads/Kestrin}"
  mkdir -p "$downloads"
  cd "$downloads"
  echo "run: no download folder stored yet; starting in $downloads" >&2
fi

if [ -n "${DISPLAY:-}" ]; then
  exec "$KESTRIN_WINE" "$build/Kestrin.exe" "${args[@]}"
fi

shot="$build/kestrin-screenshot.png"
xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
  "$KESTRIN_WINE" "$1" "${@:3}" &
  pid=$!
  for _ in $(seq 1 60); do
    sleep 0.5
    if xwininfo -root -tree 2>/dev/null | grep -q "Kestrin - "; then break; fi
    if ! kill -0 "$pid" 2>/dev/null; then break; fi
  done
  sleep 1
  import -window root "$2"
  kill "$pid" 2>/dev/null || true
  wineserver -k 2>/dev/null || true
' _ "$build/Kestrin.exe" "$shot" "${args[@]}"
echo "No display: Kestrin ran on a virtual screen; screenshot saved to $shot"
