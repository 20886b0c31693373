#!/usr/bin/env bash
# Builds Domora, installs it below ~/.local and launches it. An installed copy
# keeps its data in the XDG data folder (~/.local/share/domora/), so a clean
# rebuild of the build tree can never touch a user's data.
#
#   ./scripts/run.sh [words for Domora]   build, install and start
#   ./scripts/run.sh --uninstall          remove what it installed (the data stays)
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
prefix="${HOME}/.local"
id=org.domora.Domora

say() { echo "run.sh: $*"; }

# What `cmake --install` puts below the prefix for the runtime.
installed_files() {
  echo "bin/domora"
  echo "bin/domora-cli"
  echo "share/man/man1/domora-cli.1.gz"
  echo "share/bash-completion/completions/domora-cli"
  echo "share/applications/$id.desktop"
  echo "share/metainfo/$id.metainfo.xml"
  for size in 16 24 32 48 64 128 256; do echo "share/icons/hicolor/${size}x${size}/apps/$id.png"; done
}

refresh_desktop() {
  # Let the desktop see the menu entry and icon change now rather than at next login.
  if command -v update-desktop-database >/dev/null; then update-desktop-database -q "$prefix/share/applications" || true; fi
  if command -v gtk-update-icon-cache >/dev/null && [ -f "$prefix/share/icons/hicolor/index.theme" ]; then
    gtk-update-icon-cache -q "$prefix/share/icons/hicolor" || true
  fi
}

if [ "${1:-}" = "--uninstall" ]; then
  removed=0
  while read -r file; do
    if [ -e "$prefix/$file" ]; then
      rm -f "$prefix/$file"
      removed=$((removed + 1))
    fi
  done < <(installed_files)
  refresh_desktop
  say "removed $removed files of Domora from $prefix"
  data="${XDG_DATA_HOME:-$HOME/.local/share}/domora"
  if [ -d "$data" ]; then say "your data is still in $data; delete that folder yourself if you want it gone"; fi
  exit 0
fi

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  say "no desktop session here (DISPLAY and WAYLAND_DISPLAY are unset)." >&2
  say "Domora shows a window: run this from a terminal on your desktop." >&2
  exit 1
fi

say "checking the Debian packages that building and running need (apt asks for sudo when something is missing)"
"$here/scripts/bootstrap.sh"

build="$here/build/release"
say "configuring a release build in $build"
cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DDOMORA_BUILD_TESTS=OFF >/dev/null
say "building Domora and domora-cli (the first build takes a few minutes)"
cmake --build "$build" --target domora domora-cli
say "installing into $prefix (./scripts/run.sh --uninstall removes it again)"
cmake --install "$build" --prefix "$prefix" --component runtime >/dev/null
refresh_desktop
say "starting Domora; this terminal stays with it until Domora closes"
exec "$prefix/bin/domora" "$@"
