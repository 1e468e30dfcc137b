#!/usr/bin/env bash
# Builds the parsers of outside bytes for this Linux host as libFuzzer
# targets (AddressSanitizer and UndefinedBehaviorSanitizer) and runs them.
#   fuzz.sh quick [SECONDS]   each target for a few seconds (the tests do this)
#   fuzz.sh long [RUNS]       each target for RUNS inputs (default 10 million),
#                             one at a time, at low priority; a target may be
#                             named as a third argument
# The seed corpus is tests/fuzz/corpus/<target>; what the fuzzers add goes to
# build/fuzz/corpus, crashes to build/fuzz/crashes.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
out="${KESTRIN_FUZZ_DIR:-$root/build/fuzz}"
mode="${1:-quick}"
targets=(url_splitter shortcut_reader list_file file_name foreign_blocks text_lines)

declare -A sources=(
  [url_splitter]="model/UrlSplitter.cpp model/SentUrl.cpp"
  [shortcut_reader]="view/ShortcutReader.cpp"
  [list_file]="model/ListFile.cpp"
  [file_name]="model/FileNameRule.cpp model/UrlSplitter.cpp"
  [foreign_blocks]="view/ForeignBlocks.cpp"
  [text_lines]="view/TextLines.cpp"
)

cxx="${CXX_FUZZ:-clang++}"
if ! command -v "$cxx" >/dev/null; then
  echo "fuzz.sh: $cxx is missing (scripts/setup.sh installs clang)" >&2
  exit 1
fi

mkdir -p "$out/bin" "$out/corpus" "$out/crashes" "$out/logs"
for t in "${targets[@]}"; do
  bin="$out/bin/fuzz_$t"
  srcs=("$root/tests/fuzz/fuzz_$t.cpp")
  for s in ${sources[$t]}; do srcs+=("$root/$s"); done
  newest=$(ls -t "${srcs[@]}" "$root"/framework/Portable.h "$root"/model/*.h "$root"/view/*.h | head -1)
  if [ ! -x "$bin" ] || [ "$newest" -nt "$bin" ]; then
    "$cxx" -std=c++17 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
      -I"$root" "${srcs[@]}" -o "$bin"
  fi
done

prefix=()
run() {   # run TARGET LIBFUZZER-OPTIONS...
  local t="$1"; shift
  local rc=0
  mkdir -p "$out/corpus/$t" "$out/crashes/$t"
  "${prefix[@]}" "$out/bin/fuzz_$t" "$out/corpus/$t" "$root/tests/fuzz/corpus/$t" \
    -artifact_prefix="$out/crashes/$t/" -max_len=8192 -timeout=10 -rss_limit_mb=1024 \
    -print_final_stats=1 "$@" >"$out/logs/$mode-$t.log" 2>&1 || rc=$?
  local runs
  runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$out/logs/$mode-$t.log" | grep -o '[0-9]*$' || echo 0)
  if [ $rc -eq 0 ]; then
    echo "fuzz_$t: ${runs:-0} inputs, no fault"
  else
    echo "fuzz_$t: FAULT after ${runs:-?} inputs (log $out/logs/$mode-$t.log, input in $out/crashes/$t/)"
    tail -30 "$out/logs/$mode-$t.log"
  fi
  return $rc
}

status=0
case "$mode" in
  quick)
    secs="${2:-6}"
    prefix=(env)
    for t in "${targets[@]}"; do run "$t" -max_total_time="$secs" || status=1; done ;;
  long)
    runs="${2:-10000000}"
    prefix=(nice -n 19)
    [ -n "${3:-}" ] && targets=("$3")
    for t in "${targets[@]}"; do run "$t" -runs="$runs" || status=1; done ;;
  build) ;;
  *) echo "usage: fuzz.sh quick [SECONDS] | long [RUNS] | build" >&2; exit 2 ;;
esac
exit $status
