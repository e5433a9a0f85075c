#!/usr/bin/env bash
# Runs every benchmark against the test servers and prints one table: our time, fetchmail's
# time and the ratio per case, then the cost per message of a cycle and of a log write as the
# log grows. Builds the benchmarks first (BUILD_DIR, default ./build).
#   scripts/bench.sh [messages] [rounds]      (defaults 1000 and 3)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
messages=${1:-1000}
rounds=${2:-3}
command -v fetchmail >/dev/null || { echo "bench.sh: fetchmail is not installed (scripts/install-deps.sh --test)" >&2; exit 2; }
[ -f "$build/build.ninja" ] || [ -f "$build/Makefile" ] || cmake -S "$root" -B "$build" -G Ninja
cmake --build "$build" --target cycle_bench mail_bench qm_bench_writelog -j"${JOBS:-2}"

out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
"$root/tests/servers/run.sh" bash -c '
  set -e
  "$0/bin/mail_bench" "$2" "$3" > "$1/mail.txt"
  "$0/bin/cycle_bench" "$2" "$3" > "$1/cycle.txt"
' "$build" "$out" "$messages" "$rounds"
"$build/bin/qm_bench_writelog" --benchmark_format=csv > "$out/writelog.csv" 2>/dev/null

echo
echo "$(date -u '+%Y-%m-%d %H:%M UTC'), $(nproc) cores, $(free -g | awk '/^Mem:/ {print $2}') GB," \
     "$(grep -m1 'model name' /proc/cpuinfo | sed 's/.*: //')"
echo
echo "| case | quillmarc (ms) | fetchmail (ms) | ratio |"
echo "|---|---:|---:|---:|"
cat "$out/mail.txt" "$out/cycle.txt" | awk -F'\t' '$1 == "TABLE" {
  ratio = ($4 == "" || $4 == 0) ? "" : sprintf("%.2f", $3 / $4)
  printf "| %s | %s | %s | %s |\n", $2, $3, ($4 == "" ? "-" : $4), (ratio == "" ? "-" : ratio) }'
echo
echo "| cost per message | quillmarc (ms) | fetchmail (ms) |"
echo "|---|---:|---:|"
awk -F'\t' '$1 == "COST" { printf "| %s | %s | %s |\n", $2, $3, $4 }' "$out/cycle.txt"
# Google Benchmark CSV: name,iterations,real_time,cpu_time,time_unit,...
awk -F',' 'NR > 1 && $1 ~ /BM_WriteLog/ {
  gsub(/"/, "", $1); split($1, p, "/"); kind = (p[1] ~ /Encrypted/) ? "encrypted" : "plain"
  printf "| log write, %s lines, %s | %.2f | - |\n", p[2], kind, $3 }' "$out/writelog.csv"
