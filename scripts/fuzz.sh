#!/bin/bash
# Runs every libFuzzer target for a bounded time, starting from the seed corpora in
# tests/fuzz/corpus. Usage: scripts/fuzz.sh [seconds per target, default 60] [target...]
# Targets: mail account_file settings_line log remote_command decrypt.
# New inputs that grow coverage go to build-fuzz/corpus/<target>; crashes to build-fuzz/findings/.
# A crash input belongs in tests/fuzz/corpus/<target>/ once fixed (the replay test runs it).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${QM_FUZZ_BUILD:-$root/build-fuzz}
seconds=${1:-60}
shift || true
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=(mail account_file settings_line log remote_command decrypt)

flags="-g -O1 -fno-omit-frame-pointer -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" \
  -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" \
  -DQM_FUZZ=ON -DQM_TESTS=OFF -DQM_BENCH=OFF >/dev/null
cmake --build "$build" -j2 $(printf -- '--target fuzz_%s ' "${targets[@]}")

export QT_QPA_PLATFORM=offscreen
# GLib and fontconfig keep caches for the life of the process; they are not ours.
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1}
status=0
for t in "${targets[@]}"; do
  mkdir -p "$build/corpus/$t" "$build/findings/$t"
  echo "== fuzz_$t for ${seconds}s"
  if ! "$build/bin/fuzz_$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
      -max_len=262144 -artifact_prefix="$build/findings/$t/" \
      "$build/corpus/$t" "$root/tests/fuzz/corpus/$t" 2>"$build/findings/$t.log"; then
    echo "   fuzz_$t FOUND A PROBLEM: see $build/findings/$t.log and $build/findings/$t/"
    status=1
  else
    tail -n 1 "$build/findings/$t.log" | sed 's/^/   /'
  fi
done
exit $status
