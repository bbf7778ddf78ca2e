#!/usr/bin/env bash
# Builds Kalvex and starts it. Without a unit on USB, the simulated unit (kalvex-unitsim)
# is started first and stopped again when the program ends.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
bash "$here/scripts/deps.sh"
bash "$here/scripts/build.sh" "$here/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo

if [ -z "${XDG_RUNTIME_DIR:-}" ] || [ ! -w "${XDG_RUNTIME_DIR:-/nonexistent}" ]; then
  XDG_RUNTIME_DIR=$(mktemp -d /tmp/kalvex-runtime-XXXXXX)
  chmod 700 "$XDG_RUNTIME_DIR"
  export XDG_RUNTIME_DIR
fi

# A unit behind a USB FIFO chip of the usual vendor (0403)?
real_unit=no
for v in /sys/bus/usb/devices/*/idVendor; do
  [ -r "$v" ] && [ "$(cat "$v")" = "0403" ] && real_unit=yes
done

sim_pid=
if [ "$real_unit" = no ]; then
  echo "No unit on USB: starting the simulated unit (build/sim/kalvex-unitsim --help for its options)."
  "$here/build/sim/kalvex-unitsim" --quiet &
  sim_pid=$!
  trap '[ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null' EXIT
  trap 'exit 130' INT TERM
  sleep 0.3
fi

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display to show the window on (DISPLAY is not set). Log in to a desktop, or try:" >&2
  echo "  xvfb-run -a bash scripts/run.sh" >&2
  exit 1
fi
"$here/build/app/kalvex"
