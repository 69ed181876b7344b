#!/usr/bin/python3
"""Inserts 10 000 rows with pyodbc's executemany and fast_executemany enabled, then reads every
row back and compares. Arguments: data source name, table name. Exit status 0 when every row
came back as it was sent."""
import datetime
import decimal
import sys

import pyodbc

ROWS = 10000


def row(i):
    return (
        i,
        "name %d" % i if i % 7 else "",
        i * 0.5,
        decimal.Decimal(i) / 100 - 50,
        datetime.date(2000 + i % 30, 1 + i % 12, 1 + i % 28),
        None if i % 11 == 0 else "x" * (i % 40),
        5000000000 + i,
    )


def run(cn, table, columns, sent, sizes):
    """Creates table, inserts sent with fast_executemany, reads it back; the number of rows that
    differ (-1 when the count is wrong)."""
    cur = cn.cursor()
    try:
        cur.execute("drop table " + table)
        cn.commit()
    except pyodbc.Error:
        cn.rollback()
    cur.execute("create table %s (%s)" % (table, ", ".join(c[0] + " " + c[1] for c in columns)))
    cn.commit()
    cur.fast_executemany = True
    if sizes:
        cur.setinputsizes(sizes)
    marks = ", ".join("?" for _ in columns)
    cur.executemany("insert into %s values (%s)" % (table, marks), sent)
    cn.commit()
    count = cur.execute("select count(*) from " + table).fetchone()[0]
    if count != len(sent):
        print("%s: expected %d rows, found %d" % (table, len(sent), count))
        return -1
    names = ", ".join(c[0] for c in columns)
    got = cur.execute("select %s from %s order by k" % (names, table)).fetchall()
    bad = 0
    for want, have in zip(sent, got):
        have = tuple(have)
        if have != want:
            bad += 1
            if bad <= 5:
                print("%s: row %d differs: sent %r, read %r" % (table, want[0], want, have))
    cur.execute("drop table " + table)
    cn.commit()
    return bad


def plain_execute(cn, table):
    """One row at a time through cursor.execute, values of every kind pyodbc binds on its own.
    (pyodbc sends a datetime's fraction only to the digits SQLGetTypeInfo gives TIMESTAMP, and the
    type information names Ingres's date of size 20: whole seconds here.)"""
    cur = cn.cursor()
    try:
        cur.execute("drop table " + table)
        cn.commit()
    except pyodbc.Error:
        cn.rollback()
    cur.execute(
        "create table %s (k integer not null, t nvarchar(20), b byte varying(8), d decimal(31,10),"
        " ts timestamp(6), f float8, n varchar(10))" % table
    )
    rows = [
        (1, "h\u00e9 \U0001F600", b"\x00\x01\xff", decimal.Decimal("123456789012345678901.2345678901"),
         datetime.datetime(2024, 2, 29, 13, 14, 15), -2.25, None),
        (2, "", b"", decimal.Decimal("-0.5"), datetime.datetime(1999, 12, 31, 23, 59, 59), 0.0, "x"),
    ]
    for r in rows:
        cur.execute("insert into %s values (?, ?, ?, ?, ?, ?, ?)" % table, r)
    cn.commit()
    got = [tuple(x) for x in cur.execute("select k, t, b, d, ts, f, n from %s order by k" % table).fetchall()]
    bad = 0
    for want, have in zip(rows, got):
        if have != want:
            bad += 1
            print("%s: row %d differs: sent %r, read %r" % (table, want[0], want, have))
    if len(got) != len(rows):
        bad += 1
        print("%s: %d rows read" % (table, len(got)))
    cur.execute("drop table " + table)
    cn.commit()
    return bad


def main():
    dsn, table = sys.argv[1], sys.argv[2]
    cn = pyodbc.connect("DSN=%s;UID=tvuser;PWD=secret" % dsn, autocommit=False)
    columns = [
        ("k", "integer not null"),
        ("name", "varchar(40)"),
        ("half", "float8"),
        ("amount", "decimal(12,2)"),
        ("day", "ansidate"),
        ("note", "varchar(40)"),
        ("big", "bigint"),
    ]
    sent = [row(i) for i in range(ROWS)]
    # The types as pyodbc finds them from the parameter descriptions, all but the decimal.
    plain = [c for c in columns if c[0] != "amount"]
    plain_rows = [tuple(v for v, c in zip(r, columns) if c[0] != "amount") for r in sent]
    bad = run(cn, table + "p", plain, plain_rows, None)
    # Every column with its declared type: parameter markers are described only as text until
    # the statement analyser describes them from their columns, and pyodbc will not send a
    # decimal with digits after the point as such text.
    sizes = [
        (pyodbc.SQL_INTEGER, 0, 0),
        (pyodbc.SQL_VARCHAR, 40, 0),
        (pyodbc.SQL_DOUBLE, 0, 0),
        (pyodbc.SQL_DECIMAL, 12, 2),
        (pyodbc.SQL_TYPE_DATE, 0, 0),
        (pyodbc.SQL_VARCHAR, 40, 0),
        (pyodbc.SQL_BIGINT, 0, 0),
    ]
    bad2 = run(cn, table, columns, sent, sizes)
    bad3 = plain_execute(cn, table + "x")
    cn.close()
    if bad or bad2 or bad3:
        print("rows differ: %d without declared types, %d with, %d one by one" % (bad, bad2, bad3))
        return 1
    print("%d rows inserted and read back" % ROWS)
    return 0


if __name__ == "__main__":
    sys.exit(main())
