#!/usr/bin/python3
"""pyodbc against a data source that offers positioned changes: the information answers it asks
for read as the driver gives them, and its ordinary paths (execute, parameters, fetch, a
read-modify-write by key, the catalog) work with them. Arguments: data source name, table name.
Prints "row changes ok" when everything held."""
import sys

import pyodbc

def main():
    dsn, table = sys.argv[1], sys.argv[2]
    cn = pyodbc.connect("DSN=%s;UID=tvuser;PWD=secret" % dsn, autocommit=False)
    # The answers pyodbc knows of: keyset-driven and static cursors change rows (SQLSetPos update,
    # delete, the bulk operations) under lock and values concurrency; block GetData works.
    keyset1 = cn.getinfo(pyodbc.SQL_KEYSET_CURSOR_ATTRIBUTES1)
    assert keyset1 & 0x400 and keyset1 & 0x800 and keyset1 & 0xF0000, hex(keyset1)
    keyset2 = cn.getinfo(pyodbc.SQL_KEYSET_CURSOR_ATTRIBUTES2)
    assert keyset2 & 0x2 and keyset2 & 0x8, hex(keyset2)
    static1 = cn.getinfo(pyodbc.SQL_STATIC_CURSOR_ATTRIBUTES1)
    assert static1 == keyset1, hex(static1)
    assert cn.getinfo(pyodbc.SQL_STATIC_CURSOR_ATTRIBUTES2) & 0xA == 0xA
    assert cn.getinfo(pyodbc.SQL_SCROLL_OPTIONS) == 0x1F  # dynamic cursors too
    # Dynamic cursors change rows by SQLSetPos under both concurrencies, but have no bookmarks and
    # so no bulk operations.
    dynamic1 = cn.getinfo(pyodbc.SQL_DYNAMIC_CURSOR_ATTRIBUTES1)
    assert dynamic1 & 0x400 and dynamic1 & 0x800 and not dynamic1 & 0xF0000, hex(dynamic1)
    assert cn.getinfo(pyodbc.SQL_DYNAMIC_CURSOR_ATTRIBUTES2) & 0xA == 0xA
    assert cn.getinfo(pyodbc.SQL_GETDATA_EXTENSIONS) == 7
    cur = cn.cursor()
    try:
        cur.execute("drop table " + table)
        cn.commit()
    except pyodbc.Error:
        cn.rollback()
    cur.execute("create table %s (id integer not null primary key, n integer, name varchar(20))" % table)
    cur.executemany("insert into %s values (?, ?, ?)" % table, [(i, i * 10, "r%d" % i) for i in range(1, 21)])
    cn.commit()
    # Read, change in the application, write back by key.
    rows = cur.execute("select id, n, name from %s order by id" % table).fetchall()
    assert len(rows) == 20, len(rows)
    for r in rows:
        cur.execute("update %s set n = ?, name = ? where id = ?" % table, r.n + 1, r.name + "+", r.id)
        assert cur.rowcount == 1, cur.rowcount
    cn.commit()
    back = cur.execute("select id, n, name from %s order by id" % table).fetchall()
    assert [tuple(r) for r in back] == [(i, i * 10 + 1, "r%d+" % i) for i in range(1, 21)], back
    # The catalog still answers through the cursor layer.
    cols = [c.column_name.lower() for c in cur.columns(table=table)]
    assert cols == ["id", "n", "name"], cols
    keys = [k.column_name.lower() for k in cur.primaryKeys(table=table)]
    assert keys == ["id"], keys
    cur.execute("drop table " + table)
    cn.commit()
    cn.close()
    print("row changes ok")


if __name__ == "__main__":
    main()
