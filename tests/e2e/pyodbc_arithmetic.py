#!/usr/bin/python3
"""pyodbc reads a parameter in arithmetic with a number as a number: `select ? + 1` with 5 is the
integer 6, with a Decimal a Decimal, and a None parameter (bound by the type SQLDescribeParam
gives) still makes a numeric column. Arguments: data source name, a table with an integer column
a holding 7. Prints "arithmetic ok" when every value came back with its number type."""
import decimal
import sys

import pyodbc


def main():
    dsn, table = sys.argv[1], sys.argv[2]
    cn = pyodbc.connect("DSN=%s;UID=tvuser;PWD=secret" % dsn, autocommit=True)
    cur = cn.cursor()
    cases = [
        ("select ? + 1", 5, 6),
        ("select ? * 2", 5, 10),
        ("select ? - 1", 5, 4),
        ("select a + ? from %s" % table, 1, 8),
        ("select ? + 1", decimal.Decimal("1.25"), decimal.Decimal("2.25")),
        ("select ? * 2", 2.5, 5.0),
    ]
    for sql, arg, want in cases:
        got = cur.execute(sql, arg).fetchone()[0]
        assert type(got) is type(want) and got == want, (sql, arg, got)
    # A NULL is bound with the type the driver describes the marker by.
    cur.execute("select ? + 1", None)
    assert cur.description[0][1] is int, (cur.description, "NULL")
    assert cur.fetchone()[0] is None
    # A marker anywhere else stays a text.
    got = cur.execute("select ? from %s" % table, 5).fetchone()[0]
    assert got == "5", got
    print("arithmetic ok")


if __name__ == "__main__":
    main()
