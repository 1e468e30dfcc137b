#!/usr/bin/env bash
# Installs what building, running and testing need on Debian 12.
# Does nothing when everything is already there, so it is safe to run again.
set -euo pipefail

packages=(
  cmake make g++-mingw-w64-i686 mingw-w64-i686-dev
  g++-mingw-w64-x86-64 mingw-w64-x86-64-dev
  wine wine32:i386 wine64 xvfb xauth x11-utils imagemagick xdg-utils shared-mime-info desktop-file-utils
  fonts-ipafont-gothic fonts-wine locales python3 python3-pyftpdlib curl wget bc
  clang libclang-rt-14-dev
  nginx aria2
  # The transfer library's source (scripts/curl.sh) and the tests' TLS certificates.
  dpkg-dev debian-archive-keyring openssl
)

need_root() {
  if [ "$(id -u)" -ne 0 ]; then
    if command -v sudo >/dev/null; then sudo "$@"; else
      echo "setup: need root to run: $*" >&2; exit 1; fi
  else
    "$@"
  fi
}

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    need_root dpkg --add-architecture i386
  fi
  need_root apt-get update -qq
  need_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# Wine takes its code page from the locale: ja_JP.UTF-8 gives code page 932.
if ! locale -a 2>/dev/null | grep -qi '^ja_JP\.utf8$'; then
  echo "setup: generating the ja_JP.UTF-8 locale"
  need_root sed -i 's/^# *\(ja_JP.UTF-8 UTF-8\)/\1/' /etc/locale.gen
  grep -q '^ja_JP.UTF-8 UTF-8' /etc/locale.gen || echo 'ja_JP.UTF-8 UTF-8' | need_root tee -a /etc/locale.gen >/dev/null
  need_root locale-gen >/dev/null
fi

# The transfer library's source, fetched once into the build folder
# (scripts/curl.sh; build.sh builds it per architecture).
bash "$(dirname "${BASH_SOURCE[0]}")/curl.sh" fetch "$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/build"
