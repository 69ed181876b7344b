#!/usr/bin/env bash
# Runs a fetch loop whose bound buffers are uninitialised memory (tests/valgrind/fetch_loop.c)
# under valgrind, through unixODBC, against both drivers of a build without the sanitizers
# (default build-release): valgrind must report nothing. Skipped when valgrind is missing.
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${1:-build-release}")
if ! command -v valgrind >/dev/null; then
  echo "valgrind-fetch: valgrind is not installed, skipped"
  exit 0
fi
work=$(mktemp -d /tmp/tv_valgrind_XXXXXX)
trap 'rm -rf "$work"' EXIT
cc -std=c11 -O0 -g -Wall -Wextra -Werror -o "$work/fetch_loop" tests/valgrind/fetch_loop.c -lodbc
mkdir -p "$work/data"
export II_DATABASE_DIR=$work/data ODBCSYSINI=$work ODBCINI=$work/odbc.ini ODBCINSTINI=odbcinst.ini
cat >"$work/odbcinst.ini" <<INI
[Telvarin]
Driver = $build/lib/telvarin.so
[Telvarin Unicode]
Driver = $build/lib/telvarinu.so
INI
cat >"$work/odbc.ini" <<INI
[vg_narrow]
Driver = Telvarin
[vg_wide]
Driver = Telvarin Unicode
INI
for dsn in vg_narrow vg_wide; do
  "$build/bin/iicreatedb" "$dsn" >/dev/null
  if ! valgrind -q --error-exitcode=99 --leak-check=no --log-file="$work/$dsn.log" \
      "$work/fetch_loop" "$dsn" >"$work/$dsn.out" 2>&1 || ! grep -q "fetch loop ok" "$work/$dsn.out"; then
    echo "valgrind-fetch: $dsn failed"
    cat "$work/$dsn.out" "$work/$dsn.log"
    exit 1
  fi
  echo "valgrind-fetch: $dsn: no errors"
done
