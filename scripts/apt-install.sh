#!/usr/bin/env bash
# Installs the Debian packages named on the command line that are not yet
# installed. Idempotent: apt is not touched at all when nothing is missing.
set -euo pipefail

missing=()
for p in "$@"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

as_root=(env DEBIAN_FRONTEND=noninteractive)
how=""
if [ "$(id -u)" -ne 0 ]; then
  as_root=(sudo env DEBIAN_FRONTEND=noninteractive)
  how=" with sudo"
fi
echo "bootstrap: installing ${#missing[@]} Debian packages$how: ${missing[*]}"
echo "bootstrap: updating the package lists"
"${as_root[@]}" apt-get update -qq
# apt's own progress, a line or two a package, so a long install is seen to
# move; apt's errors go to the terminal as they are, and its failure is ours.
set +e
"${as_root[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}" | grep --line-buffered -E '^(Get:|Unpacking|Setting up)'
status=${PIPESTATUS[0]}
set -e
if [ "$status" -ne 0 ]; then
  echo "bootstrap: apt-get could not install the packages (exit status $status)" >&2
  exit "$status"
fi
echo "bootstrap: installed ${missing[*]}"
