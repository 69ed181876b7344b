#!/usr/bin/env bash
# Instructions per row (per connect) of the four hot paths, counted by callgrind, beside the
# wall clock. One command:
#
#   bench/instructions.sh
#
# Per case and target, tv_bench runs under `valgrind --tool=callgrind --collect-atstart=no` at two
# sizes; only the measured part of a run is counted, less the benchmark's own work in it (making
# the values it inserts, checking the values it reads). Instructions per row = the difference of
# the two counts divided by the difference of the two sizes, so what a run costs once (loading
# the driver, connecting, preparing) drops out. The instruction counts do not depend on the load
# of the machine; the wall-clock columns do.
#
# Cases: fetch100 (SELECT of 4 columns, bound columns, rowset 100), getdata (SQLFetch and four
# SQLGetData a row), insert (parameter arrays of 1000, one transaction), connect (SQLDriverConnect
# + SQLDisconnect, no pooling; per connect also the system calls, by strace -f -c, likewise as a
# difference of two counts), connect_pooled (the same through an odbcinst.ini with unixODBC's
# pooling on: a connect takes the pooled connection again). Targets: ours (the wide driver telvarinu through unixODBC; FLAVOR=
# narrow for telvarin), sqlite (the SQLite C API loop on the same file: the floor), sqliteodbc
# (Debian's SQLite ODBC driver, when installed).
#
# Settings (environment): CASES, TARGETS (space-separated subsets), FLAVOR (wide|narrow),
# SMALL, LARGE (rows of the two files; default 10000, 60000), CONNECTS_SMALL, CONNECTS_LARGE
# (default 20, 120), WALL_ROWS (rows of the wall-clock file, default 1000000; 0 skips the wall
# clock), REPS (wall-clock runs, median; default 3), JOBS (callgrind runs at once, default 4),
# BUILD (build directory, default build-bench: Release with -g, the benchmark on).
#
# Output: a Markdown table on standard output and in $BUILD/bench/instructions.md; the callgrind
# files stay in $BUILD/bench/cg/ (callgrind_annotate --inclusive=yes FILE shows where the
# instructions go). With every setting at its default the table also replaces the generated
# section of bench/RESULTS.md.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
cases=(${CASES:-fetch100 getdata insert connect connect_pooled})
targets=(${TARGETS:-ours sqlite sqliteodbc})
flavor=${FLAVOR:-wide}
small=${SMALL:-10000} large=${LARGE:-60000}
csmall=${CONNECTS_SMALL:-20} clarge=${CONNECTS_LARGE:-120}
wall_rows=${WALL_ROWS:-1000000}
reps=${REPS:-3}
jobs=${JOBS:-4}
build=${BUILD:-build-bench}
defaults=0
[ -z "${CASES:-}${TARGETS:-}${SMALL:-}${LARGE:-}${CONNECTS_SMALL:-}${CONNECTS_LARGE:-}${WALL_ROWS:-}" ] &&
  [ "$flavor" = wide ] && defaults=1

scripts/deps.sh
for tool in valgrind strace; do
  command -v $tool >/dev/null || { echo "$tool is needed: apt-get install $tool" >&2; exit 1; }
done
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS=-g -DTV_TESTS=OFF -DTV_BENCH=ON \
  -DTV_SANITIZE=OFF -DTV_TSAN=OFF >/dev/null
cmake --build "$build" -j"$(nproc)" --target tv_bench >"$build/build.log" 2>&1 || { tail -40 "$build/build.log"; exit 1; }
# What was measured: the commit, and whether the tree differed from it when it was built.
built="commit $(git rev-parse --short HEAD)$(git diff --quiet HEAD -- . ':!bench/RESULTS.md' 2>/dev/null || echo ' with uncommitted changes')"

work=$root/$build/bench
rm -rf "$work"
mkdir -p "$work/data" "$work/cg"
export II_DATABASE_DIR=$work/data ODBCSYSINI=$work ODBCINI=$work/odbc.ini ODBCINSTINI=odbcinst.ini
unset KIV_DEBUGFILE
lib=telvarinu.so
[ "$flavor" = narrow ] && lib=telvarin.so
sqliteodbc=$(ls /usr/lib/*/odbc/libsqlite3odbc.so 2>/dev/null | head -1 || true)
cat >"$work/odbcinst.ini" <<EOF
[Telvarin]
Driver = $root/$build/lib/$lib

[SQLite3]
Driver = $sqliteodbc
EOF
mkdir -p "$work/pooled"
{
  printf '[ODBC]\nPooling = Yes\n\n'
  sed 's/^Driver = .*/&\nCPTimeout = 60/' "$work/odbcinst.ini"
} >"$work/pooled/odbcinst.ini"
: >"$work/odbc.ini"
bin=$root/$build/bin
# Read files: t of SMALL, LARGE and WALL_ROWS rows. Insert: a fresh file per target and size (an
# empty t), so that no run meets another's rows, free pages or write-ahead log.
declare -A file
dsns=()
newfile() {  # name rows
  printf '[%s]\nDriver = Telvarin\n\n' "$1" >>"$work/odbc.ini"
  file[$1]=$("$bin/iicreatedb" -p "$1")
  "$bin/tv_bench" gen "${file[$1]}" "$2" >/dev/null
  dsns+=("$1=${file[$1]}")
}
newfile bsmall "$small"
newfile blarge "$large"
[ "$wall_rows" != 0 ] && newfile bwall "$wall_rows"
# Connect likewise: a run that opens a file other processes hold open takes another path through
# SQLite than one that is the file's first and last user.
for t in "${targets[@]}"; do
  for size in small large wall; do
    [ $size = wall ] && [ "$wall_rows" = 0 ] && continue
    newfile "bi$t$size" 0
    newfile "bc$t$size" 0
    newfile "bp$t$size" 0
  done
done

# What a run at a size processes: rows of the file, rows inserted, or connects.
amount() {  # case size
  case $1.$2 in
    insert.small) echo "$small" ;;
    insert.large) echo "$large" ;;
    insert.wall) echo 100000 ;;
    connect*.small) echo "$csmall" ;;
    connect*.large) echo "$clarge" ;;
    connect*.wall) echo 1000 ;;
    *.small) echo "$small" ;;
    *.large) echo "$large" ;;
    *) echo "$wall_rows" ;;
  esac
}
# tv_bench's arguments: "odbc CONNSTR" or "sqlite FILE".
args() {  # case target size
  local db=b$3
  [ "$1" = insert ] && db=bi$2$3
  [ "$1" = connect ] && db=bc$2$3
  [ "$1" = connect_pooled ] && db=bp$2$3
  local f
  f=$(printf '%s\n' $DSNS | sed -n "s|^$db=||p")
  case $2 in
    ours) echo "odbc DSN=$db" ;;
    sqlite) echo "sqlite $f" ;;
    sqliteodbc) echo "odbc DRIVER={SQLite3};Database=$f" ;;
  esac
}
available() {  # target
  [ "$1" != sqliteodbc ] || [ -n "$sqliteodbc" ]
}
sysini() {  # case -> the directory of the odbcinst.ini it runs with
  [ "$1" = connect_pooled ] && echo "$work/pooled" || echo "$work"
}
run_one() {  # case target size
  local c=$1 t=$2 size=$3 out=$work/cg/$1.$2.$3 a n
  a=$(args "$c" "$t" "$size")
  n=$(amount "$c" "$size")
  export ODBCSYSINI
  ODBCSYSINI=$(sysini "$c")
  TV_BENCH_ROWS=$n valgrind --tool=callgrind --collect-atstart=no --callgrind-out-file="$out.cg" \
    "$bin/tv_bench" ${a%% *} "$c" "${a#* }" >"$out.txt" 2>"$out.err" || true
  case $c in
    connect*)
      TV_BENCH_ROWS=$n strace -f -c -o "$out.strace" "$bin/tv_bench" ${a%% *} "$c" "${a#* }" >/dev/null 2>&1 || true
      ;;
  esac
}
export -f run_one args amount sysini
export work bin small large csmall clarge wall_rows
export DSNS="${dsns[*]}"
for c in "${cases[@]}"; do
  for t in "${targets[@]}"; do
    available "$t" || continue
    for size in small large; do echo "$c $t $size"; done
  done
done | xargs -P "$jobs" -L 1 bash -c 'run_one "$@"' _

# Total instructions of a callgrind file ("summary:" line); empty when the run failed.
total() { [ -f "$1" ] && awk '/^(summary|totals):/ { print $2; exit }' "$1" || true; }
per() {  # case target -> instructions per unit, or "-"
  local a b na nb
  a=$(total "$work/cg/$1.$2.small.cg") b=$(total "$work/cg/$1.$2.large.cg")
  na=$(amount "$1" small) nb=$(amount "$1" large)
  if [ -z "$a" ] || [ -z "$b" ] || grep -q unsupported "$work/cg/$1.$2.large.txt" 2>/dev/null; then
    echo "-"
  else
    awk -v a="$a" -v b="$b" -v na="$na" -v nb="$nb" 'BEGIN { printf "%.0f", (b - a) / (nb - na) }'
  fi
}
syscalls() {  # case target -> system calls per connect, or "-"
  local a b
  a=$(awk '$NF == "total" { print $4 }' "$work/cg/$1.$2.small.strace" 2>/dev/null || true)
  b=$(awk '$NF == "total" { print $4 }' "$work/cg/$1.$2.large.strace" 2>/dev/null || true)
  [ -n "$a" ] && [ -n "$b" ] && awk -v a="$a" -v b="$b" -v na="$csmall" -v nb="$clarge" \
    'BEGIN { printf "%.0f", (b - a) / (nb - na) }' || echo "-"
}

# Wall clock: median of REPS runs on the wall-clock file (insert: 100 000 rows; connect: 1000, so that the first, which opens the file, weighs little).
declare -A wall
if [ "$wall_rows" != 0 ]; then
  for c in "${cases[@]}"; do
    for t in "${targets[@]}"; do
      available "$t" || continue
      a=$(args "$c" "$t" wall)
      vals=()
      for ((r = 1; r <= reps; r++)); do
        line=$(ODBCSYSINI=$(sysini "$c") TV_BENCH_ROWS=$(amount "$c" wall) "$bin/tv_bench" ${a%% *} "$c" "${a#* }" 2>/dev/null || true)
        set -- $line
        [ $# -ge 4 ] && [ "$2" != unsupported ] && vals+=("$4")
      done
      if [ ${#vals[@]} -gt 0 ]; then
        wall[$c.$t]=$(printf '%s\n' "${vals[@]}" | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }')
      fi
    done
  done
fi

declare -A title=(
  [fetch100]="fetch, rowset 100, bound columns"
  [getdata]="SQLFetch + 4 SQLGetData"
  [insert]="insert, parameter arrays of 1000"
  [connect]="connect + disconnect (unpooled), per connect"
  [connect_pooled]="connect + disconnect through unixODBC's pool, per connect")
# This round's goals: instructions and system calls judged here, the wall-clock ones best of five
# by turns (bench/run.sh goals).
declare -A limit=([fetch100]=3000 [getdata]=4500 [insert]=9000 [connect]=1400000)
declare -A call_limit=([connect]=20)
declare -A goal=(
  [fetch100]="<= ${limit[fetch100]}; >= 1.2x the C API's rows/s"
  [getdata]="<= ${limit[getdata]}; >= 0.9x the C API's rows/s"
  [insert]="<= ${limit[insert]}; >= 0.9x the C API's, >= 2x SQLite ODBC's rows/s"
  [connect]="<= ${limit[connect]}, <= 250 µs, <= ${call_limit[connect]} system calls"
  [connect_pooled]="- (unixODBC's own work)")
# ": met" or ": not met" for a figure against its limit; nothing without either.
verdict() {  # figure limit
  [ -n "$2" ] && [ -n "$1" ] && [ "$1" != "-" ] &&
    awk -v v="$1" -v l="$2" 'BEGIN { print (v <= l ? ": met" : ": not met") }' || true
}
fmt() { [ "$1" = "-" ] || [ -z "$1" ] && echo "-" || awk -v v="$1" 'BEGIN { printf "%\047.0f", v }'; }
ratio() { [ -z "$1" ] || [ -z "$2" ] && echo "-" || awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
has() { local x; for x in "${targets[@]}"; do [ "$x" = "$1" ] && available "$1" && return 0; done; return 1; }
table=$work/instructions.md
{
  echo "Made by \`bench/instructions.sh\` on $(date -u '+%Y-%m-%d %H:%M UTC'), $built; $lib through unixODBC $(odbcinst --version | awk '{print $2}'), SQLite $(sqlite3 --version 2>/dev/null | awk '{print $1}')."
  echo "Instructions: callgrind, difference of runs on $small and $large rows ($csmall and $clarge connects)."
  [ "$wall_rows" != 0 ] && echo "Wall clock: median of $reps runs on $wall_rows rows (insert 100 000 rows, connect 1000 connects); load average $(cut -d' ' -f1-3 /proc/loadavg) at the end."
  echo
  printf '| case | instructions, ours | goal | SQLite C API loop |'
  has sqliteodbc && printf ' SQLite ODBC |'
  [ "$wall_rows" != 0 ] && printf ' rows/s, ours | rows/s, C API | ours / C API |' && has sqliteodbc && printf ' rows/s, SQLite ODBC | ours / SQLite ODBC |'
  echo
  printf '|---|---:|---|---:|'
  has sqliteodbc && printf -- '---:|'
  [ "$wall_rows" != 0 ] && printf -- '---:|---:|---:|' && has sqliteodbc && printf -- '---:|---:|'
  echo
  for c in "${cases[@]}"; do
    label=${title[$c]}
    ours_i=$(has ours && per "$c" ours || echo "-")
    met=$(verdict "$ours_i" "${limit[$c]:-}")
    if [[ $c == connect* ]]; then
      calls=$(has ours && syscalls "$c" ours || echo -)
      ours_i="$(fmt "$ours_i")$met ($calls system calls$(verdict "$calls" "${call_limit[$c]:-}"))"
    else
      ours_i="$(fmt "$ours_i")$met"
    fi
    printf '| %s | %s | %s | %s |' "$label" "$ours_i" "${goal[$c]}" "$(has sqlite && fmt "$(per "$c" sqlite)" || echo -)"
    has sqliteodbc && printf ' %s |' "$(fmt "$(per "$c" sqliteodbc)")"
    if [ "$wall_rows" != 0 ]; then
      o=${wall[$c.ours]:-} s=${wall[$c.sqlite]:-} q=${wall[$c.sqliteodbc]:-}
      if [[ $c == connect* ]] && [ -n "$o" ]; then
        printf ' %s (%s µs) | %s | %s |' "$(fmt "$o")" "$(awk -v r="$o" 'BEGIN { printf "%.0f", 1e6 / r }')" "$(fmt "${s:--}")" "$(ratio "$o" "$s")"
      else
        printf ' %s | %s | %s |' "$(fmt "${o:--}")" "$(fmt "${s:--}")" "$(ratio "$o" "$s")"
      fi
      has sqliteodbc && printf ' %s | %s |' "$(fmt "${q:--}")" "$(ratio "$o" "$q")"
    fi
    echo
  done
  echo
  echo "Instructions are per row (per connect for connect); rows/s is connects per second for connect."
} >"$table"
cat "$table"

[ $defaults = 1 ] && bench/splice.py instructions.sh bench/RESULTS.md "$table"
exit 0
