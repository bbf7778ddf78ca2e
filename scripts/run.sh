#!/usr/bin/env bash
# Builds Kalvex and starts it.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
bash "$here/scripts/deps.sh"
bash "$here/scripts/build.sh" "$here/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo

if [ ! -x "$here/build/app/kalvex" ]; then
  echo "Built the libraries, tools and tests. The Kalvex window is not there yet in this version."
  exit 0
fi
exec "$here/build/app/kalvex"
