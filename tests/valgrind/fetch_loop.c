/* A fetch loop as PHP runs it: bound columns whose data and length/indicator buffers are
 * uninitialised heap memory, over every fetch road (one row, forward rowsets, a static cursor,
 * SQLExtendedFetch), both drivers. Run under valgrind: a fetch must only write those buffers.
 * Checks every value read and exits 0 when all were right. Argument: data source name. */
#include <sql.h>
#include <sqlext.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

/* Past two blocks of rows (a block holds 65535 / 52 rows of the table), so that a block is filled
 * again where the last one lay. */
enum { kRows = 2600, kMaxRowset = 10 };

static int fail(SQLSMALLINT type, SQLHANDLE h, const char* what) {
    SQLCHAR state[6] = "", msg[512] = "";
    SQLINTEGER native = 0;
    SQLSMALLINT len = 0;
    SQLGetDiagRec(type, h, 1, state, &native, msg, sizeof msg, &len);
    fprintf(stderr, "%s failed: %s %s\n", what, (char*)state, (char*)msg);
    return 1;
}

static int run(SQLHSTMT s, const char* sql) {
    SQLRETURN rc = SQLExecDirect(s, (SQLCHAR*)sql, SQL_NTS);
    SQLFreeStmt(s, SQL_CLOSE);
    return SQL_SUCCEEDED(rc) || rc == SQL_NO_DATA ? 0 : fail(SQL_HANDLE_STMT, s, sql);
}

/* Reads the table by one road; 0 when every row came back right. */
static int road(SQLHDBC dbc, int rowset, int scrollable, int extended) {
    SQLHSTMT s;
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &s))) return fail(SQL_HANDLE_DBC, dbc, "alloc");
    SQLSetStmtAttr(s, SQL_ATTR_CURSOR_TYPE,
                   (SQLPOINTER)(SQLULEN)(scrollable ? SQL_CURSOR_STATIC : SQL_CURSOR_FORWARD_ONLY), 0);
    SQLSetStmtAttr(s, extended ? SQL_ROWSET_SIZE : SQL_ATTR_ROW_ARRAY_SIZE, (SQLPOINTER)(SQLULEN)rowset, 0);
    SQLINTEGER* ids = malloc(sizeof(SQLINTEGER) * kMaxRowset);
    SQLLEN* idLen = malloc(sizeof(SQLLEN) * kMaxRowset);
    char* names = malloc(16 * kMaxRowset);
    SQLLEN* nameLen = malloc(sizeof(SQLLEN) * kMaxRowset);
    SQL_TIMESTAMP_STRUCT* stamps = malloc(sizeof(SQL_TIMESTAMP_STRUCT) * kMaxRowset);
    SQLLEN* stampInd = malloc(sizeof(SQLLEN) * kMaxRowset);
    double* amounts = malloc(sizeof(double) * kMaxRowset);
    SQLLEN* amountInd = malloc(sizeof(SQLLEN) * kMaxRowset);
    int bad = 0, seen = 0;
    if (!SQL_SUCCEEDED(SQLExecDirect(s, (SQLCHAR*)"select id, name, at, amount from vg_fetch order by id", SQL_NTS))) {
        bad = fail(SQL_HANDLE_STMT, s, "select");
        goto done;
    }
    SQLBindCol(s, 1, SQL_C_SLONG, ids, sizeof(SQLINTEGER), idLen);
    SQLBindCol(s, 2, SQL_C_CHAR, names, 16, nameLen);
    SQLBindCol(s, 3, SQL_C_TYPE_TIMESTAMP, stamps, sizeof(SQL_TIMESTAMP_STRUCT), stampInd);
    SQLBindCol(s, 4, SQL_C_DOUBLE, amounts, sizeof(double), amountInd);
    SQLULEN got = 0;
    SQLUSMALLINT status[kMaxRowset];
    if (!extended) SQLSetStmtAttr(s, SQL_ATTR_ROWS_FETCHED_PTR, &got, 0);
    for (;;) {
        SQLRETURN rc = extended                     ? SQLExtendedFetch(s, SQL_FETCH_NEXT, 0, &got, status)
                       : rowset == 1 && !scrollable ? SQLFetch(s)
                                                    : SQLFetchScroll(s, SQL_FETCH_NEXT, 0);
        if (rc == SQL_NO_DATA) break;
        if (!SQL_SUCCEEDED(rc)) {
            bad = fail(SQL_HANDLE_STMT, s, "fetch");
            break;
        }
        for (SQLULEN r = 0; r < got; ++r) {
            const int id = seen + 1;
            char want[16];
            snprintf(want, sizeof want, "n%d", id);
            /* Each value is looked at, so that valgrind sees any byte the fetch left unwritten. */
            if (ids[r] != id || idLen[r] != (SQLLEN)sizeof(SQLINTEGER) || strcmp(names + 16 * r, want) != 0 ||
                nameLen[r] != (SQLLEN)strlen(want) || stampInd[r] != (SQLLEN)sizeof(SQL_TIMESTAMP_STRUCT) ||
                stamps[r].year != 2024 || stamps[r].day != 1 + id % 28 || stamps[r].fraction != 123456000u ||
                (id % 5 == 0 ? amountInd[r] != SQL_NULL_DATA
                             : (amountInd[r] != sizeof(double) || amounts[r] != id * 1.5))) {
                fprintf(stderr, "row %d read wrong (rowset %d, scrollable %d, extended %d)\n", id, rowset, scrollable,
                        extended);
                bad = 1;
            }
            ++seen;
        }
    }
    if (seen != kRows) {
        fprintf(stderr, "%d rows read, not %d (rowset %d, scrollable %d, extended %d)\n", seen, kRows, rowset,
                scrollable, extended);
        bad = 1;
    }
done:
    SQLFreeHandle(SQL_HANDLE_STMT, s);
    free(ids);
    free(idLen);
    free(names);
    free(nameLen);
    free(stamps);
    free(stampInd);
    free(amounts);
    free(amountInd);
    return bad;
}

int main(int argc, char** argv) {
    if (argc < 2) {
        fprintf(stderr, "usage: %s DSN\n", argv[0]);
        return 2;
    }
    SQLHENV env;
    SQLHDBC dbc;
    SQLHSTMT s;
    SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
    SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, (SQLPOINTER)SQL_OV_ODBC3, 0);
    SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
    if (!SQL_SUCCEEDED(SQLConnect(dbc, (SQLCHAR*)argv[1], SQL_NTS, NULL, 0, NULL, 0)))
        return fail(SQL_HANDLE_DBC, dbc, "connect");
    SQLAllocHandle(SQL_HANDLE_STMT, dbc, &s);
    SQLExecDirect(s, (SQLCHAR*)"drop table vg_fetch", SQL_NTS);
    SQLFreeStmt(s, SQL_CLOSE);
    int bad = run(s,
                  "create table vg_fetch (id integer not null, name varchar(12), at timestamp(6), "
                  "amount float8)");
    for (int id = 1; id <= kRows && !bad; ++id) {
        char sql[200];
        if (id % 5 == 0)
            snprintf(sql, sizeof sql, "insert into vg_fetch values (%d, 'n%d', '2024-01-%02d 10:20:30.123456', null)",
                     id, id, 1 + id % 28);
        else
            snprintf(sql, sizeof sql, "insert into vg_fetch values (%d, 'n%d', '2024-01-%02d 10:20:30.123456', %g)", id,
                     id, 1 + id % 28, id * 1.5);
        bad = run(s, sql);
    }
    SQLFreeHandle(SQL_HANDLE_STMT, s);
    const int roads[][3] = {{1, 0, 0}, {7, 0, 0}, {10, 1, 0}, {4, 0, 1}};
    for (size_t i = 0; i < sizeof roads / sizeof roads[0] && !bad; ++i)
        bad = road(dbc, roads[i][0], roads[i][1], roads[i][2]);
    SQLAllocHandle(SQL_HANDLE_STMT, dbc, &s);
    run(s, "drop table vg_fetch");
    SQLFreeHandle(SQL_HANDLE_STMT, s);
    SQLDisconnect(dbc);
    SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    SQLFreeHandle(SQL_HANDLE_ENV, env);
    if (!bad) printf("fetch loop ok\n");
    return bad;
}
