#!/usr/bin/env bash
# Builds the drivers, makes the sample database on the embedded engine, registers the driver and a
# data source in a private odbcinst.ini/odbc.ini under build/demo, and runs unixODBC's isql on it.
# Nothing outside the build tree is touched (besides installing missing Debian packages).
set -euo pipefail
cd "$(dirname "$0")"
root=$PWD
scripts/deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DTV_TESTS=OFF -DTV_SANITIZE=OFF -DTV_TSAN=OFF -DTV_WERROR=OFF >/dev/null
cmake --build build -j"$(nproc)" >build/build.log 2>&1 || { tail -40 build/build.log; exit 1; }
echo "== built: $(cd build/lib && ls telvarin*.so | tr '\n' ' ')"

demo=$root/build/demo
rm -rf "$demo"
mkdir -p "$demo/data"
# The engine keeps each database as one SQLite file in this directory.
export II_DATABASE_DIR=$demo/data
# unixODBC reads the driver list from $ODBCSYSINI/odbcinst.ini and the data sources from $ODBCINI.
export ODBCSYSINI=$demo ODBCINI=$demo/odbc.ini ODBCINSTINI=odbcinst.ini

build/bin/iicreatedb -s sample

cat >"$demo/odbcinst.ini" <<EOF
[Telvarin]
Description = Ingres ODBC driver (narrow entry points)
Driver = $root/build/lib/telvarin.so

[Telvarin Unicode]
Description = Ingres ODBC driver (wide entry points)
Driver = $root/build/lib/telvarinu.so
EOF
# The data source's name is the database's name.
cat >"$demo/odbc.ini" <<EOF
[sample]
Driver = Telvarin
Description = the sample database of the embedded engine
FetchBufferSize = 100
EOF
echo "== registered drivers: $(odbcinst -q -d | tr '\n' ' ')"
echo "== registered data sources: $(odbcinst -q -s | tr '\n' ' ')"
echo "== to repeat by hand:"
echo "   export II_DATABASE_DIR=$II_DATABASE_DIR ODBCSYSINI=$ODBCSYSINI ODBCINI=$ODBCINI"
echo "   isql -v sample"
echo

run() {
    echo "-- $1"
    echo "SQL> $2"
    # -b: batch; -m: columns at most 24 characters wide.
    echo "$2" | isql -b -m24 sample
    echo
}
run "Departments with their staff and payroll (a join with grouping)" \
    "SELECT d.dname, COUNT(*) AS staff, SUM(e.sal) AS payroll FROM emp e, dept d WHERE e.deptno = d.deptno GROUP BY d.dname ORDER BY d.dname"
run "Active employees by salary; NULL commissions show empty" \
    "SELECT ename, job, hiredate, sal, comm FROM emp WHERE active ORDER BY sal DESC"
run "A view" \
    "SELECT * FROM emp_names ORDER BY empno"
run "ODBC escapes: a scalar function and a date literal, translated for Ingres" \
    "SELECT {fn UCASE(ename)} AS upper_name, {fn LENGTH(ename)} AS len FROM emp WHERE hiredate < {d '1981-05-01'} ORDER BY empno"
run "The engine's own catalog" \
    "SELECT table_name, table_type FROM iitables WHERE table_owner <> '\$ingres' ORDER BY table_name"
run "The server's version" \
    "SELECT dbmsinfo('_version') AS version"
