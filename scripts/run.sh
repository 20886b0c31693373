#!/usr/bin/env bash
# Builds Domora, installs it below ~/.local and launches it. An installed copy
# keeps its data in the XDG data folder (~/.local/share/domora/), so a clean
# rebuild of the build tree can never touch a user's data.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$here/scripts/bootstrap.sh"

build="$here/build/release"
cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DDOMORA_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" --target domora
prefix="${HOME}/.local"
cmake --install "$build" --prefix "$prefix" --component runtime >/dev/null
# Let the desktop see the new menu entry and icon now rather than at next login.
if command -v update-desktop-database >/dev/null; then update-desktop-database -q "$prefix/share/applications" || true; fi
if command -v gtk-update-icon-cache >/dev/null && [ -f "$prefix/share/icons/hicolor/index.theme" ]; then
  gtk-update-icon-cache -q "$prefix/share/icons/hicolor" || true
fi
exec "$prefix/bin/domora" "$@"
