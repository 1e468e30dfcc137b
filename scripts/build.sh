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
  fi
}

configure "$build" "$KESTRIN_ARCH"
cmake --build "$build" -j"$(nproc)"
if [ "$KESTRIN_ARCH" != i686 ] && [ -z "${KESTRIN_SKIP_I686:-}" ]; then
  # The program itself is always built for 32-bit Windows as well
  # (KESTRIN_SKIP_I686=1 leaves that out while working on something else).
  configure "$build/i686" i686 -DKESTRIN_TESTS=OFF
  cmake --build "$build/i686" -j"$(nproc)" --target Kestrin
fi
