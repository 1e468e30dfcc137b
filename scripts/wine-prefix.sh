#!/usr/bin/env bash
# Usage: wine-prefix.sh PREFIX
# Sets the environment Kestrin runs in under Wine (Japanese locale, quiet
# Wine) and makes sure PREFIX is a ready Wine prefix. Meant to be sourced.
mkdir -p "$(dirname "$1")"
export WINEPREFIX="$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"
export LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree=;mshtml=;winemenubuilder.exe="
here_="$(dirname "${BASH_SOURCE[0]}")"
# shellcheck source=arch.sh
source "$here_/arch.sh"

# A value in the prefix's registry; a new prefix may still be settling, so
# a refusal is tried again before it counts.
wine_reg_add() {   # KEY NAME DATA
  local try
  for try in 1 2 3; do
    "$KESTRIN_WINE" reg add "$1" /v "$2" /d "$3" /f >/dev/null 2>&1 && return 0
    wineserver -w || true
    sleep 1
  done
  echo "wine-prefix: could not set $1\\$2" >&2
  return 1
}

if [ ! -f "$WINEPREFIX/.kestrin-ready" ]; then
  mkdir -p "$(dirname "$WINEPREFIX")"
  (
    flock 9
    if [ ! -f "$WINEPREFIX/.kestrin-ready" ]; then
      echo "wine-prefix: creating $WINEPREFIX (about half a minute)" >&2
      # 64-bit Wine on a kernel without 32-bit support reports its failed
      # 32-bit helpers in the exit status of the first boot; what counts is
      # that the prefix exists afterwards.
      "$KESTRIN_WINE" wineboot -i >/dev/null 2>&1 || true
      wineserver -w || true
      if [ ! -f "$WINEPREFIX/system.reg" ]; then
        echo "wine-prefix: Wine could not create $WINEPREFIX" >&2
        exit 1
      fi
      # Dialogs ask for the Japanese UI fonts by name; point them at IPA.
      key='HKCU\Software\Wine\Fonts\Replacements'
      for face in 'ＭＳ Ｐゴシック' 'ＭＳ ゴシック' 'MS UI Gothic' 'MS Shell Dlg' 'MS Shell Dlg 2'; do
        target=IPAPGothic
        [ "$face" = 'ＭＳ ゴシック' ] && target=IPAGothic
        wine_reg_add "$key" "$face" "$target"
      done
      # Without a window manager (Xvfb) Wine draws the window frames itself.
      wine_reg_add 'HKCU\Software\Wine\X11 Driver' Managed N
      wineserver -w || true
      touch "$WINEPREFIX/.kestrin-ready"
    fi
  ) 9>"$WINEPREFIX.lock"
fi
# Wine draws the caption buttons and scroll arrows with its Marlett font
# (package fonts-wine), but does not look for it where the package puts it:
# without a copy in the prefix they show as "0 1 r".
fonts_="$WINEPREFIX/drive_c/windows/Fonts"
if [ -f /usr/share/wine/fonts/marlett.ttf ] && [ -d "$fonts_" ] && [ ! -f "$fonts_/marlett.ttf" ]; then
  cp /usr/share/wine/fonts/marlett.ttf "$fonts_/"
fi
