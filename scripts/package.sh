#!/usr/bin/env bash
# Builds a Release build in build-pkg/ and packs it into a .deb; prints the .deb's path.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
dir="$here/build-pkg"
bash "$here/scripts/deps.sh"
# dpkg-shlibdeps (dpkg-dev) and file work out the library packages the .deb depends on.
if ! command -v dpkg-shlibdeps >/dev/null || ! command -v file >/dev/null; then
  as_root=()
  [ "$(id -u)" -ne 0 ] && as_root=(sudo)
  "${as_root[@]}" apt-get install -y -qq --no-install-recommends dpkg-dev file
fi

bash "$here/scripts/build.sh" "$dir" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
  -DKALVEX_BUILD_TESTS=OFF -DKALVEX_BUILD_BENCH=OFF -DKALVEX_SANITIZE=OFF
rm -f "$dir"/kalvex_*.deb
(cd "$dir" && cpack -G DEB >/dev/null)
deb=$(ls "$dir"/kalvex_*.deb)
echo "$deb"
