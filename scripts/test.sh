#!/usr/bin/env bash
# Builds everything and runs every test.
#   scripts/test.sh              normal build (build/)
#   scripts/test.sh --sanitize   address + undefined-behaviour sanitizers (build-asan/)
#   scripts/test.sh --no-gui     without the window layers and Qt (build-nogui/)
# Under CI (CI=true) warnings are errors.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
bash "$here/scripts/deps.sh"

if [ -z "${XDG_RUNTIME_DIR:-}" ] || [ ! -w "${XDG_RUNTIME_DIR:-/nonexistent}" ]; then
  XDG_RUNTIME_DIR=$(mktemp -d /tmp/kalvex-runtime-XXXXXX)
  chmod 700 "$XDG_RUNTIME_DIR"
  export XDG_RUNTIME_DIR
fi
export QT_QPA_PLATFORM=offscreen

strict=()
[ "${CI:-}" = "true" ] && strict=(-DKALVEX_WERROR=ON)

if [ "${1:-}" = "--no-gui" ]; then
  dir="$here/build-nogui"
  # Without optimisation or debug information: this build proves the layering and runs the
  # tests once more, so it should be quick to compile.
  bash "$here/scripts/build.sh" "$dir" -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG=-O0 \
    -DKALVEX_GUI=OFF -DKALVEX_BUILD_BENCH=OFF "${strict[@]}"
elif [ "${1:-}" = "--sanitize" ]; then
  dir="$here/build-asan"
  bash "$here/scripts/build.sh" "$dir" -DCMAKE_BUILD_TYPE=Debug -DKALVEX_SANITIZE=ON -DKALVEX_BUILD_BENCH=OFF "${strict[@]}"
  export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1
else
  dir="$here/build"
  bash "$here/scripts/build.sh" "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "${strict[@]}"
fi
cd "$dir"
ctest --output-on-failure -j "$(nproc)"
