#!/usr/bin/env bash
# Installs the runtime into a scratch prefix, as run.sh and the Debian package
# do, and checks what a desktop reads from it: the desktop entry and the
# AppStream file through their validators, and every icon size; then that
# `run.sh --uninstall` takes all of it away again and leaves the data alone.
# Usage: check_install.sh BUILD_DIR
set -euo pipefail
build="$1"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
home="$(mktemp -d)"
trap 'rm -rf "$home"' EXIT
prefix="$home/.local"  # where run.sh installs for a user whose home this is
cmake --install "$build" --prefix "$prefix" --component runtime >/dev/null

id=org.domora.Domora
fail=0
check() { if ! "$@"; then echo "FAILED: $*"; fail=1; fi; }

check test -x "$prefix/bin/domora"
check desktop-file-validate "$prefix/share/applications/$id.desktop"
check appstreamcli validate --no-net --strict "$prefix/share/metainfo/$id.metainfo.xml"
check grep -qx "Exec=domora" "$prefix/share/applications/$id.desktop"
check grep -qx "Icon=$id" "$prefix/share/applications/$id.desktop"
for size in 16 24 32 48 64 128 256; do
  icon="$prefix/share/icons/hicolor/${size}x${size}/apps/$id.png"
  # The PNG header holds width and height at bytes 16 to 23, big-endian.
  got="$(python3 -c 'import struct,sys; d=open(sys.argv[1],"rb").read(24); print("%dx%d" % struct.unpack(">II", d[16:24]) if d[:8]==b"\x89PNG\r\n\x1a\n" else "not a PNG")' "$icon" 2>&1)"
  check test "$got" = "${size}x${size}"
done
[ "$fail" -eq 0 ] && echo "install layout: desktop entry, AppStream file and 7 icon sizes are valid"

mkdir -p "$prefix/share/domora"
echo "the user's addresses" > "$prefix/share/domora/address10.dat"
check env -u XDG_DATA_HOME HOME="$home" "$here/../scripts/run.sh" --uninstall
# The desktop's own caches (update-desktop-database's) may stay.
left="$(cd "$prefix" && find . -type f ! -name mimeinfo.cache ! -name icon-theme.cache | sort)"
check test "$left" = "./share/domora/address10.dat"
[ "$fail" -eq 0 ] && echo "run.sh --uninstall: every installed file is gone, the data is kept"
exit "$fail"
