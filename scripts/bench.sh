#!/usr/bin/env bash
# Builds and runs the benchmarks under Wine; they print their figures.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$root/build"
"$root/scripts/setup.sh"
"$root/scripts/build.sh" "$build"
run() { xvfb-run -a "$root/scripts/wine-run.sh" "$build/wineprefix" "$@"; }
echo "== adding URLs to the list"
run "$build/bench/bench_add_urls.exe"
