#!/usr/bin/env bash
# Builds and runs every test twice: a normal build, then an AddressSanitizer +
# UndefinedBehaviorSanitizer build; then runs every fuzz target for a short
# while (FUZZ_SECONDS, 20 by default) so that none of them rots. Starts a
# virtual X server for the tests that open the real window when no display
# is available.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$here/scripts/bootstrap-test.sh"

werror=OFF
if [ "${CI:-}" = "true" ]; then werror=ON; fi
jobs="$(nproc)"

xvfb_pid=""
cleanup() { if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null || true; fi; }
trap cleanup EXIT
if [ -z "${DISPLAY:-}" ]; then
  for n in $(seq 90 120); do
    if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ]; then
      Xvfb ":$n" -screen 0 1600x1000x24 -nolisten tcp >/dev/null 2>&1 &
      xvfb_pid=$!
      export DISPLAY=":$n"
      for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
      break
    fi
  done
fi

# The printing tests print on a real CUPS queue.
"$here/scripts/start-cups.sh"

run_suite() {
  local dir="$1"; shift
  cmake -S "$here" -B "$dir" -G Ninja -DDOMORA_WERROR="$werror" "$@" >/dev/null
  cmake --build "$dir" -j "$jobs"
  ctest --test-dir "$dir" --output-on-failure -j "$jobs"
}

echo "== tests =="
run_suite "$here/build/test" -DCMAKE_BUILD_TYPE=Debug
echo "== tests under AddressSanitizer + UndefinedBehaviorSanitizer =="
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
LSAN_OPTIONS="suppressions=$here/tests/lsan.supp:print_suppressions=0" \
UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
run_suite "$here/build/asan" -DCMAKE_BUILD_TYPE=Debug -DDOMORA_SANITIZE=ON
echo "== release build and Debian package =="
DOMORA_WERROR="$werror" "$here/scripts/package.sh"
"$here/tests/check_deb.sh" "$here"/build/package/domora_*.deb
echo "== fuzz targets, ${FUZZ_SECONDS:-20} s each =="
"$here/scripts/fuzz.sh" "${FUZZ_SECONDS:-20}"
