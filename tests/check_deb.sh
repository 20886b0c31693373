#!/usr/bin/env bash
# Checks a Debian package of Domora: the files a desktop needs are inside, and
# the dependencies name the Qt libraries and what the program starts at run
# time. Usage: check_deb.sh PACKAGE.deb
set -euo pipefail
deb="$1"
depends="$(dpkg-deb -f "$deb" Depends)"
files="$(dpkg-deb -c "$deb" | awk '{print $6}')"
fail=0
for dep in libqt6widgets6 libqt6gui6 libqt6core6 libqt6printsupport6 libqt6dbus6 libsodium23 qt6-qpa-plugins fonts-liberation2 xdg-utils; do
  if ! grep -q "\b$dep\b" <<<"$depends"; then echo "FAILED: Depends lacks $dep: $depends"; fail=1; fi
done
for f in ./usr/bin/domora ./usr/bin/domora-cli ./usr/share/man/man1/domora-cli.1.gz \
         ./usr/share/bash-completion/completions/domora-cli \
         ./usr/share/applications/org.domora.Domora.desktop \
         ./usr/share/metainfo/org.domora.Domora.metainfo.xml \
         ./usr/share/icons/hicolor/256x256/apps/org.domora.Domora.png; do
  if ! grep -qx "$f" <<<"$files"; then echo "FAILED: $f is not in the package"; fail=1; fi
done
[ "$fail" -eq 0 ] && echo "package: $(basename "$deb") holds the program and its desktop files; Depends: $depends"
exit "$fail"
