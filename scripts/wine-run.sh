#!/usr/bin/env bash
# Usage: wine-run.sh PREFIX PROGRAM.exe [ARGS...]
# Runs a Windows program under Wine in PREFIX; used by CTest as the
# cross-compiling emulator.
set -e
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
# shellcheck source=wine-prefix.sh
source "$here/wine-prefix.sh" "$1"
shift
exec "$KESTRIN_WINE" "$@"
