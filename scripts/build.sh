#!/usr/bin/env bash
# Usage: build.sh BUILD_DIR — configures (once) and builds Kestrin and its tests.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${1:-$root/build}"
# shellcheck source=arch.sh
source "$root/scripts/arch.sh"

configure() {   # configure DIR ARCH [CMAKE OPTIONS...]
  local dir="$1" arch="$2"; shift 2
  local toolchain="$root/cmake/mingw-$arch.cmake"
  if [ ! -f "$dir/CMakeCache.txt" ] || ! grep -q "^CMAKE_TOOLCHAIN_FILE:.*=$toolchain\$" "$dir/CMakeCache.txt"; then
    rm -rf "$dir/CMakeCache.txt" "$dir/CMakeFiles"
    cmake -S "$root" -B "$dir" -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release "$@" >/dev/null
  elif [ $# -gt 0 ]; then
    cmake "$dir" "$@" >/dev/null   # options changed since the first run
  fi
}

# The transfer library first: fetched and built once, then kept in $build/curl.
bash "$root/scripts/curl.sh" build "$build" "$KESTRIN_ARCH"
configure "$build" "$KESTRIN_ARCH" -DKESTRIN_CURL_DIR="$build/curl/$KESTRIN_ARCH"
cmake --build "$build" -j"$(nproc)"
if [ "$KESTRIN_ARCH" != i686 ] && [ -z "${KESTRIN_SKIP_I686:-}" ]; then
  # The program that ships is the 32-bit one: it is built, with its tests
  # and benchmarks, also where this machine cannot run them
  # (KESTRIN_SKIP_I686=1 leaves that out while working on something else).
  bash "$root/scripts/curl.sh" build "$build" i686
  configure "$build/i686" i686 -DKESTRIN_TESTS=ON -DKESTRIN_CURL_DIR="$build/curl/i686"
  cmake --build "$build/i686" -j"$(nproc)"
fi
