#!/usr/bin/env bash
# Builds everything under AddressSanitizer and UndefinedBehaviorSanitizer and runs every test;
# the foundation's tests run once more under ThreadSanitizer.
set -euo pipefail
cd "$(dirname "$0")"
scripts/deps.sh
jobs=$(nproc)
cmake -S . -B build-test -DTV_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug >/dev/null
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
ctest --test-dir build-test --output-on-failure -j"$jobs" --timeout 300

# The demo builds with optimisation, where g++ warns about things a debug build never sees.
cmake -S . -B build-release -DCMAKE_BUILD_TYPE=Release -DTV_TESTS=OFF >/dev/null
if ! cmake --build build-release -j"$jobs" >build-release/build.log 2>&1; then
  grep -E "error|warning" build-release/build.log | head -40
  exit 1
fi

if [ -d tests/util ]; then
  cmake -S . -B build-tsan -DTV_TSAN=ON -DCMAKE_BUILD_TYPE=Debug >/dev/null
  cmake --build build-tsan -j"$jobs" --target test_util
  TSAN_OPTIONS=halt_on_error=1 build-tsan/tests/test_util --gtest_brief=1 --gtest_filter='-*DeathTest*'
fi
