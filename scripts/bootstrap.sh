#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing Domora need.
# Idempotent: packages already installed are skipped, and apt is not touched
# at all when nothing is missing.
set -euo pipefail

packages=(
  cmake ninja-build g++ ccache pkg-config
  qt6-base-dev libgl-dev fonts-liberation2 libasound2-dev libssl-dev
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xauth xdotool xclip openssl
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "bootstrap: installing ${missing[*]}"
sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
  sudo_cmd=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
