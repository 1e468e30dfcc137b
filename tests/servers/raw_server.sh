#!/usr/bin/env bash
# Usage: raw_server.sh start|stop DIR
# Starts (or stops) the URL tests' HTTP server on 127.0.0.1, which answers
# with the request it received; its port goes to DIR/raw.port, its log to
# DIR/raw.log. Start also builds the tests' name mapping,
# DIR/resolve/<platform>/resolve_shim.so, for 64-bit and (where the compiler
# can) 32-bit Wine: a test preloads it through LD_PRELOAD with $PLATFORM.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
dir="$2"
python=/usr/bin/python3
cc="${CC_SHIM:-clang}"

stop() {
  if [ -f "$dir/raw.pid" ]; then
    kill "$(cat "$dir/raw.pid")" 2>/dev/null || true
    rm -f "$dir/raw.pid" "$dir/raw.port"
  fi
}

case "$1" in
start)
  stop
  mkdir -p "$dir/resolve/x86_64" "$dir/resolve/i686"
  "$cc" -shared -fPIC -O2 -nostdlib -o "$dir/resolve/x86_64/resolve_shim.so" "$here/resolve_shim.c"
  "$cc" -m32 -shared -fPIC -O2 -nostdlib -o "$dir/resolve/i686/resolve_shim.so" "$here/resolve_shim.c" \
    2>/dev/null || echo "raw_server.sh: no 32-bit name mapping ($cc -m32 failed)" >&2
  rm -f "$dir/raw.log"
  nohup "$python" "$here/raw_server.py" "$dir/raw.port" >/dev/null 2>&1 &
  echo $! > "$dir/raw.pid"
  for _ in $(seq 1 100); do
    [ -s "$dir/raw.port" ] && exit 0
    sleep 0.1
  done
  echo "raw_server.sh: the raw server did not start" >&2
  stop
  exit 1
  ;;
stop)
  stop
  ;;
esac
