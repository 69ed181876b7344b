"""An application whose own output is nothing: whatever reaches its stdout or stderr came from the
driver. It runs what used to make the driver talk: a cursor left open while other statements run
on its connection, threads with their own autocommit connections, an unknown escape function,
a failing statement, a read-only cursor asked for with updates, and an exit without disconnect.

    quiet_app.py CONNECTION-STRING
"""
import sys
import threading

import pyodbc


def main(conn_str):
    cn = pyodbc.connect(conn_str, autocommit=True)
    cur = cn.cursor()
    try:
        cur.execute("DROP TABLE quiet_t")
    except pyodbc.Error:
        pass
    cur.execute("CREATE TABLE quiet_t (n integer, v varchar(10))")
    cur.fast_executemany = True
    cur.executemany("INSERT INTO quiet_t VALUES (?, ?)", [(i, "v%d" % i) for i in range(300)])

    # A cursor stays open while a second one writes on the same connection.
    reader = cn.cursor()
    reader.execute("SELECT n FROM quiet_t ORDER BY n")
    first = reader.fetchmany(10)
    writer = cn.cursor()
    writer.execute("INSERT INTO quiet_t VALUES (1000, 'late')")
    writer.execute("UPDATE quiet_t SET v = 'x' WHERE n = 1")
    rest = reader.fetchall()
    assert [r[0] for r in first + rest] == list(range(300)), len(first + rest)

    # Threads with their own autocommit connections.
    errors = []

    def work(k):
        try:
            c = pyodbc.connect(conn_str, autocommit=True)
            w = c.cursor()
            for i in range(50):
                w.execute("INSERT INTO quiet_t VALUES (?, 'th')", 2000 + k * 100 + i)
                w.execute("SELECT count(*) FROM quiet_t").fetchall()
            c.close()
        except pyodbc.Error as e:
            errors.append(e)

    threads = [threading.Thread(target=work, args=(k,)) for k in range(4)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert not errors, errors
    assert cur.execute("SELECT count(*) FROM quiet_t").fetchone()[0] == 501

    # Statements the driver refuses or reworks.
    for bad in ("SELECT {fn no_such_function(1)} FROM quiet_t", "SELECT * FROM no_such_table"):
        try:
            cur.execute(bad).fetchall()
        except pyodbc.Error:
            pass
    # A manual-commit connection left with work pending and never closed.
    global pending
    pending = pyodbc.connect(conn_str, autocommit=False)
    pending.cursor().execute("INSERT INTO quiet_t VALUES (-1, 'pending')")
    pending_reader = pending.cursor()
    pending_reader.execute("SELECT n FROM quiet_t")
    pending_reader.fetchone()
    globals()["pending_reader"] = pending_reader


if __name__ == "__main__":
    main(sys.argv[1])
