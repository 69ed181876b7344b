#!/usr/bin/env bash
# Profiles our driver's fetch (rowset 100), insert and connect paths with callgrind on a file of
# ROWS rows (default 50 000) and prints the functions with the largest inclusive cost.
# Findings are kept in bench/PROFILE.md.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
rows=${ROWS:-50000}
scripts/deps.sh
command -v valgrind >/dev/null || { echo "valgrind is needed: apt-get install valgrind" >&2; exit 1; }
cmake -S . -B build-prof -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTV_TESTS=OFF -DTV_BENCH=ON >/dev/null
cmake --build build-prof -j"$(nproc)" >/dev/null
work=$root/build-prof/bench
rm -rf "$work"
mkdir -p "$work/data"
export II_DATABASE_DIR=$work/data ODBCSYSINI=$work ODBCINI=$work/odbc.ini ODBCINSTINI=odbcinst.ini
unset KIV_DEBUGFILE
printf '[Telvarin]\nDriver = %s\n' "$root/build-prof/lib/telvarin.so" >"$work/odbcinst.ini"
printf '[bench]\nDriver = Telvarin\n' >"$work/odbc.ini"
file=$(build-prof/bin/iicreatedb -p bench)
build-prof/bin/tv_bench gen "$file" "$rows"
for c in fetch100 insert connect; do
  valgrind --tool=callgrind --callgrind-out-file="$work/callgrind.$c" build-prof/bin/tv_bench odbc "$c" "DSN=bench" 2>/dev/null
  echo "== $c: largest inclusive costs ($work/callgrind.$c)"
  callgrind_annotate --inclusive=yes "$work/callgrind.$c" 2>/dev/null |
    grep -E '^ *[0-9,]+ \( *[0-9.]+%\)' | grep -E '\[(.*telvarin\.so|.*libsqlite3[^]]*)\]' | awk 'NR <= 40' | cut -c1-200
done
