#!/usr/bin/env bash
# Installs what testing adds to what running needs: test and benchmark
# libraries, a virtual X server and the tools that drive the real window, and
# the independent programs that check our output (python3-vobject and abook
# read our vCards, Python's csv our CSV, python3-nacl our strong password
# file), a D-Bus daemon for a private session bus, clang with the libFuzzer and
# sanitizer runtimes for the fuzz targets; a CUPS scheduler and its PDF
# filters, which the printing tests start privately (scripts/start-cups.sh) to
# print on, and poppler's tools to read what it wrote; the
# AT-SPI registry, a session bus to run it on and python3-pyatspi to read the
# accessible tree as a screen reader does; two CardDAV servers (Radicale,
# Xandikos), a second CardDAV client (vdirsyncer) and curl for the contacts
# sync tests; bash-completion to try domora-cli's completion as bash runs it.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
"$here/bootstrap.sh"
"$here/apt-install.sh" \
  googletest libgtest-dev libgmock-dev libbenchmark-dev libssl-dev openssl \
  xvfb xauth xdotool xclip x11-utils openbox imagemagick \
  python3 desktop-file-utils appstream dpkg-dev file \
  python3-vobject abook python3-nacl dbus-daemon dbus-bin \
  clang libclang-rt-dev \
  cups-daemon cups-client cups-filters poppler-utils \
  at-spi2-core dbus-x11 python3-pyatspi \
  radicale xandikos vdirsyncer curl bash-completion
