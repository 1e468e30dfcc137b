#!/usr/bin/env bash
# Usage: bench.sh [--quick]
# Builds the benchmarks and runs them under Wine against a local nginx on
# 127.0.0.1 (started here, as the current user, from the build folder),
# each beside its peers in the same run. Every figure is the median of
# interleaved rounds (3; --quick: 1 round on smaller data, a few minutes).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$root/build"
quick=0
[ "${1:-}" = --quick ] && quick=1

if [ -z "${KESTRIN_BENCH_DISPLAY:-}" ]; then
  "$root/scripts/setup.sh"
  "$root/scripts/build.sh" "$build" >/dev/null
  # A Wine prefix of their own: the benchmarks keep its server running and
  # stop it at the end, which must not touch tests running beside them.
  (source "$root/scripts/wine-prefix.sh" "$build/bench-wineprefix")
  # One virtual display for every run.
  KESTRIN_BENCH_DISPLAY=1 exec xvfb-run -a -s "-screen 0 1024x768x24" bash "$0" "$@"
fi

if [ "$quick" = 1 ]; then
  rounds=1 big_mib=20 list_lines=20000 batch_files=2000
else
  rounds=3 big_mib=100 list_lines=100000 batch_files=10000
fi
small_files=1000

work="$build/bench-work"
nginx_dir="$work/nginx"
www="$nginx_dir/www"
rm -rf "$work"
mkdir -p "$nginx_dir/logs" "$nginx_dir/tmp" "$www"

# shellcheck source=wine-prefix.sh
source "$root/scripts/wine-prefix.sh" "$build/bench-wineprefix"
stop_all() {
  [ -f "$nginx_dir/nginx.pid" ] && kill "$(cat "$nginx_dir/nginx.pid")" 2>/dev/null || true
  wineserver -k 2>/dev/null || true
}
trap stop_all EXIT
# Keep one Wine server for all the runs.
wineserver -p

# ---- the data nginx serves
echo "bench: writing the files nginx serves"
head -c $((big_mib * 1048576)) /dev/urandom > "$www/big.bin"
python3 - "$www" "$small_files" "$batch_files" <<'PY'
import os, sys
www, small, batch = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
block = os.urandom(10240)
for folder, count, width in (("small", small, 4), ("batch", batch, 5)):
    os.makedirs(os.path.join(www, folder))
    for i in range(1, count + 1):
        with open(os.path.join(www, folder, "f%0*d.bin" % (width, i)), "wb") as f:
            f.write(block)
PY

# ---- nginx on a free port of 127.0.0.1
port="$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')"
user_line=""
[ "$(id -u)" = 0 ] && user_line="user $(id -un) $(id -gn);"
cat > "$nginx_dir/nginx.conf" <<EOF
$user_line
worker_processes 1;
pid $nginx_dir/nginx.pid;
error_log $nginx_dir/logs/error.log;
events { worker_connections 512; }
http {
  access_log off;
  sendfile on;
  tcp_nopush on;
  keepalive_requests 100000;
  default_type application/octet-stream;
  client_body_temp_path $nginx_dir/tmp/body;
  proxy_temp_path $nginx_dir/tmp/proxy;
  fastcgi_temp_path $nginx_dir/tmp/fastcgi;
  uwsgi_temp_path $nginx_dir/tmp/uwsgi;
  scgi_temp_path $nginx_dir/tmp/scgi;
  server {
    listen 127.0.0.1:$port;
    root $www;
  }
}
EOF
nginx -p "$nginx_dir" -c "$nginx_dir/nginx.conf" -e "$nginx_dir/logs/error.log"
base="http://127.0.0.1:$port"
for _ in $(seq 1 50); do
  curl -sf -o /dev/null "$base/small/f0001.bin" && break
  sleep 0.1
done
curl -sf -o /dev/null "$base/small/f0001.bin" || { echo "bench: nginx did not start" >&2; exit 1; }
echo "bench: nginx on $base; $rounds round(s)"

# A program that fails still prints what it measured; the figures say so.
# Wine's console ends lines with CR LF; the figures are read without the CR.
run() { { "$KESTRIN_WINE" "$@" || echo "bench: $(basename "$1") failed" >&2; } | tr -d '\r'; }
winpath() { local p="${1//\//\\}"; echo "Z:$p"; }
now() { date +%s.%N; }
since() { echo "$(now) - $1" | bc; }
# The number after " in " in a program's report: its seconds.
seconds_of() { sed -n 's/.* in \([0-9.]*\) s.*/\1/p' | head -1; }

declare -A results
note() { results["$1"]+="$2 "; }
median() {
  printf '%s\n' ${results["$1"]:-} | sort -g |
    awk '{ v[NR] = $1 } END { if (NR == 0) print "nan"; else if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}
bench_exe() { echo "$build/bench/$1.exe"; }

# ---- one large file
printf '%s\r\n' "$base/big.bin" > "$work/big.kst"
for r in $(seq 1 "$rounds"); do
  out="$(run "$(bench_exe bench_download)" "$base/big.bin")"
  note big_engine "$(seconds_of <<<"$out")"
  rm -rf "$work/prog" && mkdir -p "$work/prog"
  out="$(run "$(bench_exe bench_batch)" "$(winpath "$work/big.kst")" "$(winpath "$work/prog")")"
  note big_program "$(seconds_of <<<"$out")"
  out="$(run "$(bench_exe bench_wininet)" "$base/big.bin" "$(winpath "$work/wininet.bin")")"
  note big_wininet "$(seconds_of <<<"$out")"
  note big_curl "$(curl -s -o "$work/curl.bin" -w '%{time_total}' "$base/big.bin")"
  rm -f "$work/curl.bin"
  t="$(now)"; wget -q -O "$work/wget.bin" "$base/big.bin"; note big_wget "$(since "$t")"
  rm -f "$work/wget.bin" "$work/prog/big.bin"
done
echo
echo "== one ${big_mib} MiB file (MiB/s, median of $rounds)"
for who in engine program wininet curl wget; do
  s="$(median "big_$who")"
  case $who in
    engine) label="Kestrin's engine";;
    program) label="Kestrin, batch command";;
    wininet) label="WinINet 64 KiB loop (ceiling)";;
    *) label="$who";;
  esac
  if [ "$s" = nan ]; then
    printf '  %-32s   failed\n' "$label"
  else
    printf '  %-32s %8.1f MiB/s  (%.3f s)\n' "$label" "$(echo "$big_mib / $s" | bc -l)" "$s"
  fi
done

# ---- many small files
for i in $(seq 1 "$small_files"); do printf '%s/small/f%04d.bin\r\n' "$base" "$i"; done > "$work/small.kst"
tr -d '\r' < "$work/small.kst" > "$work/small.txt"
for r in $(seq 1 "$rounds"); do
  rm -rf "$work/s" && mkdir -p "$work/s/kestrin" "$work/s/engine" "$work/s/wininet" "$work/s/libcurl" "$work/s/wget" "$work/s/aria2c" "$work/s/curl"
  out="$(run "$(bench_exe bench_download)" --list "$(winpath "$work/small.kst")" "$(winpath "$work/s/engine")")"
  note small_engine "$(seconds_of <<<"$out")"
  out="$(run "$(bench_exe bench_files)" "$(winpath "$work/s/floor")" "$small_files" 10240)"
  note small_floor "$(seconds_of <<<"$out")"
  rm -rf "$work/s/floor"
  out="$(run "$(bench_exe bench_batch)" "$(winpath "$work/small.kst")" "$(winpath "$work/s/kestrin")")"
  note small_kestrin "$(seconds_of <<<"$out")"
  out="$(run "$(bench_exe bench_wininet)" --list "$(winpath "$work/small.kst")" "$(winpath "$work/s/wininet")")"
  note small_wininet "$(seconds_of <<<"$out")"
  out="$(run "$(bench_exe bench_curl)" "$(winpath "$work/small.kst")" "$(winpath "$work/s/libcurl")")"
  note small_libcurl "$(seconds_of <<<"$out")"
  t="$(now)"; wget -q -i "$work/small.txt" -P "$work/s/wget"; note small_wget "$(since "$t")"
  t="$(now)"; aria2c -q -i "$work/small.txt" -j2 -d "$work/s/aria2c" --allow-overwrite=true
  note small_aria2c "$(since "$t")"
  t="$(now)"
  # shellcheck disable=SC2046
  curl -s --no-progress-meter --parallel --parallel-max 2 --output-dir "$work/s/curl" --remote-name-all $(cat "$work/small.txt")
  note small_curl "$(since "$t")"
  for who in kestrin engine wininet libcurl wget aria2c curl; do
    n="$(find "$work/s/$who" -type f | wc -l)"
    [ "$n" = "$small_files" ] || echo "bench: $who wrote $n of $small_files files" >&2
  done
done
rm -rf "$work/s"
echo
echo "== $small_files files of 10 KiB in one batch (s, median of $rounds)"
printf '  %-32s %8.2f s\n' "Kestrin" "$(median small_kestrin)" \
  "Kestrin's engine, one worker" "$(median small_engine)" \
  "floor: only writing the files" "$(median small_floor)" \
  "WinINet loop, one at a time" "$(median small_wininet)" \
  "libcurl loop, one at a time" "$(median small_libcurl)" "wget -i" "$(median small_wget)" \
  "aria2c -i -j2" "$(median small_aria2c)" "curl --parallel-max 2" "$(median small_curl)"

# ---- a long list
for r in $(seq 1 "$rounds"); do
  out="$(run "$(bench_exe bench_list)" "$list_lines")"
  [ "$r" = "$rounds" ] && list_report="$out"
  note list_alone "$(sed -n 's/^document alone: .* added in \([0-9.]*\) s.*/\1/p' <<<"$out")"
  note list_start "$(sed -n 's/^start with the list: .* in \([0-9.]*\) s/\1/p' <<<"$out")"
  note list_open "$(sed -n 's/^open: .* in \([0-9.]*\) s/\1/p' <<<"$out")"
  note list_paste "$(sed -n 's/^paste: .* in \([0-9.]*\) s/\1/p' <<<"$out")"
  note list_delete "$(sed -n 's/^delete: .* in \([0-9.]*\) s.*/\1/p' <<<"$out")"
  note list_mem "$(sed -n 's/^memory: \([0-9.]*\) MiB resident.*/\1/p' <<<"$out")"
done
echo
echo "== a list of $list_lines lines (s to the rows shown, median of $rounds)"
printf '  %-32s %8.3f s\n' "document alone, adding the URLs" "$(median list_alone)" \
  "start with the list" "$(median list_start)" "open in the running program" "$(median list_open)" \
  "paste" "$(median list_paste)" "delete every row" "$(median list_delete)"
printf '  %-32s %8.1f MiB resident per 100,000 rows\n' "rows in the window" "$(median list_mem)"
sed -n 's/^memory: /  last round, the running program: /p' <<<"$list_report"

# ---- a long batch
for i in $(seq 1 "$batch_files"); do printf '%s/batch/f%05d.bin\r\n' "$base" "$i"; done > "$work/batch.kst"
tenths_median() {   # tenths_median KEY: the median of each tenth over the rounds
  python3 -c '
import statistics, sys
rounds = [[float(v) for v in r.split()] for r in sys.argv[1].split("|") if r.split()]
print("".join(" %.0f" % statistics.median(col) for col in zip(*rounds)))' "${results[$1]:-}"
}
for r in $(seq 1 "$rounds"); do
  rm -rf "$work/b" && mkdir -p "$work/b/kestrin" "$work/b/wininet"
  out="$(run "$(bench_exe bench_batch)" "$(winpath "$work/batch.kst")" "$(winpath "$work/b/kestrin")")"
  note batch_kestrin "$(seconds_of <<<"$out")"
  results[batch_kestrin_tenths]+="$(sed -n 's/^tenths kestrin (files\/s)://p' <<<"$out")|"
  kestrin_process[$r]="$(sed -n 's/^process kestrin: //p' <<<"$out")"
  out="$(run "$(bench_exe bench_wininet)" --list "$(winpath "$work/batch.kst")" "$(winpath "$work/b/wininet")")"
  note batch_wininet "$(seconds_of <<<"$out")"
  results[batch_wininet_tenths]+="$(sed -n 's/^tenths wininet loop (files\/s)://p' <<<"$out")|"
  wininet_process[$r]="$(sed -n 's/^process wininet loop: //p' <<<"$out")"
done
rm -rf "$work/b"
echo
echo "== a batch of $batch_files files of 10 KiB (median of $rounds)"
printf '  %-32s %8.2f s\n' "Kestrin" "$(median batch_kestrin)" "WinINet loop, one at a time" "$(median batch_wininet)"
echo "  files/s by tenths of the batch:"
echo "    Kestrin:     $(tenths_median batch_kestrin_tenths)"
echo "    WinINet loop:$(tenths_median batch_wininet_tenths)"
echo "  memory and handles, each round:"
for r in $(seq 1 "$rounds"); do
  echo "    Kestrin, round $r: ${kestrin_process[$r]}"
done
echo "    WinINet loop, last round: ${wininet_process[$rounds]}"

# ---- the document's own lists
echo
echo "== the document alone: 100,000 URLs"
run "$(bench_exe bench_add_urls)" | sed 's/^/  /'

# ---- resuming: the tests' own server cuts the first download off
echo
echo "== a 50 MB download cut off at 40 MB, then downloaded again"
servers="$work/servers"
bash "$root/tests/servers/servers.sh" start "$servers" >/dev/null
KESTRIN_SERVER_DIR="$servers" run "$(bench_exe bench_resume)" | sed 's/^/  /'
bash "$root/tests/servers/servers.sh" stop "$servers" >/dev/null
