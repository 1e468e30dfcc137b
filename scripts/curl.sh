#!/usr/bin/env bash
# Usage: curl.sh fetch BUILD_DIR         fetch and unpack the transfer library's source
#        curl.sh build BUILD_DIR ARCH    build it as a static library for i686 or x86_64
#
# Kestrin moves its HTTP, HTTPS and FTP bytes through libcurl, linked in
# statically so the program stays one .exe. The source is Debian 12's own
# curl source package (upstream 7.88.1 with Debian's security patches),
# fetched with apt's ordinary client through a private configuration under
# BUILD_DIR/curl: its own deb-src list and state folder, so nothing in the
# system's apt setup changes. It is built once per architecture with
# Schannel (the system's TLS) and no other optional library, and kept in
# BUILD_DIR/curl: a second build costs nothing and needs no network.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

# The pinned source: this Debian revision when the archive still offers
# it, else the newest Debian revision of the same upstream release (a
# later security update of bookworm; printed when it happens).
upstream=7.88.1
revision=7.88.1-10+deb12u15
suite=bookworm

cmd="${1:?usage: curl.sh fetch|build BUILD_DIR [ARCH]}"
build="$(mkdir -p "$2" && cd "$2" && pwd)"
top="$build/curl"
src="$top/src/curl-$upstream"

fetch() {
  [ -f "$top/src/.unpacked" ] && return 0
  command -v dpkg-source >/dev/null || { echo "curl.sh: dpkg-source missing (run scripts/setup.sh)" >&2; exit 1; }
  local apt="$top/apt"
  mkdir -p "$apt/etc/sources.list.d" "$apt/etc/preferences.d" "$apt/etc/apt.conf.d" \
           "$apt/state/lists/partial" "$apt/cache/archives/partial"
  local key=/usr/share/keyrings/debian-archive-keyring.gpg
  cat > "$apt/etc/sources.list" <<EOF
deb-src [signed-by=$key] http://deb.debian.org/debian $suite main
deb-src [signed-by=$key] http://deb.debian.org/debian $suite-updates main
deb-src [signed-by=$key] http://deb.debian.org/debian-security $suite-security main
EOF
  cat > "$apt/apt.conf" <<EOF
Dir::Etc "$apt/etc";
Dir::Etc::SourceList "$apt/etc/sources.list";
Dir::Etc::SourceParts "$apt/etc/sources.list.d";
Dir::Etc::Preferences "$apt/etc/preferences";
Dir::Etc::PreferencesParts "$apt/etc/preferences.d";
Dir::Etc::Parts "$apt/etc/apt.conf.d";
Dir::State "$apt/state";
Dir::State::Status "$apt/state/status";
Dir::Cache "$apt/cache";
Debug::NoLocking "true";
APT::Sandbox::User "$(id -un)";
EOF
  touch "$apt/state/status"
  export APT_CONFIG="$apt/apt.conf"
  echo "curl.sh: fetching Debian's curl $upstream source package" >&2
  apt-get update -qq >/dev/null
  local version="$revision"
  local offered
  offered="$(apt-cache showsrc curl 2>/dev/null | sed -n "s/^Version: \($upstream-.*\)/\1/p" | sort -V)"
  if ! printf '%s\n' "$offered" | grep -qxF "$revision"; then
    version="$(printf '%s\n' "$offered" | tail -1)"
    [ -n "$version" ] || { echo "curl.sh: no curl $upstream source in Debian $suite" >&2; exit 1; }
    echo "curl.sh: $revision is no longer offered; taking $version" >&2
  fi
  rm -rf "$top/src"
  mkdir -p "$top/src"
  # apt's `source` unpacks with dpkg-source, Debian's patches applied.
  (cd "$top/src" && apt-get source -qq "curl=$version" >/dev/null)
  [ -f "$src/include/curl/curl.h" ] || { echo "curl.sh: unpacking curl $version failed" >&2; exit 1; }
  echo "$version" > "$top/src/.unpacked"
}

build_arch() {
  local arch="$1"
  local out="$top/$arch"
  local options=(
    -DCMAKE_BUILD_TYPE=Release
    -DBUILD_SHARED_LIBS=OFF -DBUILD_CURL_EXE=OFF -DBUILD_TESTING=OFF -DENABLE_MANUAL=OFF
    # Windows XP and later: no inet_pton, no Vista-only calls.
    -DCURL_TARGET_WINDOWS_VERSION=0x0501 -DENABLE_INET_PTON=OFF
    -DCURL_USE_SCHANNEL=ON -DCURL_USE_OPENSSL=OFF -DCURL_WINDOWS_SSPI=ON
    -DCURL_ZLIB=OFF -DCURL_BROTLI=OFF -DCURL_ZSTD=OFF -DUSE_NGHTTP2=OFF -DUSE_LIBIDN2=OFF
    -DCURL_USE_LIBSSH2=OFF -DCURL_USE_LIBSSH=OFF -DCURL_USE_LIBPSL=OFF -DCURL_USE_GSSAPI=OFF
    -DENABLE_UNIX_SOCKETS=OFF -DCURL_DISABLE_LDAP=ON -DCURL_DISABLE_LDAPS=ON
    -DCURL_DISABLE_DICT=ON -DCURL_DISABLE_FILE=ON -DCURL_DISABLE_GOPHER=ON -DCURL_DISABLE_IMAP=ON
    -DCURL_DISABLE_MQTT=ON -DCURL_DISABLE_POP3=ON -DCURL_DISABLE_RTSP=ON -DCURL_DISABLE_SMB=ON
    -DCURL_DISABLE_SMTP=ON -DCURL_DISABLE_TELNET=ON -DCURL_DISABLE_TFTP=ON
    -DCURL_DISABLE_NETRC=ON -DCURL_DISABLE_ALTSVC=ON -DCURL_DISABLE_HSTS=ON -DCURL_DISABLE_DOH=ON
  )
  local stamp
  stamp="$(cat "$top/src/.unpacked") $arch ${options[*]}"
  if [ -f "$out/.built" ] && [ "$(cat "$out/.built")" = "$stamp" ]; then
    return 0
  fi
  echo "curl.sh: building libcurl for $arch (about a minute)" >&2
  rm -rf "$out"
  # The project's toolchain file, without the emulator it sets for the tests.
  cmake -S "$src" -B "$out/build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-$arch.cmake" \
        -DCMAKE_CROSSCOMPILING_EMULATOR= -DCMAKE_INSTALL_PREFIX="$out" "${options[@]}" >"$out.log" 2>&1 ||
    { tail -30 "$out.log" >&2; exit 1; }
  cmake --build "$out/build" -j"$(nproc)" >>"$out.log" 2>&1 || { tail -30 "$out.log" >&2; exit 1; }
  cmake --install "$out/build" >>"$out.log" 2>&1 || { tail -30 "$out.log" >&2; exit 1; }
  echo "$stamp" > "$out/.built"
}

case "$cmd" in
  fetch) fetch ;;
  build) fetch; build_arch "${3:?usage: curl.sh build BUILD_DIR ARCH}" ;;
  *) echo "usage: curl.sh fetch|build BUILD_DIR [ARCH]" >&2; exit 2 ;;
esac
