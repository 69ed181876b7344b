#!/usr/bin/env bash
# The whole test command, every build with warnings as errors, in stages:
#   format         every C and C++ file of the tree laid out as .clang-format says
#                  (scripts/check-format.sh), before anything is built;
#   debug-build    the sanitizer build (AddressSanitizer, UndefinedBehaviorSanitizer);
#   debug-tests    every test on it, while beside it clang-tidy checks the product sources changed
#                  since the tidy base (scripts/check-tidy.sh, on the sanitizer build's compile
#                  database) and the optimised build with the tests (Release: g++ warns with the
#                  optimiser on about what a debug build never shows) is made;
#   release-tests  the tests once more on the optimised build (the memory and thread stress suites
#                  aside) and a fetch loop over uninitialised application buffers under valgrind
#                  on its drivers (scripts/valgrind-fetch.sh), while the ThreadSanitizer and
#                  libFuzzer builds are made beside;
#   tsan           the foundation's tests, the engine's lock and handle tests and the whole-driver
#                  thread tests under ThreadSanitizer;
#   fuzz           the libFuzzer targets for a bounded time (scripts/fuzz.sh).
# The tests wait on locks and processes more than they compute, so a build at lower priority
# fills the idle cores. Each stage's time is printed as it ends and once more at the end.
set -euo pipefail
cd "$(dirname "$0")"
scripts/deps.sh
jobs=$(nproc)
beside=""
cpu_file=$(mktemp)
trap 'rm -f "$cpu_file"; if [ -n "$beside" ]; then kill -- -"$beside" 2>/dev/null || true; fi' EXIT

# Wall time, and the processor time of the stage's programs: on a loaded machine the first
# grows, the second hardly. `times` runs in this shell, which waited for those programs.
cpu_seconds() {
  times >"$cpu_file"
  cpu=$(awk 'NR == 2 { for (i = 1; i <= 2; i++) { split($i, a, /[ms]/); t += a[1] * 60 + a[2] } }
             END { printf "%d", t }' "$cpu_file")
}
stages=()
stage_start=$SECONDS
cpu_seconds
stage_cpu=$cpu
stage_done() {
  cpu_seconds
  stages+=("$1 $((SECONDS - stage_start))s")
  echo "== stage $1: $((SECONDS - stage_start))s (processor time $((cpu - stage_cpu))s)"
  stage_start=$SECONDS
  stage_cpu=$cpu
}

# Configures and builds a tree quietly; on failure shows the compiler's complaints.
#   build DIR "CONFIGURE OPTIONS" [BUILD OPTIONS...]
build() {
  local dir=$1 options=$2
  shift 2
  # shellcheck disable=SC2086
  cmake -S . -B "$dir" $options -DTV_WERROR=ON >/dev/null
  if ! cmake --build "$dir" -j"$jobs" "$@" >"$dir/build.log" 2>&1; then
    grep -E "error|warning|Error" "$dir/build.log" | head -60
    return 1
  fi
}
export -f build
export jobs
# Runs a shell command beside the stage in a process group of its own, at lower priority;
# `join` waits for it and fails when it failed.
start_beside() {
  setsid -w nice -n 10 bash -c "set -euo pipefail; $1" &
  beside=$!
}
join() {
  local pid=$beside
  beside=""
  wait "$pid"
}

scripts/check-format.sh
stage_done format

build build-test "-DTV_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug"
stage_done debug-build

start_beside 'scripts/check-tidy.sh build-test
              build build-release "-DCMAKE_BUILD_TYPE=Release"'
# Locales of our own, so the locale-independence tests always run: a comma-decimal one, and two
# single-byte ones whose case mapping differs from ASCII's.
if [ -f /usr/share/i18n/locales/de_DE ]; then
  mkdir -p build-test/locale
  for l in de_DE:UTF-8 de_DE:ISO-8859-1 tr_TR:ISO-8859-9; do
    [ -d "build-test/locale/${l%%:*}.${l#*:}" ] ||
      localedef -i "${l%%:*}" -f "${l#*:}" "build-test/locale/${l%%:*}.${l#*:}" >/dev/null 2>&1 || true
  done
  export LOCPATH=$PWD/build-test/locale
fi
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
# Counts of the whole-driver stress tests, scaled down under the sanitizers to stay within the
# test command's time (the tests' own defaults are 10^4 statements a thread and 10^5 cycles).
export TV_STRESS_STATEMENTS=${TV_STRESS_STATEMENTS:-1000} TV_STRESS_SHARED_ROUNDS=${TV_STRESS_SHARED_ROUNDS:-1000}
export TV_MEMORY_CYCLES=${TV_MEMORY_CYCLES:-5000} TV_MEMORY_STATEMENTS=${TV_MEMORY_STATEMENTS:-100000}
ctest --test-dir build-test --output-on-failure -j"$jobs" --timeout 300
join
stage_done debug-tests

start_beside 'build build-tsan "-DTV_TSAN=ON -DCMAKE_BUILD_TYPE=Debug" --target test_util test_stress test_iiapi
              scripts/fuzz.sh --build'
if ! ctest --test-dir build-release --output-on-failure -j"$jobs" --timeout 300 -E '^(Threads|Memory)$' \
    >build-release/ctest.log 2>&1; then
  grep -v " Passed " build-release/ctest.log
  exit 1
fi
grep "tests passed" build-release/ctest.log
# A fetch loop over uninitialised application buffers under valgrind, on the drivers just built.
scripts/valgrind-fetch.sh build-release
join
stage_done release-tests

TSAN_OPTIONS=halt_on_error=1 build-tsan/tests/test_util --gtest_brief=1 --gtest_filter='-*DeathTest*'
# The engine's own locks and its handles met from several threads.
TSAN_OPTIONS=halt_on_error=1 build-tsan/tests/test_iiapi --gtest_brief=1 --gtest_filter='QuickLocks.*:Handles.*'
TSAN_OPTIONS=halt_on_error=1 TV_STRESS_STATEMENTS=300 \
  build-tsan/tests/test_stress --gtest_brief=1 --gtest_filter='Threads.*'
stage_done tsan

scripts/fuzz.sh
stage_done fuzz
echo "== stages: ${stages[*]}"
