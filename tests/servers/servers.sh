#!/usr/bin/env bash
# Usage: servers.sh start|stop DIR
# Starts (or stops) the tests' HTTP, FTP and TLS servers on 127.0.0.1, and
# a port that never answers a connection. Their ports go to DIR/http.port,
# DIR/ftp.port, DIR/https-*.port and DIR/unanswered.port; the
# FTP root is DIR/ftp, the TLS certificates are in DIR/tls.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
dir="$2"
# Debian's interpreter: it has pyftpdlib.
python=/usr/bin/python3

stop() {
  for name in http ftp https unanswered; do
    if [ -f "$dir/$name.pid" ]; then
      kill "$(cat "$dir/$name.pid")" 2>/dev/null || true
      rm -f "$dir/$name.pid" "$dir/$name.port" "$dir/$name"-*.port
    fi
  done
}

case "$1" in
start)
  stop
  mkdir -p "$dir/ftp/pub"
  # FTP files of the test pattern (the same bytes as the HTTP routes).
  "$python" - "$here" "$dir/ftp/pub" <<'PY'
import sys
sys.path.insert(0, sys.argv[1])
from http_server import pattern
for name, n in (('file-0', 0), ('file-5000', 5000), ('file-100000', 100000),
                ('delay226-5000', 5000), ('slow-400000', 400000), ('grown-30000', 30000),
                ('slow-norest-300000', 300000)):
    with open(f'{sys.argv[2]}/{name}.bin', 'wb') as f:
        f.write(pattern(n))
PY
  bash "$here/tls_certs.sh" "$dir/tls"
  nohup "$python" "$here/tls_server.py" "$dir/tls" "$dir" >/dev/null 2>&1 &
  echo $! > "$dir/https.pid"
  nohup "$python" "$here/http_server.py" "$dir/http.port" >/dev/null 2>&1 &
  echo $! > "$dir/http.pid"
  nohup "$python" "$here/ftp_server.py" "$dir/ftp" "$dir/ftp.port" "$dir/ftp.log" >/dev/null 2>&1 &
  echo $! > "$dir/ftp.pid"
  nohup "$python" "$here/unanswered_server.py" "$dir/unanswered.port" >/dev/null 2>&1 &
  echo $! > "$dir/unanswered.pid"
  for _ in $(seq 1 100); do
    [ -s "$dir/http.port" ] && [ -s "$dir/ftp.port" ] && [ -s "$dir/https-good.port" ] && [ -s "$dir/unanswered.port" ] && exit 0
    sleep 0.1
  done
  echo "servers.sh: the test servers did not start" >&2
  stop
  exit 1
  ;;
stop)
  stop
  ;;
esac
