#!/bin/sh
# Runs a command in a private desktop session for the accessibility tests:
# an X server of its own on a free display, and a D-Bus session bus of its
# own whose socket lives in the scratch folder. The AT-SPI bus and registry
# are started by that bus on demand and end with it. Nothing of the
# machine's own display or buses is used or touched.
#
#   a11y_session.sh SCRATCH COMMAND [ARGS...]
#
# Exits with the command's status; 90 when the X server does not come up.
set -eu
scratch="$1"
shift
factor="${DOMORA_TEST_TIMEOUT_FACTOR:-1}"

# The server picks a free display and writes its number once it takes
# connections; it must not reset when the bus launcher, its first client, leaves.
: >"$scratch/display"
Xvfb -displayfd 3 -screen 0 1600x1000x24 -nolisten tcp -noreset -r 3>"$scratch/display" >"$scratch/xvfb.log" 2>&1 &
xvfb=$!
trap 'kill "$xvfb" 2>/dev/null || true; wait "$xvfb" 2>/dev/null || true' EXIT INT TERM
# Up to 20 s (times the factor) for it.
tries=$(awk "BEGIN { print int(200 * $factor) }")
until grep -q '[0-9]' "$scratch/display"; do
  tries=$((tries - 1))
  if [ "$tries" -le 0 ] || ! kill -0 "$xvfb" 2>/dev/null; then echo "Xvfb did not start" >&2; exit 90; fi
  sleep 0.1
done
display="$(tr -dc '0-9' <"$scratch/display")"

mkdir -p "$scratch/run"
chmod 700 "$scratch/run"
cat >"$scratch/session.conf" <<CONF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:dir=$scratch/run</listen>
  <standard_session_servicedirs/>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
CONF

status=0
env DISPLAY=":$display" XDG_RUNTIME_DIR="$scratch/run" HOME="$scratch" NO_AT_BRIDGE=0 \
  dbus-run-session --config-file="$scratch/session.conf" -- "$@" || status=$?
exit "$status"
