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


def main():
    dsn, table = sys.argv[1], sys.argv[2]
    cn = pyodbc.connect("DSN=%s;UID=tvuser;PWD=secret" % dsn, autocommit=False)
    cur = cn.cursor()
    try:
        cur.execute("drop table " + table)
        cn.commit()
    except pyodbc.Error:
        cn.rollback()
    cur.execute(
        "create table %s (k integer not null, name varchar(40), half float8, amount decimal(12,2),"
        " day ansidate, note varchar(40), big bigint)" % table
    )
    cn.commit()
    sent = [row(i) for i in range(ROWS)]
    cur.fast_executemany = True
    # The types as the table has them: parameter markers are described only as text until the
    # statement analyser describes them from their columns.
    cur.setinputsizes(
        [
            (pyodbc.SQL_INTEGER, 0, 0),
            (pyodbc.SQL_VARCHAR, 40, 0),
            (pyodbc.SQL_DOUBLE, 0, 0),
            (pyodbc.SQL_DECIMAL, 12, 2),
            (pyodbc.SQL_TYPE_DATE, 0, 0),
            (pyodbc.SQL_VARCHAR, 40, 0),
            (pyodbc.SQL_BIGINT, 0, 0),
        ]
    )
    cur.executemany("insert into %s values (?, ?, ?, ?, ?, ?, ?)" % table, sent)
    cn.commit()
    count = cur.execute("select count(*) from " + table).fetchone()[0]
    if count != ROWS:
        print("expected %d rows, found %d" % (ROWS, count))
        return 1
    got = cur.execute(
        "select k, name, half, amount, day, note, big from %s order by k" % table
    ).fetchall()
    bad = 0
    for want, have in zip(sent, got):
        have = tuple(have)
        if have != want:
            bad += 1
            if bad <= 5:
                print("row %d differs: sent %r, read %r" % (want[0], want, have))
    cur.execute("drop table " + table)
    cn.commit()
    cn.close()
    if bad:
        print("%d of %d rows differ" % (bad, ROWS))
        return 1
    print("%d rows inserted and read back" % ROWS)
    return 0


if __name__ == "__main__":
    sys.exit(main())
