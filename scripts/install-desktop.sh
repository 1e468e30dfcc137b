#!/usr/bin/env bash
# Usage: install-desktop.sh [--remove]
# Lets a Linux desktop open Kestrin lists: builds Kestrin when needed, then
# writes, for this user only (under $XDG_DATA_HOME, default ~/.local/share),
# the MIME type application/x-kestrin-list for *.kst files, a desktop entry
# that opens such a file with Kestrin under Wine (scripts/launch.sh), and
# its icon, and makes that entry the type's default application. A double
# click on a list then starts Kestrin with it, or hands it to the Kestrin
# that is already running. --remove takes all of it away again.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
data="${XDG_DATA_HOME:-$HOME/.local/share}"
type=application/x-kestrin-list
entry=kestrin.desktop

if [ "${1:-}" = --remove ]; then
  rm -f "$data/applications/$entry" "$data/mime/packages/kestrin-list.xml" \
        "$data/icons/hicolor/32x32/apps/kestrin.png"
  command -v update-mime-database >/dev/null && update-mime-database "$data/mime"
  command -v update-desktop-database >/dev/null && update-desktop-database "$data/applications" || true
  echo "install-desktop: removed"
  exit 0
fi

if [ -z "${KESTRIN_NO_BUILD:-}" ]; then
  "$root/scripts/setup.sh"
  "$root/scripts/build.sh" "$root/build"
fi

mkdir -p "$data/mime/packages" "$data/applications" "$data/icons/hicolor/32x32/apps"
cat > "$data/mime/packages/kestrin-list.xml" <<XML
<?xml version="1.0" encoding="UTF-8"?>
<mime-info xmlns="http://www.freedesktop.org/standards/shared-mime-info">
  <mime-type type="$type">
    <comment>Kestrin list</comment>
    <comment xml:lang="ja">Kestrin リスト</comment>
    <glob pattern="*.kst"/>
  </mime-type>
</mime-info>
XML
update-mime-database "$data/mime"

# Exec quotes the launcher's path, which may hold blanks.
launcher="$root/scripts/launch.sh"
launcher="${launcher//\\/\\\\}"
launcher="${launcher//\"/\\\"}"
cat > "$data/applications/$entry" <<DESKTOP
[Desktop Entry]
Type=Application
Name=Kestrin
Comment=URL list downloader (under Wine)
Comment[ja]=URL 一括ダウンロード (Wine)
Exec=bash "$launcher" %f
Icon=kestrin
Terminal=false
MimeType=$type;
Categories=Network;FileTransfer;
DESKTOP
convert "$root/app/res/Kestrin.ico[0]" "$data/icons/hicolor/32x32/apps/kestrin.png" 2>/dev/null || true
update-desktop-database "$data/applications" 2>/dev/null || true
xdg-mime default "$entry" "$type"
echo "install-desktop: *.kst files open with Kestrin ($data/applications/$entry)"
