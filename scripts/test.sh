#!/usr/bin/env bash
# Builds and runs every test twice: a normal build, then an AddressSanitizer +
# UndefinedBehaviorSanitizer build; then builds the release package and checks
# it, and runs every fuzz target for a short while (FUZZ_SECONDS, 10 by
# default, one target per core at a time) so that none of them rots. The
# tests that open the real window get a private X server; the ones that
# print or sync start their own CUPS and CardDAV servers. Every stage runs even when an earlier one failed; each
# says how long it took, and the last line counts the tests of all stages:
# "N passed, N failed". The exit status is non-zero when anything failed.
set -uo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
# shellcheck source=scripts/test-env.sh
source "$here/scripts/test-env.sh"
"$here/scripts/bootstrap-test.sh" || exit 1

werror=OFF
if [ "${CI:-}" = "true" ]; then werror=ON; fi
jobs="$(nproc)"
logs="$here/build/test-logs"
mkdir -p "$logs"

trap stop_private_xvfb EXIT
start_private_xvfb || exit 1

passed=0 failed=0 skipped=0 broken=0
stage_names=() stage_times=()

# Runs one stage: its name, then the command; keeps its output in a log.
stage() {
  local name="$1" log="$logs/$2.log" start=$SECONDS status
  shift 2
  echo "== $name =="
  "$@" 2>&1 | tee "$log"
  status=${PIPESTATUS[0]}
  local took=$((SECONDS - start))
  stage_names+=("$name")
  stage_times+=("$(printf '%d:%02d' $((took / 60)) $((took % 60)))")
  echo "-- $name: $(printf '%d:%02d' $((took / 60)) $((took % 60))), exit $status"
  return "$status"
}

count_ctest() {
  local p f s
  read -r p f s < <(ctest_counts "$1")
  passed=$((passed + p)) failed=$((failed + f)) skipped=$((skipped + s))
}

run_suite() {
  local dir="$1"; shift
  cmake -S "$here" -B "$dir" -G Ninja -DDOMORA_WERROR="$werror" "$@" >/dev/null &&
    cmake --build "$dir" -j "$jobs" &&
    ctest --test-dir "$dir" --output-on-failure -j "$jobs"
}

# A suite whose build failed ran no test: the build counts as one failure.
suite() {
  local name="$1" tag="$2"; shift 2
  stage "$name" "$tag" "$@" || broken=1
  if grep -q 'tests failed out of' "$logs/$tag.log"; then count_ctest "$logs/$tag.log"; else failed=$((failed + 1)); fi
}

suite "tests" debug run_suite "$here/build/test" -DCMAKE_BUILD_TYPE=Debug
# The benchmarks are built (so they compile) in the first suite only; no test runs them.
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
LSAN_OPTIONS="suppressions=$here/tests/lsan.supp:print_suppressions=0" \
UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
suite "tests under AddressSanitizer + UndefinedBehaviorSanitizer" asan \
  run_suite "$here/build/asan" -DCMAKE_BUILD_TYPE=Debug -DDOMORA_SANITIZE=ON -DDOMORA_BUILD_BENCH=OFF

package() {
  DOMORA_WERROR="$werror" "$here/scripts/package.sh" && "$here/tests/check_deb.sh" "$here"/build/package/domora_*.deb
}
# The package check is one test.
if stage "release build and Debian package" package package; then passed=$((passed + 1)); else failed=$((failed + 1)); broken=1; fi

# Each fuzz target is one test; a build that failed is one failure.
FUZZ_TARGETS_AT_ONCE="$jobs" \
  stage "fuzz targets, ${FUZZ_SECONDS:-10} s each" fuzz "$here/scripts/fuzz.sh" "${FUZZ_SECONDS:-10}" || broken=1
ran="$(grep -cE '^== fuzz_[a-z_]+: [0-9]+ s ==$' "$logs/fuzz.log" || true)"
found="$(grep -cE '^fuzz_[a-z_]+: (FINDING|interrupted)' "$logs/fuzz.log" || true)"
if [ "$ran" -eq 0 ]; then
  failed=$((failed + 1))
else
  passed=$((passed + ran - found)) failed=$((failed + found))
fi

echo
echo "== times =="
for i in "${!stage_names[@]}"; do printf '%8s  %s\n' "${stage_times[$i]}" "${stage_names[$i]}"; done
printf '%8s  %s\n' "$(printf '%d:%02d' $((SECONDS / 60)) $((SECONDS % 60)))" "all"
if [ "$skipped" -gt 0 ]; then echo "$skipped skipped (listed above by ctest; under CI=true they fail)"; fi
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ] && [ "$broken" -eq 0 ]
