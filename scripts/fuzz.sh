#!/usr/bin/env bash
# Builds the fuzz targets (clang, libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs each for as long as asked, on a corpus
# kept in build/fuzz/corpus that starts from the real files in tests/data and
# the generated seeds in fuzz/seeds. Findings land in build/fuzz/findings;
# every one of them becomes a fixture in tests/data.
#
#   scripts/fuzz.sh [seconds per target] [target...]
#
# FUZZ_JOBS (default 1) runs that many fuzzing processes per target;
# FUZZ_TARGETS_AT_ONCE (default 1) fuzzes that many targets side by side.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
seconds="${1:-600}"
shift || true
build="$here/build/fuzz"
jobs="${FUZZ_JOBS:-1}"

all_targets=(fuzz_address_file fuzz_password_file fuzz_strong_password_file fuzz_vehicle_file fuzz_settings_file
             fuzz_vcard_import fuzz_csv_import fuzz_text_decoding fuzz_entry fuzz_photo fuzz_reminders_file
             fuzz_fillup_csv fuzz_sync_state fuzz_multistatus)
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then targets=("${all_targets[@]}"); fi

# Where each target's seeds come from.
seeds_of() {
  local data="$here/tests/data" gen="$here/fuzz/seeds"
  case "$1" in
    fuzz_address_file)  ls "$data"/address_*.dat ;;
    fuzz_password_file) ls "$data"/password_*.dat "$gen"/password_file/* ;;
    fuzz_strong_password_file) ls "$data"/password20_*.dat "$data"/password_sesame.dat ;;
    fuzz_vehicle_file)  ls "$data"/vehicle_*.dat "$gen"/vehicle_file/* ;;
    fuzz_settings_file) ls "$gen"/settings_file/* ;;
    fuzz_vcard_import)  ls "$data"/interop/vcard/*.vcf ;;
    fuzz_csv_import)    ls "$data"/interop/csv/*.csv ;;
    fuzz_text_decoding) ls "$data"/interop/vcard/*.vcf "$data"/interop/csv/*.csv ;;
    fuzz_entry)         ls "$gen"/entry/* ;;
    fuzz_photo)         ls "$gen"/photo/* ;;
    fuzz_reminders_file) ls "$data"/reminders_*.dat ;;
    fuzz_fillup_csv)    ls "$data"/fillups/*.csv ;;
    fuzz_sync_state)    ls "$data"/carddav_*.dat ;;
    fuzz_multistatus)   ls "$gen"/multistatus/* ;;
  esac
}

# The longest input worth trying. Every target reads its input in one pass or
# a few, so a longer input costs time in proportion and seldom reaches code a
# shorter one of the same shape does not; the real files are a few kilobytes,
# and time that grows with the square of the length is the benches' to show.
# Text decoding works a character at a time; a bitmap needs room for rows.
max_len_of() {
  case "$1" in
    fuzz_text_decoding)     echo 1024 ;;
    fuzz_entry|fuzz_photo)  echo 20000 ;;
    *)                      echo 4096 ;;
  esac
}

cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DDOMORA_FUZZ=ON -DDOMORA_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" --target "${targets[@]}" -j "$(nproc)"

mkdir -p "$build/findings"

# Fuzzes one target; what it says goes to $build/$target.summary, and its
# exit status is libFuzzer's.
fuzz_one() {
  local target="$1" corpus="$build/corpus/$1" log="$build/$1.log" work="$build/work/$1" rc
  mkdir -p "$corpus" "$work"
  while read -r seed; do cp -n "$seed" "$corpus/" 2>/dev/null || true; done < <(seeds_of "$target")
  # -jobs, even -jobs=1, moves the fuzzing to child processes that leave
  # fuzz-N.log in the current folder; one job runs in this process instead.
  local parallel=()
  if [ "$jobs" -gt 1 ]; then parallel=(-jobs="$jobs" -workers="$jobs"); fi
  set +e
  (cd "$work" && rm -f fuzz-*.log &&
    ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    "$build/fuzz/$target" -max_total_time="$seconds" -max_len="$(max_len_of "$target")" -timeout=20 -rss_limit_mb=2048 \
      -print_final_stats=1 "${parallel[@]}" -artifact_prefix="$build/findings/$target-" \
      "$corpus" >"$log" 2>&1)
  rc=$?
  set -e
  if [ "$jobs" -gt 1 ]; then cat "$work"/fuzz-*.log >>"$log" 2>/dev/null || true; rm -f "$work"/fuzz-*.log; fi
  {
    echo "== $target: ${seconds} s =="
    # The last status line carries the coverage; the final stats the executions.
    grep -E '^#[0-9]+' "$log" | tail -1 || true
    grep -E 'stat::number_of_executed_units|stat::peak_rss_mb' "$log" || true
    # libFuzzer exits with 72 when it is interrupted (Ctrl+C): no input is at fault.
    if [ $rc -eq 72 ]; then
      echo "$target: interrupted"
    elif [ $rc -ne 0 ]; then
      echo "$target: FINDING (exit $rc), see $log and $build/findings/"
      grep -E 'ERROR|property failed|runtime error' "$log" | head -5 || true
    fi
  } >"$build/$target.summary"
  return $rc
}

# FUZZ_TARGETS_AT_ONCE targets fuzz side by side (each one process), so
# that a short run of all of them uses every core; what each says is
# printed in the order of the targets.
at_once="${FUZZ_TARGETS_AT_ONCE:-1}"
status=0
for ((first = 0; first < ${#targets[@]}; first += at_once)); do
  batch=("${targets[@]:first:at_once}")
  pids=()
  for target in "${batch[@]}"; do
    fuzz_one "$target" &
    pids+=($!)
  done
  interrupted=0
  for i in "${!batch[@]}"; do
    set +e
    wait "${pids[$i]}"
    rc=$?
    set -e
    cat "$build/${batch[$i]}.summary"
    if [ $rc -eq 72 ]; then interrupted=1; fi
    if [ $rc -ne 0 ]; then status=1; fi
  done
  if [ $interrupted -eq 1 ]; then break; fi
done
exit $status
