#!/usr/bin/env bash
# Builds everything under AddressSanitizer and UndefinedBehaviorSanitizer and runs every test;
# the foundation's tests and the whole-driver thread tests run once more under ThreadSanitizer,
# and the libFuzzer targets run for a bounded time (scripts/fuzz.sh).
set -euo pipefail
cd "$(dirname "$0")"
scripts/deps.sh
jobs=$(nproc)
cmake -S . -B build-test -DTV_SANITIZE=ON -DTV_WERROR=ON -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build build-test -j"$jobs"
# A comma-decimal locale of our own, so the locale-independence tests always run.
if [ -f /usr/share/i18n/locales/de_DE ]; then
  mkdir -p build-test/locale
  [ -d build-test/locale/de_DE.UTF-8 ] ||
    localedef -i de_DE -f UTF-8 build-test/locale/de_DE.UTF-8 >/dev/null 2>&1 || true
  export LOCPATH=$PWD/build-test/locale
fi
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
# Counts of the whole-driver stress tests, scaled down under the sanitizers to stay within the
# test command's time (the tests' own defaults are 10^4 statements a thread and 10^5 cycles).
export TV_STRESS_STATEMENTS=${TV_STRESS_STATEMENTS:-1000} TV_STRESS_SHARED_ROUNDS=${TV_STRESS_SHARED_ROUNDS:-1000}
export TV_MEMORY_CYCLES=${TV_MEMORY_CYCLES:-5000} TV_MEMORY_STATEMENTS=${TV_MEMORY_STATEMENTS:-100000}
ctest --test-dir build-test --output-on-failure -j"$jobs" --timeout 300

# The demo builds with optimisation, where g++ warns about things a debug build never sees.
cmake -S . -B build-release -DCMAKE_BUILD_TYPE=Release -DTV_TESTS=OFF -DTV_WERROR=ON >/dev/null
if ! cmake --build build-release -j"$jobs" >build-release/build.log 2>&1; then
  grep -E "error|warning" build-release/build.log | head -40
  exit 1
fi

if [ -d tests/util ]; then
  cmake -S . -B build-tsan -DTV_TSAN=ON -DTV_WERROR=ON -DCMAKE_BUILD_TYPE=Debug >/dev/null
  cmake --build build-tsan -j"$jobs" --target test_util test_stress
  TSAN_OPTIONS=halt_on_error=1 build-tsan/tests/test_util --gtest_brief=1 --gtest_filter='-*DeathTest*'
  TSAN_OPTIONS=halt_on_error=1 TV_STRESS_STATEMENTS=300 \
    build-tsan/tests/test_stress --gtest_brief=1 --gtest_filter='Threads.*'
fi

scripts/fuzz.sh
