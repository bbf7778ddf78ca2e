#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (address + undefined-behaviour sanitizers) and runs
# each for a while, starting from fuzz/corpus/<target> plus what earlier runs found.
#
#   scripts/fuzz.sh [seconds per target, default 20] [target ...]
#
# Targets: fuzz_settings fuzz_data fuzz_views fuzz_save fuzz_cli fuzz_unit_replies (default:
# all, one after another; 10 s each is a one-minute routine run).
# Environment: KALVEX_FUZZ_BUILD (build dir, default build-fuzz), KALVEX_FUZZ_NO_BUILD=1 to
# skip the build (for several runs side by side on one build), KALVEX_FUZZ_OPEN (names of
# known faults whose checks are left out, comma-separated; see fuzz/README.md; default: the
# list below).
# Crash, timeout, leak and slow-input files land in <build>/fuzz-findings/<target>/; the exit
# status is non-zero when any run found something.
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
seconds="${1:-20}"
shift || true
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=(fuzz_settings fuzz_data fuzz_views fuzz_save fuzz_cli
  fuzz_unit_replies)
build="${KALVEX_FUZZ_BUILD:-$root/build-fuzz}"
# Known faults that are still being fixed: their checks stay off so that a routine run reports
# only new ones. Empty the list as the fixes land.
export KALVEX_FUZZ_OPEN="${KALVEX_FUZZ_OPEN-}"

if [ "${KALVEX_FUZZ_NO_BUILD:-0}" != 1 ]; then
  # clang and its sanitizer and libFuzzer runtimes besides the usual packages.
  bash "$root/scripts/deps.sh" clang libclang-rt-14-dev
  if [ ! -f "$build/CMakeCache.txt" ]; then
    CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DKALVEX_FUZZ=ON -DKALVEX_BUILD_TESTS=OFF -DKALVEX_BUILD_BENCH=OFF >/dev/null
  fi
  cmake --build "$build" -j2 --target "${targets[@]}"
fi

declare -A max_len=([fuzz_settings]=4096 [fuzz_data]=65536 [fuzz_views]=8192 [fuzz_save]=8192
  [fuzz_cli]=512 [fuzz_unit_replies]=4096)
declare -A dict=([fuzz_settings]=settings [fuzz_data]=settings [fuzz_cli]=cli)
# The targets that write files do it in a scratch folder on tmpfs, removed here even after a
# crash.
scratch="$(mktemp -d "$([ -w /dev/shm ] && echo /dev/shm || echo "${TMPDIR:-/tmp}")/kalvex-fuzz-run.XXXXXX")"
trap 'chmod -R u+rwx "$scratch" 2>/dev/null; rm -rf "$scratch"' EXIT
export KALVEX_FUZZ_TMP="$scratch"
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
  opts=()
  [ -n "${dict[$t]:-}" ] && opts+=(-dict="$root/fuzz/dict/${dict[$t]}.dict")
  echo "== $t: ${seconds} s"
  rc=0
  "$bin" -max_total_time="$seconds" -timeout=10 -report_slow_units=2 \
    -max_len="${max_len[$t]:-4096}" -print_final_stats=1 -artifact_prefix="$findings/" \
    "${opts[@]}" "$corpus" "$seeds" >"$log" 2>&1 || rc=$?
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
