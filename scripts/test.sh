#!/usr/bin/env bash
# Builds Kestrin with its tests and runs every test under Wine on a
# virtual display. Extra arguments go to ctest (for example -R model).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$root/build"

"$root/scripts/setup.sh"
# shellcheck source=arch.sh
source "$root/scripts/arch.sh"
if [ "$KESTRIN_ARCH" = i686 ]; then
  echo "test: the 32-bit tests run under 32-bit Wine"
else
  echo "test: this machine cannot run 32-bit code: the 32-bit program and tests are built" \
       "(build/i686), and the tests run from the 64-bit build under 64-bit Wine"
fi
"$root/scripts/build.sh" "$build"
# The fuzz targets are built for this host (the fuzz_quick test runs them).
"$root/scripts/fuzz.sh" build
# Make the tests' Wine prefix once, before any test runs.
# shellcheck source=wine-prefix.sh
(source "$root/scripts/wine-prefix.sh" "$build/wineprefix")

cd "$build"
xvfb-run -a -s "-screen 0 1024x768x24" ctest --output-on-failure --timeout 300 "$@"
