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

servers="$build/bench-servers"
bash "$root/tests/servers/servers.sh" start "$servers"
trap 'bash "$root/tests/servers/servers.sh" stop "$servers"' EXIT
url="http://127.0.0.1:$(cat "$servers/http.port")/bytes/104857600"

echo "== one 100 MiB download from a local server"
run "$build/bench/bench_download.exe" "$url"
curl -s -o /dev/null -w 'curl: %{size_download} bytes in %{time_total} s\n' "$url" |
  awk '{ printf "curl: %.1f MiB in %.3f s: %.1f MiB/s\n", $2/1048576, $5, $2/1048576/$5 }'

echo "== a 50 MB download cut off at 40 MB, then downloaded again"
KESTRIN_SERVER_DIR="$servers" run "$build/bench/bench_resume.exe"

echo "== a batch of 1,000 small files from a local server"
work="$build/bench-batch"
rm -rf "$work" && mkdir -p "$work/kestrin" "$work/wget"
port="$(cat "$servers/http.port")"
for i in $(seq 1 1000); do
  printf 'http://127.0.0.1:%s/bytes/2000/f%04d.bin\r\n' "$port" "$i"
done > "$work/list.kst"
tr -d '\r' < "$work/list.kst" > "$work/list.txt"
run "$build/bench/bench_batch.exe" "Z:${work//\//\\}\\list.kst" "Z:${work//\//\\}\\kestrin"
start=$(date +%s.%N)
(cd "$work/wget" && wget -q -i ../list.txt)
end=$(date +%s.%N)
printf 'wget -i: %d files in %.2f s\n' "$(ls "$work/wget" | wc -l)" "$(echo "$end - $start" | bc)"
