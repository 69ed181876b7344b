#!/usr/bin/env bash
# Runs every benchmark case against our driver, Debian's SQLite ODBC driver and the SQLite C API,
# on one SQLite file of 1 000 000 rows, and writes its table into its section of bench/RESULTS.md.
#
# Protocol: a Release build; the file is made afresh; each case runs REPS times (default 3), each
# run in a process of its own; the table shows the median rows per second and the largest peak
# resident size of the runs, and the median of each run's rows per processor second. ROWS
# overrides the row count (for a quick try; the table is then only in build/bench/run.md). The static-cursor cases run once more on a file of
# a tenth of the rows, to show that the peak does not grow with the result (the updatable static
# cursor under values concurrency too). Then the inserts on 1, 2, 4 and 8 threads
# (bench/scale.sh). "bench/run.sh threads" runs only those, "bench/run.sh growth" only the fetch
# and insert at 10^4 to 10^7 rows (GROWTH_MAX=6 stops at 10^6), "bench/run.sh goals" only the
# wall-clock goals (best of 5 runs by turns with the SQLite C API loop and SQLite ODBC).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
reps=${REPS:-3}
rows=${ROWS:-1000000}
scripts/deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DTV_TESTS=OFF -DTV_BENCH=ON -DTV_SANITIZE=OFF -DTV_TSAN=OFF >/dev/null
cmake --build build -j"$(nproc)" >build/build.log 2>&1 || { tail -40 build/build.log; exit 1; }

work=$root/build/bench
rm -rf "$work"
mkdir -p "$work/data"
export II_DATABASE_DIR=$work/data ODBCSYSINI=$work ODBCINI=$work/odbc.ini ODBCINSTINI=odbcinst.ini
unset KIV_DEBUGFILE
sqliteodbc=$(ls /usr/lib/*/odbc/libsqlite3odbc.so 2>/dev/null | head -1 || true)
cat >"$work/odbcinst.ini" <<EOF
[Telvarin]
Driver = $root/build/lib/telvarin.so

[SQLite3]
Driver = $sqliteodbc
EOF
# connect_pooled runs with unixODBC's pooling on: the same drivers, each with a CPTimeout.
mkdir -p "$work/pooled"
{
  printf '[ODBC]\nPooling = Yes\n\n'
  sed 's/^Driver = .*/&\nCPTimeout = 60/' "$work/odbcinst.ini"
} >"$work/pooled/odbcinst.ini"
cat >"$work/odbc.ini" <<EOF
[bench]
Driver = Telvarin

[benchsmall]
Driver = Telvarin
EOF

# bench/run.sh threads | growth: only the thread cases, or only the growth cases (bench/scale.sh).
source bench/scale.sh
case "${1:-}" in
  threads) thread_cases; exit ;;
  growth) growth_cases; exit ;;
  goals) goal_cases; exit ;;
  "") ;;
  *) echo "usage: bench/run.sh [threads | growth | goals]" >&2; exit 2 ;;
esac

# The engine's file of database "bench" is the file every target reads.
file=$(build/bin/iicreatedb -p bench)
build/bin/tv_bench gen "$file" "$rows"
small_rows=$((rows / 10))
small_file=$(build/bin/iicreatedb -p benchsmall)
build/bin/tv_bench gen "$small_file" "$small_rows"

declare -A label=([sqlite]="SQLite C API" [ours]="telvarin (ours)" [sqliteodbc]="SQLite ODBC (libsqliteodbc)")
cases=(fetch1 fetch100 getdata insert connect connect_pooled static_open static_abs small_static_open small_static_abs
  static_values_open static_values_abs static_lock_open small_static_values_open keyset_open keyset_abs dynamic_next
  dynamic_prior)
targets=(sqlite ours sqliteodbc)
raw=$work/raw.txt
: >"$raw"
load_before=$(cut -d' ' -f1-3 /proc/loadavg)
for c in "${cases[@]}"; do
  # The small_ cases are the static ones on the small file; each line is labelled with its case.
  run=${c#small_} f=$file dsn=bench
  [ "$run" != "$c" ] && f=$small_file dsn=benchsmall
  export ODBCSYSINI=$work TV_BENCH_ROWS=
  [ "$run" = connect_pooled ] && export ODBCSYSINI=$work/pooled TV_BENCH_ROWS=1000
  for t in "${targets[@]}"; do
    for ((r = 1; r <= reps; r++)); do
      case $t in
        sqlite) out=$(build/bin/tv_bench sqlite "$run" "$f" 2>&1 || true) ;;
        ours) out=$(build/bin/tv_bench odbc "$run" "DSN=$dsn" 2>&1 || true) ;;
        sqliteodbc)
          if [ -n "$sqliteodbc" ]; then
            out=$(build/bin/tv_bench odbc "$run" "DRIVER={SQLite3};Database=$f" 2>&1 || true)
          else
            out="$run unsupported libsqliteodbc is not installed"
          fi ;;
      esac
      out=${out/#"$run "/"$c "}
      echo "$t $r $out" | tee -a "$raw"
    done
  done
done

# Median rate, largest peak and median rate per processor second per case and target; "-" when
# the case could not run.
summary() {  # target case -> "rate peak_kib cpu_rate" or "- reason"
  awk -v t="$1" -v c="$2" '
    BEGIN { n = 0 }  # an index, not the empty string an unset variable is in mawk
    $1 == t && $3 == c && $4 == "unsupported" { $1 = $2 = $3 = $4 = ""; sub(/^ +/, ""); why = $0 }
    $1 == t && $3 == c && $4 != "unsupported" && NF == 8 {
      r[n] = $6; u[n++] = $8 > 0 ? $4 / $8 : 0; if ($7 > peak) peak = $7
    }
    END {
      if (n == 0) { print "- " (why == "" ? "no result" : why); exit }
      for (i = 0; i < n; i++) for (j = i + 1; j < n; j++) {
        if (r[j] < r[i]) { x = r[i]; r[i] = r[j]; r[j] = x }
        if (u[j] < u[i]) { x = u[i]; u[i] = u[j]; u[j] = x }
      }
      print r[int(n / 2)], peak, u[int(n / 2)]
    }' "$raw"
}

declare -A title=(
  [fetch1]="(a) fetch all rows, bound columns, rowset 1"
  [fetch100]="(a) fetch all rows, bound columns, rowset 100"
  [getdata]="(b) SQLGetData per column"
  [insert]="(c) insert 100 000 rows, parameter arrays of 1000, one transaction"
  [connect]="(d) connect + disconnect (per second)"
  [connect_pooled]="(d) connect + disconnect through unixODBC's pool, 1000 connects (per second)"
  [static_open]="(e) static cursor: execute + fetch LAST"
  [static_abs]="(e) static cursor: random ABSOLUTE, rowset 10 (rowsets per second)"
  [small_static_open]="(e) static cursor, a tenth of the rows: execute + fetch LAST"
  [small_static_abs]="(e) static cursor, a tenth of the rows: random ABSOLUTE (rowsets per second)"
  [static_values_open]="(e) static cursor, values concurrency: execute + fetch LAST"
  [static_values_abs]="(e) static cursor, values concurrency: random ABSOLUTE (rowsets per second)"
  [static_lock_open]="(e) static cursor, lock concurrency (autocommit): execute + fetch LAST"
  [small_static_values_open]="(e) static cursor, values concurrency, a tenth of the rows: execute + fetch LAST"
  [keyset_open]="(f) keyset-driven cursor: execute + fetch LAST"
  [keyset_abs]="(f) keyset-driven cursor: random ABSOLUTE, rowset 10 (rowsets per second)"
  [dynamic_next]="(g) dynamic cursor, 100 000 rows in key order, rowset 100: NEXT to the end"
  [dynamic_prior]="(g) dynamic cursor, 100 000 rows in key order, rowset 100: then PRIOR back to the start")
fmt_rate() { awk -v v="$1" 'BEGIN { printf "%\047.0f", v }'; }
fmt_mib() { awk -v v="$1" 'BEGIN { printf "%.1f", v / 1024 }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "-" }'; }

# The table goes into its own section of RESULTS.md; the rest of the page is kept.
results=$work/run.md
notes=()
{
  echo "## Rows per second: every case"
  echo
  echo "Made by \`bench/run.sh\` on $(date -u '+%Y-%m-%d %H:%M UTC'); $rows rows of (integer, double,"
  echo "varchar(40), timestamp) in one SQLite file; median of $reps runs, each in its own process."
  echo
  echo "Machine: $(nproc) CPUs, $(lscpu | sed -n 's/^Model name: *//p' | head -1);"
  echo "$(uname -sr); $(lsb_release -ds 2>/dev/null || sed -n 's/^PRETTY_NAME="\(.*\)"/\1/p' /etc/os-release);"
  echo "unixODBC $(odbcinst --version | awk '{print $2}'); SQLite $(sqlite3 --version | awk '{print $1}');"
  echo "libsqliteodbc $(dpkg-query -W -f='${Version}' libsqliteodbc 2>/dev/null || echo none)."
  echo
  echo "Rows per second (connects per second for (d)); peak resident size of the whole process in MiB."
  echo "Ratios: ours divided by the other (above 1 means ours is faster)."
  echo
  echo "| case | SQLite C API | telvarin (ours) | SQLite ODBC | ours / SQLite ODBC | ours / C API | by processor time: ours / SQLite ODBC, ours / C API | peak MiB: C API / ours / SQLite ODBC |"
  echo "|---|---:|---:|---:|---:|---:|---:|---|"
  for c in "${cases[@]}"; do
    read -r fr fp fu <<<"$(summary sqlite "$c")"
    read -r or op ou <<<"$(summary ours "$c")"
    read -r sr sp su <<<"$(summary sqliteodbc "$c")"
    cell() { if [ "$1" = "-" ]; then echo "n/a"; else fmt_rate "$1"; fi; }
    mib() { if [ "$1" = "-" ]; then echo "-"; else fmt_mib "$2"; fi; }
    r1="-"; r2="-"
    [ "$or" != "-" ] && [ "$sr" != "-" ] && r1=$(ratio "$or" "$sr")
    [ "$or" != "-" ] && [ "$fr" != "-" ] && r2=$(ratio "$or" "$fr")
    u1="-"; u2="-"
    [ "$or" != "-" ] && [ "$sr" != "-" ] && u1=$(ratio "$ou" "$su")
    [ "$or" != "-" ] && [ "$fr" != "-" ] && u2=$(ratio "$ou" "$fu")
    echo "| ${title[$c]} | $(cell "$fr") | $(cell "$or") | $(cell "$sr") | $r1 | $r2 | $u1, $u2 | $(mib "$fr" "$fp") / $(mib "$or" "$op") / $(mib "$sr" "$sp") |"
    for t in "${targets[@]}"; do
      read -r v why <<<"$(summary "$t" "$c")"
      [ "$v" = "-" ] && notes+=("- ${title[$c]}, ${label[$t]}: $why")
    done
  done
  read -r f100 _ f100u <<<"$(summary ours fetch100)"
  read -r sopen _ sopenu <<<"$(summary ours static_open)"
  read -r sabs _ sabsu <<<"$(summary ours static_abs)"
  read -r vopen _ vopenu <<<"$(summary ours static_values_open)"
  read -r lopen _ lopenu <<<"$(summary ours static_lock_open)"
  read -r oabs _ oabsu <<<"$(summary sqliteodbc static_abs)"
  read -r ocon _ oconu <<<"$(summary ours connect)"
  read -r opool _ opoolu <<<"$(summary ours connect_pooled)"
  echo
  echo "Derived from the table (ours; wall clock, and in brackets processor time):"
  echo
  if [ "$ocon" != "-" ]; then
    echo "- connect + disconnect: $(awk -v r="$ocon" -v u="$oconu" 'BEGIN { printf "%.3f ms (%.3f ms)", 1000 / r, (u > 0 ? 1000 / u : 0) }')"
  fi
  if [ "$opool" != "-" ]; then
    echo "- connect + disconnect through unixODBC's pool: $(awk -v r="$opool" -v u="$opoolu" 'BEGIN { printf "%.1f µs (%.1f µs)", 1e6 / r, (u > 0 ? 1e6 / u : 0) }')"
  fi
  if [ "$f100" != "-" ] && [ "$sopen" != "-" ]; then
    echo "- static execute + LAST: $(ratio "$f100" "$sopen") ($(ratio "$f100u" "$sopenu")) times the time of a forward fetch of every row at rowset 100"
  fi
  if [ "$f100" != "-" ] && [ "$vopen" != "-" ]; then
    echo "- static execute + LAST under values concurrency: $(ratio "$f100" "$vopen") ($(ratio "$f100u" "$vopenu")) times the time of a forward fetch of every row at rowset 100"
  fi
  if [ "$f100" != "-" ] && [ "$lopen" != "-" ]; then
    echo "- static execute + LAST under lock concurrency (autocommit): $(ratio "$f100" "$lopen") ($(ratio "$f100u" "$lopenu")) times the time of a forward fetch"
  fi
  if [ "$sabs" != "-" ]; then
    line="- one random ABSOLUTE rowset of the static cursor: $(awk -v r="$sabs" -v u="$sabsu" 'BEGIN { printf "%.1f µs (%.1f µs)", 1e6 / r, (u > 0 ? 1e6 / u : 0) }')"
    [ "$oabs" != "-" ] && line+=$(awk -v r="$oabs" -v u="$oabsu" 'BEGIN { printf "; SQLite ODBC: %.1f µs (%.1f µs)", 1e6 / r, (u > 0 ? 1e6 / u : 0) }')
    echo "$line"
  fi
  echo
  echo "The SQLite C API column reads and writes the same values through sqlite3_step (texts copied,"
  echo "timestamps parsed into SQL_TIMESTAMP_STRUCT); it has no rowsets, so its three read cases are"
  echo "the same loop, with SQLite's memory statistics off as the engine turns them off. Our driver"
  echo "runs through unixODBC with the engine's OpenAPI layer over SQLite. The pooled connect (d) takes"
  echo "the connection unixODBC's pool keeps (\`Pooling = Yes\`, \`CPTimeout\`); unixODBC 2.3.11 leaves two"
  echo "character-set converters open at each connect taken from its pool (about 9 KiB resident each"
  echo "time, with any driver), which its peak shows."
  echo "On a machine shared with other work the figures of two runs differ by up to about 20 %:"
  echo "compare the columns of one table rather than two tables. The processor-time ratios count"
  echo "the time each process spent on a processor in the measured part (rows per processor"
  echo "second); waiting for a processor the load took does not enter them."
  echo
  echo "The dynamic cursor (g) reads in the order of the table's keys (its row ids), so each fetch's"
  echo "seek starts at an index; an ORDER BY on a column without an index would scan and sort the"
  echo "table at every fetch."
  echo
  echo "Load average while the cases ran: $load_before (before), $(cut -d' ' -f1-3 /proc/loadavg) (after)."
  echo
  echo "Where our driver spends its time: [PROFILE.md](PROFILE.md) (\`bench/profile.sh\`)."
  if [ ${#notes[@]} -gt 0 ]; then
    echo
    echo "Cases that could not run:"
    echo
    printf '%s\n' "${notes[@]}"
  fi
} >"$results"
[ "$rows" = 1000000 ] && bench/splice.py run.sh bench/RESULTS.md "$results"
echo
cat "$results"
thread_cases
goal_cases
