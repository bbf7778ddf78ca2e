#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (address + undefined-behaviour sanitizers) and runs
# each for a while, starting from fuzz/corpus/<target> plus what earlier runs found.
#
#   scripts/fuzz.sh [seconds per target, default 20] [target ...]
#
# Targets: fuzz_settings fuzz_data fuzz_unit_replies (default: all, one after another).
# Environment: KALVEX_FUZZ_BUILD (build dir, default build-fuzz), KALVEX_FUZZ_NO_BUILD=1 to
# skip the build (for several runs side by side on one build).
# Crash, timeout, leak and slow-input files land in <build>/fuzz-findings/<target>/; the exit
# status is non-zero when any run found something.
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
seconds="${1:-20}"
shift || true
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=(fuzz_settings fuzz_data fuzz_unit_replies)
build="${KALVEX_FUZZ_BUILD:-$root/build-fuzz}"

if [ "${KALVEX_FUZZ_NO_BUILD:-0}" != 1 ]; then
  # clang and its sanitizer and libFuzzer runtimes besides the usual packages.
  bash "$root/scripts/deps.sh" clang libclang-rt-14-dev
  if [ ! -f "$build/CMakeCache.txt" ]; then
    CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DKALVEX_FUZZ=ON -DKALVEX_BUILD_TESTS=OFF -DKALVEX_BUILD_BENCH=OFF >/dev/null
  fi
  cmake --build "$build" -j2 --target "${targets[@]}"
fi

declare -A max_len=([fuzz_settings]=4096 [fuzz_data]=65536 [fuzz_unit_replies]=4096)
status=0
summary=()
for t in "${targets[@]}"; do
  bin="$build/fuzz/$t"
  seeds="$root/fuzz/corpus/${t#fuzz_}"
  corpus="$build/fuzz-corpus/$t"
  findings="$build/fuzz-findings/$t"
  log="$build/fuzz-logs/$t.log"
  [ -x "$bin" ] || { echo "missing $bin" >&2; exit 2; }
  mkdir -p "$corpus" "$findings" "$(dirname "$log")"
  before=$(find "$findings" -type f | wc -l)
  echo "== $t: ${seconds} s"
  rc=0
  "$bin" -max_total_time="$seconds" -timeout=10 -report_slow_units=2 \
    -max_len="${max_len[$t]:-4096}" -print_final_stats=1 -artifact_prefix="$findings/" \
    "$corpus" "$seeds" >"$log" 2>&1 || rc=$?
  execs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' | tail -1)
  after=$(find "$findings" -type f | wc -l)
  found=$((after - before))
  if [ "$rc" -ne 0 ] && [ "$found" -eq 0 ]; then found=1; fi
  if [ "$found" -ne 0 ]; then
    status=1
    grep -E '^==[0-9]+==ERROR|runtime error|ALARM|Slowest unit|^artifact_prefix|Test unit written' \
      "$log" | head -20 || true
  fi
  summary+=("$(printf '%-18s %6s s %12s execs %3d findings' "$t" "$seconds" "${execs:-?}" "$found")")
done

echo "== summary (logs in $build/fuzz-logs, findings in $build/fuzz-findings)"
printf '%s\n' "${summary[@]}"
exit $status
