#!/usr/bin/env bash
# Builds everything under AddressSanitizer and UndefinedBehaviorSanitizer and runs every test;
# the foundation's tests run once more under ThreadSanitizer.
set -euo pipefail
cd "$(dirname "$0")"
scripts/deps.sh
jobs=$(nproc)
cmake -S . -B build-test -DTV_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build build-test -j"$jobs"
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
ctest --test-dir build-test --output-on-failure -j"$jobs" --timeout 300

if [ -d tests/util ]; then
  cmake -S . -B build-tsan -DTV_TSAN=ON -DCMAKE_BUILD_TYPE=Debug >/dev/null
  cmake --build build-tsan -j"$jobs" --target test_util
  TSAN_OPTIONS=halt_on_error=1 build-tsan/tests/test_util --gtest_brief=1 --gtest_filter='-*DeathTest*'
fi
