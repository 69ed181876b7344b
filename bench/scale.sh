# The cases of bench/run.sh that watch how the cost of a row scales: with threads (thread_cases)
# and with the size of the table (growth_cases); and the wall-clock goals, best of several runs
# by turns (goal_cases). Sourced by run.sh after its build and set-up:
# it uses $root, $work, $reps and the data sources of $work/odbc.ini, and writes its tables into
# their own sections of bench/RESULTS.md (with every setting at its default).

# Each run's figure in a raw file whose lines start with the given words and end with tv_bench's
# "case rows secs rate peak_kib cpu_secs", one a line; none for runs that could not run. Figure:
# rate (rows per second), cpurate (rows per processor second), wall or cpu (nanoseconds a row),
# peak (MiB).
scale_values() {  # file figure word...
  local file=$1 figure=$2
  shift 2
  awk -v key="$*" -v f="$figure" '
    {
      k = split(key, w, " ")
      for (i = 1; i <= k; i++) if ($i != w[i]) next
      if (NF != k + 6 || $(k + 2) == "unsupported" || $(k + 2) <= 0) next
      rows = $(k + 2); secs = $(k + 3); rate = $(k + 4); peak = $(k + 5); cpu = $(k + 6)
      print f == "rate" ? rate : f == "cpurate" ? (cpu > 0 ? rows / cpu : 0) : \
        f == "wall" ? secs * 1e9 / rows : f == "cpu" ? cpu * 1e9 / rows : peak / 1024
    }' "$file"
}
# The median, or the best (the largest), of those figures; "-" when none of the runs ran.
scale_median() {  # file figure word...
  scale_values "$@" | sort -g | awk '{ v[n++] = $1 } END { print n ? v[int((n - 1) / 2)] : "-" }'
}
scale_best() {  # file figure word...
  scale_values "$@" | sort -g | awk '{ b = $1 } END { print NR ? b : "-" }'
}

scale_fmt() { awk -v v="$1" -v d="${2:-0}" 'BEGIN { if (v == "-") print "-"; else printf "%\047.*f", d, v }'; }
scale_ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (a == "-" || b == "-" || b == 0) print "-"; else printf "%.2f", a / b }'; }

scale_machine() {
  echo "Machine: $(nproc) CPUs, $(lscpu | sed -n 's/^Model name: *//p' | head -1); $(uname -sr);"
  echo "unixODBC $(odbcinst --version | awk '{print $2}'); SQLite $(sqlite3 --version | awk '{print $1}')."
}

# ---- threads -------------------------------------------------------------------------------

# N threads (1, 2, 4, 8), each on a connection and a database file of its own, each inserting
# THREAD_ROWS rows (default 100 000) with parameter arrays of 1000 in one transaction; for our
# driver and for the SQLite C API loop, the thread counts and the targets run by turns, REPS
# rounds, every file made afresh before each run.
thread_cases() {
  local rows=${THREAD_ROWS:-100000} counts=(1 2 4 8) raw=$work/threads.txt out=$work/threads.md
  local i n r t line pattern load_before
  for ((i = 0; i < 8; i++)); do printf '[bt%d]\nDriver = Telvarin\n\n' "$i" >>"$work/odbc.ini"; done
  pattern=$(dirname "$(build/bin/iicreatedb -p bt0)")/bt%d.db
  : >"$raw"
  load_before=$(cut -d' ' -f1-3 /proc/loadavg)
  for ((r = 1; r <= reps; r++)); do
    for n in "${counts[@]}"; do
      for t in ours sqlite; do
        for ((i = 0; i < n; i++)); do build/bin/tv_bench gen "${pattern/\%d/$i}" 0 >/dev/null; done
        if [ $t = ours ]; then
          line=$(TV_BENCH_THREADS=$n TV_BENCH_ROWS=$rows build/bin/tv_bench odbc insert_threads 'DSN=bt%d' 2>&1 || true)
        else
          line=$(TV_BENCH_THREADS=$n TV_BENCH_ROWS=$rows build/bin/tv_bench sqlite insert_threads "$pattern" 2>&1 || true)
        fi
        echo "threads $t $n $line" | tee -a "$raw"
      done
    done
  done
  {
    echo "## Inserts on several threads"
    echo
    echo "Made by \`bench/run.sh\` on $(date -u '+%Y-%m-%d %H:%M UTC'): each thread on a connection and a database"
    echo "file of its own inserts $(scale_fmt "$rows") rows of (integer, double, varchar(40), timestamp) with"
    echo "parameter arrays of 1000 in one transaction (\`tv_bench insert_threads\`); the SQLite C API loop"
    echo "does the same on the same files. Median of $reps rounds; in each round every thread count and"
    echo "target ran by turns, each in a process of its own, on files made afresh. Processor time is that"
    echo "of the whole process over the measured part (all its threads), divided by the rows of all threads."
    echo
    scale_machine
    echo "Load average while they ran: $load_before (before), $(cut -d' ' -f1-3 /proc/loadavg) (after)."
    echo
    echo "| threads | rows/s in all, ours | rows/s in all, C API | processor ns a row, ours | processor ns a row, C API | ours: a row's processor time / one thread's | C API: the same |"
    echo "|---:|---:|---:|---:|---:|---:|---:|"
    local o1 s1
    o1=$(scale_median "$raw" cpu threads ours 1) s1=$(scale_median "$raw" cpu threads sqlite 1)
    for n in "${counts[@]}"; do
      local orate srate ocpu scpu
      orate=$(scale_median "$raw" rate threads ours "$n") srate=$(scale_median "$raw" rate threads sqlite "$n")
      ocpu=$(scale_median "$raw" cpu threads ours "$n") scpu=$(scale_median "$raw" cpu threads sqlite "$n")
      echo "| $n | $(scale_fmt "$orate") | $(scale_fmt "$srate") | $(scale_fmt "$ocpu") | $(scale_fmt "$scpu") | $(scale_ratio "$ocpu" "$o1") | $(scale_ratio "$scpu" "$s1") |"
    done
  } >"$out"
  [ "$rows" = 100000 ] && [ "$reps" = 3 ] && bench/splice.py "run.sh threads" bench/RESULTS.md "$out"
  echo
  cat "$out"
}

# ---- growth --------------------------------------------------------------------------------

# Fetch (bound columns, rowset 100) and insert (parameter arrays of 1000, one transaction) at
# 10^4 up to 10^GROWTH_MAX rows (default 7): the time of a row and the peak resident size, for our
# driver and the SQLite C API loop. Each size's files are made afresh and removed after it (the
# 10^7-row file is about 1 GB, and the insert writes as much again).
growth_cases() {
  local max=${GROWTH_MAX:-7} raw=$work/growth.txt out=$work/growth.md
  local e n r t c line file ifile f dsn need free load_before
  # About 110 bytes a row in the file, once for the fetch and once for the insert, and the
  # insert's write-ahead log as much again.
  need=$((10 ** max * 330 / 1024))
  free=$(df -k --output=avail "$work" | tail -1)
  if [ "$free" -lt "$need" ]; then
    echo "growth: $((need / 1024)) MiB of disk needed in $work, $((free / 1024)) MiB free" >&2
    return 1
  fi
  : >"$raw"
  load_before=$(cut -d' ' -f1-3 /proc/loadavg)
  for ((e = 4; e <= max; e++)); do
    n=$((10 ** e))
    printf '[g%d]\nDriver = Telvarin\n\n[gi%d]\nDriver = Telvarin\n\n' "$e" "$e" >>"$work/odbc.ini"
    file=$(build/bin/iicreatedb -p "g$e") ifile=$(build/bin/iicreatedb -p "gi$e")
    build/bin/tv_bench gen "$file" "$n" >/dev/null
    for ((r = 1; r <= reps; r++)); do
      for c in fetch100 insert; do
        for t in ours sqlite; do
          if [ $c = insert ]; then
            build/bin/tv_bench gen "$ifile" 0 >/dev/null
            f=$ifile dsn=gi$e
          else
            f=$file dsn=g$e
          fi
          if [ $t = ours ]; then
            line=$(TV_BENCH_ROWS=$n build/bin/tv_bench odbc $c "DSN=$dsn" 2>&1 || true)
          else
            line=$(TV_BENCH_ROWS=$n build/bin/tv_bench sqlite $c "$f" 2>&1 || true)
          fi
          echo "growth $e $c $t $line" | tee -a "$raw"
        done
      done
    done
    rm -f "$file"* "$ifile"*
  done
  {
    echo "## Growth: a row's cost and the peak memory as the table grows"
    echo
    echo "Made by \`bench/run.sh growth\` on $(date -u '+%Y-%m-%d %H:%M UTC'): fetch of every row of a table of N rows"
    echo "of (integer, double, varchar(40), timestamp) with bound columns at rowset 100, and insert of N rows"
    echo "into an empty table with parameter arrays of 1000 in one transaction; our driver through"
    echo "unixODBC and the SQLite C API loop, each run in a process of its own, median of $reps runs."
    echo "Wall and processor nanoseconds a row; peak resident size of the whole process in MiB."
    echo
    scale_machine
    echo "Load average while they ran: $load_before (before), $(cut -d' ' -f1-3 /proc/loadavg) (after)."
    echo
    echo "| rows | case | wall ns a row, ours | processor ns a row, ours | peak MiB, ours | wall ns a row, C API | processor ns a row, C API | peak MiB, C API |"
    echo "|---:|---|---:|---:|---:|---:|---:|---:|"
    for ((e = 4; e <= max; e++)); do
      for c in fetch100 insert; do
        local row="| 10^$e | $c |"
        for t in ours sqlite; do
          row+=" $(scale_fmt "$(scale_median "$raw" wall growth $e $c $t)") |"
          row+=" $(scale_fmt "$(scale_median "$raw" cpu growth $e $c $t)") |"
          row+=" $(scale_fmt "$(scale_median "$raw" peak growth $e $c $t)" 1) |"
        done
        echo "$row"
      done
    done
  } >"$out"
  [ "$max" = 7 ] && [ "$reps" = 3 ] && bench/splice.py "run.sh growth" bench/RESULTS.md "$out"
  echo
  cat "$out"
}

# ---- goals ---------------------------------------------------------------------------------

# The wall-clock goals against the SQLite C API loop and Debian's SQLite ODBC driver on the same
# file of $rows rows: GOAL_ROUNDS rounds (default 5), in each every case and target by turns,
# each run in a process of its own; the best run of each counts, so that a neighbour's burst on
# this shared machine weighs least. The insert runs on a fresh file each time.
goal_cases() {
  local rounds=${GOAL_ROUNDS:-5} raw=$work/goals.txt out=$work/goals.md
  local file ifile r c t line f dsn load_before
  declare -A goal=(
    [fetch100.sqlite]=1.2 [getdata.sqlite]=0.9 [insert.sqlite]=0.9 [insert.sqliteodbc]=2)
  printf '[goal]\nDriver = Telvarin\n\n[goali]\nDriver = Telvarin\n\n' >>"$work/odbc.ini"
  file=$(build/bin/iicreatedb -p goal) ifile=$(build/bin/iicreatedb -p goali)
  build/bin/tv_bench gen "$file" "$rows" >/dev/null
  : >"$raw"
  load_before=$(cut -d' ' -f1-3 /proc/loadavg)
  for ((r = 1; r <= rounds; r++)); do
    for c in fetch100 getdata insert; do
      for t in ours sqlite sqliteodbc; do
        [ $t = sqliteodbc ] && [ -z "$sqliteodbc" ] && continue
        f=$file dsn=goal
        if [ $c = insert ]; then
          build/bin/tv_bench gen "$ifile" 0 >/dev/null
          f=$ifile dsn=goali
        fi
        case $t in
          ours) line=$(build/bin/tv_bench odbc $c "DSN=$dsn" 2>&1 || true) ;;
          sqlite) line=$(build/bin/tv_bench sqlite $c "$f" 2>&1 || true) ;;
          sqliteodbc) line=$(build/bin/tv_bench odbc $c "DRIVER={SQLite3};Database=$f" 2>&1 || true) ;;
        esac
        echo "goal $c $t $line" | tee -a "$raw"
      done
    done
  done
  rm -f "$file"* "$ifile"*
  {
    echo "## Wall-clock goals"
    echo
    echo "Made by \`bench/run.sh goals\` on $(date -u '+%Y-%m-%d %H:%M UTC'): $(scale_fmt "$rows") rows of (integer, double,"
    echo "varchar(40), timestamp) in one SQLite file (the insert: that many rows into an empty table, parameter"
    echo "arrays of 1000, one transaction); best of $rounds rounds, in each every case and target by turns, each"
    echo "run in a process of its own. Ratios: ours divided by the other, by the clock and, in brackets, by"
    echo "processor time."
    echo
    scale_machine
    echo "Load average while they ran: $load_before (before), $(cut -d' ' -f1-3 /proc/loadavg) (after)."
    echo
    echo "| case | rows/s, ours | rows/s, C API | ours / C API | goal | rows/s, SQLite ODBC | ours / SQLite ODBC | goal |"
    echo "|---|---:|---:|---:|---|---:|---:|---|"
    for c in fetch100 getdata insert; do
      local o s q ou su qu
      o=$(scale_best "$raw" rate goal $c ours) s=$(scale_best "$raw" rate goal $c sqlite)
      q=$(scale_best "$raw" rate goal $c sqliteodbc)
      ou=$(scale_best "$raw" cpurate goal $c ours) su=$(scale_best "$raw" cpurate goal $c sqlite)
      qu=$(scale_best "$raw" cpurate goal $c sqliteodbc)
      local g1=${goal[$c.sqlite]:-} g2=${goal[$c.sqliteodbc]:-}
      echo "| $c | $(scale_fmt "$o") | $(scale_fmt "$s") | $(scale_ratio "$o" "$s") ($(scale_ratio "$ou" "$su")) |" \
        "${g1:+>= ${g1}x$(goal_met "$o" "$s" "$g1")} | $(scale_fmt "$q") | $(scale_ratio "$o" "$q") ($(scale_ratio "$ou" "$qu")) |" \
        "${g2:+>= ${g2}x$(goal_met "$o" "$q" "$g2")} |"
    done
  } >"$out"
  [ "$rows" = 1000000 ] && [ "$rounds" = 5 ] && bench/splice.py "run.sh goals" bench/RESULTS.md "$out"
  echo
  cat "$out"
}

# ": met" or ": not met" by the clock.
goal_met() {  # ours other goal
  awk -v a="$1" -v b="$2" -v g="$3" 'BEGIN { if (a == "-" || b == "-" || b == 0) print ""; else print (a / b >= g ? ": met" : ": not met") }'
}
