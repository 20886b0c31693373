#!/usr/bin/env bash
# Runs the end-to-end tests N times in a row while two busy loops keep both
# cores loaded, as on a machine busy with a build, and prints how often each
# test passed.
#
#   scripts/soak-e2e.sh N [build folder]
#
# The build folder (build/test by default, the one scripts/test.sh makes) is
# configured and built first. The tests get a private X server, as under
# scripts/test.sh; each round's ctest output is kept in
# build-folder/soak/round-K.log.
set -uo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
# shellcheck source=scripts/test-env.sh
source "$here/scripts/test-env.sh"

rounds="${1:-}"
build="${2:-$here/build/test}"
case "$rounds" in '' | *[!0-9]* | 0)
  echo "usage: $0 N [build folder]" >&2
  exit 2
  ;;
esac

cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug >/dev/null || exit 1
cmake --build "$build" -j "$(nproc)" || exit 1
tests=()
while read -r name; do tests+=("$name"); done < <(ctest --test-dir "$build" -L e2e -N | sed -n 's/^ *Test *#[0-9]*: //p')
if [ ${#tests[@]} -eq 0 ]; then
  echo "soak: no end-to-end tests in $build" >&2
  exit 1
fi

load=()
cleanup() {
  for pid in "${load[@]}"; do kill "$pid" 2>/dev/null; done
  for pid in "${load[@]}"; do wait "$pid" 2>/dev/null; done
  stop_private_xvfb
}
trap cleanup EXIT
trap 'exit 1' INT TERM HUP
start_private_xvfb || exit 1
for _ in 1 2; do
  (while :; do :; done) &
  load+=($!)
done

declare -A passes=()
for name in "${tests[@]}"; do passes[$name]=0; done
mkdir -p "$build/soak"
start=$SECONDS
for round in $(seq "$rounds"); do
  log="$build/soak/round-$round.log"
  ctest --test-dir "$build" -L e2e --output-on-failure -j "$(nproc)" >"$log" 2>&1
  # "  3/12 Test  #5: test_e2e_print ...........   Passed   21.03 sec"
  while read -r name; do passes[$name]=$((passes[$name] + 1)); done \
    < <(sed -n 's/^ *[0-9]*\/[0-9]* Test *#[0-9]*: \([^ ]*\) .*  Passed .*/\1/p' "$log")
  failing="$(sed -n 's/^ *[0-9]*\/[0-9]* Test *#[0-9]*: \([^ ]*\) .*\*\*\*.*/\1/p' "$log" | tr '\n' ' ')"
  echo "round $round of $rounds: $(ctest_counts "$log" | awk '{print $1 " passed, " $2 " failed, " $3 " skipped"}')${failing:+ (not passed: $failing)}, $((SECONDS - start)) s so far"
done

echo
echo "passes out of $rounds, with both cores loaded:"
worst=$rounds
for name in "${tests[@]}"; do
  printf '%4d/%d  %s\n' "${passes[$name]}" "$rounds" "$name"
  [ "${passes[$name]}" -lt "$worst" ] && worst=${passes[$name]}
done
[ "$worst" -eq "$rounds" ]
