#!/usr/bin/env bash
# Builds a release of Domora and packs it as a Debian package in
# build/package/. Install it with: sudo apt install ./build/package/domora_*.deb
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$here/scripts/bootstrap.sh"
"$here/scripts/apt-install.sh" dpkg-dev file

build="$here/build/package"
# DOMORA_UPDATE_HOST, when set here, becomes the package's built-in update server.
update_host=()
if [ -n "${DOMORA_UPDATE_HOST:-}" ]; then update_host=(-DDOMORA_UPDATE_HOST="$DOMORA_UPDATE_HOST"); fi
cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DDOMORA_BUILD_TESTS=OFF \
      -DDOMORA_WERROR="${DOMORA_WERROR:-OFF}" "${update_host[@]}" >/dev/null
cmake --build "$build" --target domora domora-cli
(cd "$build" && cpack -G DEB >/dev/null)
ls "$build"/domora_*.deb
