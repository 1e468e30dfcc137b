#!/usr/bin/env bash
# Usage: launch.sh [ARGS...] — starts the Kestrin that is already built,
# under Wine with a Japanese locale, in the prefix build/wineprefix-run.
# run.sh builds first and then comes here; the desktop entry that
# install-desktop.sh writes comes here directly, so a double-clicked list
# opens without a build. Arguments are passed to Kestrin; a Linux path (a
# list file to open, relative or absolute) becomes the Windows path Wine
# uses. Until Kestrin has stored a download folder of its own, it starts
# in $KESTRIN_DOWNLOADS (default ~/Downloads/Kestrin, created when missing).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${KESTRIN_BUILD:-$root/build}"
# shellcheck source=wine-prefix.sh
source "$root/scripts/wine-prefix.sh" "${KESTRIN_PREFIX:-$build/wineprefix-run}"
if [ ! -f "$build/Kestrin.exe" ]; then
  echo "launch: $build/Kestrin.exe is not built; run scripts/run.sh once" >&2
  exit 1
fi

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
  echo "launch: no download folder stored yet; starting in $downloads" >&2
fi

exec "$KESTRIN_WINE" "$build/Kestrin.exe" "${args[@]}"
