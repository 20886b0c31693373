#!/usr/bin/env bash
# Installs the Debian packages that building and running Domora need.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
"$here/apt-install.sh" \
  cmake ninja-build g++ ccache pkg-config \
  qt6-base-dev libgl-dev fonts-liberation2 libasound2-dev
