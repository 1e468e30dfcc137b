#!/usr/bin/env bash
# Usage: batch_server.sh start|stop DIR
# Starts (or stops) the batch tests' counting HTTP server on 127.0.0.1;
# its port goes to DIR/batch.port.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
dir="$2"
python=/usr/bin/python3

stop() {
  if [ -f "$dir/batch.pid" ]; then
    kill "$(cat "$dir/batch.pid")" 2>/dev/null || true
    rm -f "$dir/batch.pid" "$dir/batch.port"
  fi
}

case "$1" in
start)
  stop
  mkdir -p "$dir"
  nohup "$python" "$here/batch_server.py" "$dir/batch.port" >/dev/null 2>&1 &
  echo $! > "$dir/batch.pid"
  for _ in $(seq 1 100); do
    [ -s "$dir/batch.port" ] && exit 0
    sleep 0.1
  done
  echo "batch_server.sh: the batch server did not start" >&2
  stop
  exit 1
  ;;
stop)
  stop
  ;;
esac
