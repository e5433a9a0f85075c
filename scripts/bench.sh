#!/usr/bin/env bash
# Runs every benchmark against the test servers and prints the tables of the README's speed
# section: our time against fetchmail's, our cycles against their transport floor (libcurl
# alone, same servers), the cost per message, and a log line and a log fold as the log grows.
# Builds the benchmarks first (BUILD_DIR, default ./build).
#   scripts/bench.sh [messages] [rounds]      (defaults 1000 and 3)
# QM_BENCH_LOAD=0 leaves out the load cycle (99 accounts x 100 messages, some minutes).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
messages=${1:-1000}
rounds=${2:-3}
load=${QM_BENCH_LOAD:-1}
command -v fetchmail >/dev/null || { echo "bench.sh: fetchmail is not installed (scripts/install-deps.sh --test)" >&2; exit 2; }
[ -f "$build/build.ninja" ] || [ -f "$build/Makefile" ] || cmake -S "$root" -B "$build" -G Ninja
cmake --build "$build" --target cycle_bench load_bench mail_bench qm_bench_writelog -j"${JOBS:-2}"

out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
"$root/tests/servers/run.sh" bash -c '
  set -e
  "$0/bin/mail_bench" "$2" "$3" > "$1/mail.txt"
  "$0/bin/cycle_bench" "$2" "$3" > "$1/cycle.txt"
  if [ "$4" = 1 ]; then "$0/bin/load_bench" 99 100 > "$1/load.txt"; else : > "$1/load.txt"; fi
' "$build" "$out" "$messages" "$rounds" "$load"
"$build/bin/qm_bench_writelog" --benchmark_repetitions=5 --benchmark_report_aggregates_only=true \
  --benchmark_format=csv > "$out/writelog.csv" 2>/dev/null

echo
echo "$(date -u '+%Y-%m-%d %H:%M UTC'), $(nproc) cores, $(free -g | awk '/^Mem:/ {print $2}') GB," \
     "$(grep -m1 'model name' /proc/cpuinfo | sed 's/.*: //'), load average $(cut -d' ' -f1-3 /proc/loadavg)"
echo
echo "| case | quillmarc (ms) | fetchmail (ms) | ratio |"
echo "|---|---:|---:|---:|"
cat "$out/mail.txt" "$out/cycle.txt" | awk -F'\t' '$1 == "TABLE" {
  ratio = ($4 == "" || $4 == 0) ? "" : sprintf("%.2f", $3 / $4)
  printf "| %s | %s | %s | %s |\n", $2, $3, ($4 == "" ? "-" : $4), (ratio == "" ? "-" : ratio) }'
echo
echo "| cycle | quillmarc (ms) | transport floor (ms) | ratio |"
echo "|---|---:|---:|---:|"
cat "$out/cycle.txt" "$out/load.txt" | awk -F'\t' '$1 == "FLOOR" {
  printf "| %s | %s | %s | %.2f |\n", $2, $3, $4, $3 / $4 }'
echo
echo "| cost per message | quillmarc (ms) | fetchmail (ms) | transport floor (ms) |"
echo "|---|---:|---:|---:|"
awk -F'\t' '$1 == "COST" { printf "| %s | %s | %s | %s |\n", $2, $3, $4, $5 }' "$out/cycle.txt"
echo
awk -F'\t' '$1 == "SYNC" { printf "One synced one-line append in Data/ took %s ms (median) during the cycle run.\n", $2 }' \
  "$out/cycle.txt"
awk -F'\t' '$1 == "MEMORY" { printf "Peak resident memory of the load cycle: %.1f MB.\n", $3 / 1024 }' "$out/load.txt"
echo
# Google Benchmark CSV: name,iterations,real_time,cpu_time,time_unit,... (medians of 5 runs)
echo "| log, lines already in it | a line, plain (ms) | a line, encrypted (ms) | fold of 100 lines, plain (ms) | fold, encrypted (ms) |"
echo "|---|---:|---:|---:|---:|"
awk -F',' 'NR > 1 && $1 ~ /_median"$/ {
  gsub(/"/, "", $1); sub(/_median$/, "", $1); split($1, p, "/")
  t[p[1], p[2]] = $3; sizes[p[2]] = 1 }
  END { n = split("100 1000 10000 30000", order, " ")
    for (i = 1; i <= n; ++i) { s = order[i]; if (!(s in sizes)) continue
      printf "| %s | %.3f | %.3f | %.1f | %.1f |\n", s, t["BM_WriteLogPlain", s],
        t["BM_WriteLogEncrypted", s], t["BM_FoldPlain", s], t["BM_FoldEncrypted", s] } }' \
  "$out/writelog.csv"
