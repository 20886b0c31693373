# Sourced by the test scripts: a private X server for the tests that open the
# real window, and ctest's counts read off its output. Needs bash.

# Starts Xvfb on a display it picks itself (-displayfd: the number is written
# once the server accepts clients, so nothing is guessed or waited out) and
# points DISPLAY at it; a desktop session the tests run from is left alone.
# Keys do not repeat on it (-r): on a loaded machine a key that xdotool
# presses and lets go may be held long enough to repeat, and a test would
# see two Downs for one.
# Sets private_xvfb_pid; stop it with stop_private_xvfb.
private_xvfb_pid=""
start_private_xvfb() {
  local scratch display="" factor="${DOMORA_TEST_TIMEOUT_FACTOR:-1}"
  case "$factor" in '' | *[!0-9]*) factor=1 ;; esac
  [ "$factor" -ge 1 ] || factor=1
  scratch="$(mktemp -d /tmp/domora-xvfb-XXXXXX)" || return 1
  Xvfb -displayfd 9 -screen 0 1600x1000x24 -nolisten tcp -r 9>"$scratch/display" >"$scratch/log" 2>&1 &
  private_xvfb_pid=$!
  for _ in $(seq $((600 * factor))); do
    display="$(cat "$scratch/display" 2>/dev/null)"
    [ -n "$display" ] && break
    kill -0 "$private_xvfb_pid" 2>/dev/null || break
    sleep 0.05
  done
  if [ -z "$display" ]; then
    echo "could not start a private X server:" >&2
    cat "$scratch/log" >&2
    rm -rf "$scratch"
    return 1
  fi
  rm -rf "$scratch"
  export DISPLAY=":$display"
  unset XAUTHORITY WAYLAND_DISPLAY
}
stop_private_xvfb() {
  if [ -n "$private_xvfb_pid" ]; then
    kill "$private_xvfb_pid" 2>/dev/null || true
    wait "$private_xvfb_pid" 2>/dev/null || true
    private_xvfb_pid=""
  fi
}

# From a ctest log: "passed failed skipped" (skipped ones are not passed).
ctest_counts() {
  local log="$1" total failed skipped
  total="$(sed -n 's/.* tests failed out of \([0-9]*\).*/\1/p' "$log" | tail -1)"
  failed="$(sed -n 's/.*, \([0-9]*\) tests failed out of .*/\1/p' "$log" | tail -1)"
  skipped="$(grep -cE '^[[:space:]]*[0-9]+ - .* \(Skipped\)$' "$log" || true)"
  echo "$(( ${total:-0} - ${failed:-0} - ${skipped:-0} )) ${failed:-0} ${skipped:-0}"
}
