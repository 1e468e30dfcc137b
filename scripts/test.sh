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
# The Wine tests run in lanes side by side, each with a Wine prefix and a
# virtual display of its own (KESTRIN_TEST_LANES, 2 unless set; 1 runs
# one test at a time). The prefixes are made once, before any test runs.
lanes="${KESTRIN_TEST_LANES:-2}"
[[ "$lanes" =~ ^[1-9]$ ]] || { echo "test: KESTRIN_TEST_LANES must be 1 to 9" >&2; exit 2; }
for id in $(seq 0 $((lanes - 1))); do
  prefix="$build/wineprefix"
  [ "$id" = 0 ] || prefix="$build/wineprefix-$id"
  # shellcheck source=wine-prefix.sh
  (source "$root/scripts/wine-prefix.sh" "$prefix") &
done
wait
# Lane 0 uses xvfb-run's display; every other lane gets an Xvfb of its own.
displays=()
stop_displays() { [ ${#displays[@]} -eq 0 ] || kill "${displays[@]}" 2>/dev/null || true; }
trap stop_displays EXIT
for id in $(seq 1 $((lanes - 1))); do
  n=90
  while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
  Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
  displays+=("$!")
  export "KESTRIN_LANE_DISPLAY_$id=:$n"
  for _ in $(seq 1 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
done

cd "$build"
xvfb-run -a -s "-screen 0 1024x768x24" \
  env KESTRIN_TEST_LANES="$lanes" ctest --output-on-failure --timeout 300 -j"$lanes" "$@"
