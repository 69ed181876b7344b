#!/usr/bin/python3
"""The driver from Python through pyodbc (Debian: python3-pyodbc).

Connects by connection string, creates a table, inserts rows with parameter arrays
(fast_executemany), reads them back with fetchall, calls a procedure and lists the tables.

    examples/pyodbc_demo.py [CONNECTION-STRING]

The default connection string names the data source "sample" that ./demo.sh registers; run it
with the environment demo.sh prints (II_DATABASE_DIR, ODBCSYSINI, ODBCINI).
"""
import datetime
import decimal
import sys

import pyodbc


def main(conn_str):
    cn = pyodbc.connect(conn_str, autocommit=False)
    cur = cn.cursor()
    print("connected to", cn.getinfo(pyodbc.SQL_DBMS_NAME), cn.getinfo(pyodbc.SQL_DBMS_VER))

    # A fresh table each run.
    try:
        cur.execute("DROP TABLE py_orders")
    except pyodbc.Error:
        pass
    cur.execute("CREATE TABLE py_orders (id integer NOT NULL PRIMARY KEY, item varchar(30) NOT NULL,"
                " qty integer, price decimal(9,2), placed timestamp)")
    cn.commit()

    # One SQLExecute for all rows: pyodbc binds them as parameter arrays.
    rows = [(i, "item %d" % i, i % 7, decimal.Decimal("%d.%02d" % (i, i % 100)),
             datetime.datetime(2024, 1, 1 + i % 28, i % 24, i % 60, i % 60))
            for i in range(1, 501)]
    cur.fast_executemany = True
    cur.executemany("INSERT INTO py_orders VALUES (?, ?, ?, ?, ?)", rows)
    cn.commit()
    print("inserted", len(rows), "rows with fast_executemany")

    cur.execute("SELECT id, item, qty, price, placed FROM py_orders WHERE qty = ? ORDER BY id", 3)
    got = cur.fetchall()
    print("rows with qty 3:", len(got))
    for r in got[:3]:
        print("  ", tuple(r))
    assert [tuple(r) for r in got] == [r for r in rows if r[2] == 3], "rows read back differ"

    cur.execute("SELECT COUNT(*), SUM(qty) FROM py_orders")
    count, total = cur.fetchone()
    print("count", count, "total qty", total)

    # Procedures of the sample database: one that changes a row (undone below), one that
    # returns rows.
    cur.execute("{call raise_salary(?, ?)}", 7369, 10.0)
    cur.execute("SELECT sal FROM emp WHERE empno = ?", 7369)
    print("Smith's salary after raise_salary(7369, 10):", cur.fetchone()[0])
    cn.rollback()
    cur.execute("{call emps_of(?)}", 20)
    print("emps_of(20):", [tuple(r) for r in cur.fetchall()])

    print("tables:", sorted(t.table_name for t in cur.tables(tableType="TABLE")))
    print("columns of dept:", [(c.column_name, c.type_name) for c in cur.columns(table="dept")])
    cur.execute("DROP TABLE py_orders")
    cn.commit()
    cn.close()
    print("done")


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "DSN=sample")
