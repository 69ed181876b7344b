#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, AddressSanitizer and UndefinedBehaviorSanitizer) and runs
# each for FUZZ_SECONDS seconds (default 30), all at once. Every input kept in
# tests/fuzz/corpus/<target>/ (the seeds and the inputs of faults found) is run first; inputs the
# fuzzer finds go to build-fuzz/corpus/, a crashing input to build-fuzz/artifacts/.
# `scripts/fuzz.sh --build` only builds them (warnings are errors here too).
set -euo pipefail
cd "$(dirname "$0")/.."
secs=${FUZZ_SECONDS:-30}
jobs=${JOBS:-$(nproc)}
cmake -S . -B build-fuzz -DTV_FUZZ=ON -DTV_TESTS=OFF -DTV_WERROR=ON -DCMAKE_BUILD_TYPE=Debug \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build build-fuzz -j"$jobs" --target fuzzers >build-fuzz/build.log 2>&1 || {
  grep -E "error|warning" build-fuzz/build.log | head -40
  exit 1
}
[ "${1:-}" = "--build" ] && exit 0
export ASAN_OPTIONS=${FUZZ_ASAN_OPTIONS:-detect_leaks=1}
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
names=()
pids=()
for seeds in tests/fuzz/corpus/*/; do
  name=$(basename "$seeds")
  exe=build-fuzz/fuzz/fuzz_$name
  [ -x "$exe" ] || { echo "fuzz: no target for the corpus $seeds"; exit 1; }
  mkdir -p "build-fuzz/corpus/$name" "build-fuzz/artifacts/$name"
  "$exe" -max_total_time="$secs" -timeout=20 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="build-fuzz/artifacts/$name/" "build-fuzz/corpus/$name" "$seeds" \
    >"build-fuzz/$name.log" 2>&1 &
  names+=("$name")
  pids+=($!)
done
status=0
for i in "${!pids[@]}"; do
  name=${names[$i]}
  if wait "${pids[$i]}"; then
    runs=$(grep -m1 -o "stat::number_of_executed_units: *[0-9]*" "build-fuzz/$name.log" | grep -o "[0-9]*$" || echo "?")
    echo "fuzz $name: ${secs}s, $runs inputs, no fault"
  else
    status=1
    echo "fuzz $name: FAULT (input in build-fuzz/artifacts/$name/)"
    grep -v "^#" "build-fuzz/$name.log" | tail -60
  fi
done
exit $status
