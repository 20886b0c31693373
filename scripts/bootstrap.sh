#!/usr/bin/env bash
# Installs the Debian packages that building and running Domora need.
# qt6-base-dev brings Qt's print support and its CUPS plugin; libcurl, libxml2
# and libsecret carry the contacts sync (HTTP, DAV XML, stored credentials);
# scdoc turns domora-cli's manual page from its text source into roff.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
"$here/apt-install.sh" \
  cmake ninja-build g++ ccache pkg-config \
  qt6-base-dev libgl-dev fonts-liberation2 libasound2-dev libxcb1-dev libsodium-dev \
  libcurl4-openssl-dev libxml2-dev libsecret-1-dev scdoc
