#!/usr/bin/python3
"""pyodbc writes datetime values with microseconds into TIMESTAMP(6) columns and reads them back
unchanged: pyodbc sizes the fraction it sends from the first SQL_TYPE_TIMESTAMP row of
SQLGetTypeInfo. A datetime parameter then finds its rows by equality and by range. Arguments:
data source name, table name. Prints "timestamps ok" when every value came back whole and found
its rows."""
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
    # The driver sends nine fraction digits where the columns keep six and none.
    for i, v in enumerate(values):
        ids = [r.id for r in cur.execute("select id from %s where t = ? order by id" % table, v)]
        assert ids == [i, i + 10], ("t", v, ids)
        whole = v.replace(microsecond=0)
        ids = [r.id for r in cur.execute("select id from %s where d = ? order by id" % table, whole)]
        assert ids == [i, i + 10], ("d", whole, ids)
    low, high = datetime.datetime(1999, 12, 31, 23, 59, 59, 999999), datetime.datetime(2024, 1, 15, 10, 20, 30)
    ids = [r.id for r in cur.execute("select id from %s where t between ? and ? order by id" % table, low, high)]
    assert ids == [1, 2, 11, 12], ("between", ids)
    cur.execute("drop table %s" % table)
    print("timestamps ok")


main()
