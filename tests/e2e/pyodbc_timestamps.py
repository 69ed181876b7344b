#!/usr/bin/python3
"""pyodbc writes datetime values with microseconds into TIMESTAMP(6) columns and reads them back
unchanged: pyodbc sizes the fraction it sends from the first SQL_TYPE_TIMESTAMP row of
SQLGetTypeInfo. Arguments: data source name, table name. Prints "timestamps ok" when every value
came back whole."""
import datetime
import sys

import pyodbc


def main():
    dsn, table = sys.argv[1], sys.argv[2]
    cn = pyodbc.connect("DSN=%s;UID=tvuser;PWD=secret" % dsn, autocommit=True)
    cur = cn.cursor()
    first = cur.getTypeInfo(pyodbc.SQL_TYPE_TIMESTAMP).fetchone()
    assert first.column_size == 29, (first.type_name, first.column_size)
    try:
        cur.execute("drop table %s" % table)
    except pyodbc.Error:
        pass
    cur.execute("create table %s (id integer not null, t timestamp(6), d timestamp(0))" % table)
    values = [
        datetime.datetime(2024, 1, 15, 10, 20, 30, 123456),
        datetime.datetime(1999, 12, 31, 23, 59, 59, 999999),
        datetime.datetime(2000, 2, 29, 0, 0, 0, 1),
        datetime.datetime(2038, 1, 19, 3, 14, 7, 500000),
        datetime.datetime(2024, 6, 1, 12, 0, 0),
    ]
    # One row at a time, as a plain execute binds it, then a batch of parameter rows.
    for i, v in enumerate(values[:2]):
        cur.execute("insert into %s values (?, ?, ?)" % table, i, v, v.replace(microsecond=0))
    cur.executemany("insert into %s values (?, ?, ?)" % table,
                    [(i + 2, v, v.replace(microsecond=0)) for i, v in enumerate(values[2:])])
    cur.fast_executemany = True
    cur.executemany("insert into %s values (?, ?, ?)" % table,
                    [(i + 10, v, v.replace(microsecond=0)) for i, v in enumerate(values)])
    rows = cur.execute("select id, t, d from %s order by id" % table).fetchall()
    got = [(r.id, r.t, r.d) for r in rows]
    want = [(i, v, v.replace(microsecond=0)) for i, v in enumerate(values)]
    want += [(i + 10, v, v.replace(microsecond=0)) for i, v in enumerate(values)]
    assert got == want, (got, want)
    cur.execute("drop table %s" % table)
    print("timestamps ok")


main()
