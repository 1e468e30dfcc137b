#!/usr/bin/env bash
# Sourced: chooses the Windows architecture the tests and the run copy are
# built for, and the Wine loader that runs them.
#
# Kestrin is a 32-bit Windows program and is always built as one. Wine runs
# 32-bit programs only where the Linux kernel runs 32-bit code; on a kernel
# without it (ia32 emulation off) the tests and the run copy are built for
# 64-bit Windows from the same sources and run by 64-bit Wine instead.
# KESTRIN_ARCH=i686 or x86_64 overrides the choice.
if [ -z "${KESTRIN_ARCH:-}" ]; then
  if /usr/lib/wine/wine --version >/dev/null 2>&1; then
    KESTRIN_ARCH=i686
  else
    KESTRIN_ARCH=x86_64
  fi
fi
export KESTRIN_ARCH
if [ "$KESTRIN_ARCH" = i686 ]; then
  export WINEARCH=win32 KESTRIN_WINE=/usr/lib/wine/wine
else
  export WINEARCH=win64 KESTRIN_WINE=/usr/lib/wine/wine64
  export WINELOADER=/usr/lib/wine/wine64
fi
