// The sample database of the demo and the tests, loaded through the client interface itself.
#include "iiapi/iiapi.h"
#include "iiapi/session.h"

#include <cstring>
#include <string>

namespace {

const char* const kSample[] = {
    "CREATE TABLE dept (deptno integer NOT NULL PRIMARY KEY, dname varchar(20) NOT NULL,"
    " loc char(10) WITH NULL)",
    "CREATE TABLE emp (empno integer NOT NULL PRIMARY KEY, ename varchar(30) NOT NULL, job c(9) WITH NULL,"
    " mgr integer WITH NULL, hiredate ansidate, sal decimal(9,2), comm money,"
    " deptno integer REFERENCES dept(deptno), active boolean NOT NULL WITH DEFAULT)",
    "CREATE INDEX emp_by_dept ON emp (deptno) WITH STRUCTURE = BTREE",
    "CREATE UNIQUE INDEX emp_by_name ON emp (ename, empno)",
    "CREATE VIEW emp_names AS SELECT e.empno, e.ename, d.dname FROM emp e, dept d WHERE e.deptno = d.deptno",
    "CREATE TABLE all_types (id integer NOT NULL PRIMARY KEY, i1 integer1, i2 smallint, i4 integer, i8 bigint,"
    " f4 float4, f8 float8, dec decimal(31,10), mon money, ch char(10), cc c(10), vc varchar(40), tx text(40),"
    " nc nchar(10), nv nvarchar(40), bt byte(4), vb byte varying(20), lv long varchar, lb long byte,"
    " ln long nvarchar, da ingresdate, ad ansidate, ti time, ts timestamp, iy interval year to month,"
    " id2 interval day to second, bo boolean)",
    "INSERT INTO dept VALUES (10, 'Accounting', 'New York')",
    "INSERT INTO dept VALUES (20, 'Research', 'Dallas')",
    "INSERT INTO dept VALUES (30, 'Sales', NULL)",
    "INSERT INTO emp VALUES (7369, 'Smith', 'clerk', 7902, '1980-12-17', 800.00, 0, 20, TRUE)",
    "INSERT INTO emp VALUES (7499, 'Allen', 'salesman', 7698, '1981-02-20', 1600.00, 300, 30, TRUE)",
    "INSERT INTO emp VALUES (7566, 'Jones', 'manager', 7839, '1981-04-02', 2975.00, NULL, 20, TRUE)",
    "INSERT INTO emp VALUES (7698, 'Blake', 'manager', 7839, '1981-05-01', 2850.00, NULL, 30, TRUE)",
    "INSERT INTO emp VALUES (7839, 'King', 'president', NULL, '1981-11-17', 5000.00, NULL, 10, TRUE)",
    "INSERT INTO emp VALUES (7902, 'Ford', 'analyst', 7566, '1981-12-03', 3000.00, NULL, 20, FALSE)",
    "INSERT INTO all_types VALUES (1, -128, -32768, -2147483648, -9223372036854775807, 1.5, 2.25,"
    " '123456789012345678901.0123456789', 12.34, 'char', 'c', 'varchar', 'text', 'nchar', 'nvarchar \xc3\xa9',"
    " X'00010203', X'ff', 'long text', X'0a0b', 'long n', '2024-02-29 13:45:10', '2024-02-29', '13:45:10',"
    " '2024-02-29 13:45:10.123456', '1-06', '3 04:05:06', TRUE)",
    "INSERT INTO all_types (id) VALUES (2)",
    "CREATE PROCEDURE raise_salary (p_empno integer NOT NULL, p_pct float NOT NULL WITH DEFAULT,"
    " INOUT p_newsal decimal(9,2) WITH NULL) AS DECLARE n integer; BEGIN"
    " UPDATE emp SET sal = sal * (1 + :p_pct / 100) WHERE empno = :p_empno; n = iirowcount;"
    " SELECT sal INTO :p_newsal FROM emp WHERE empno = :p_empno; RETURN n; END",
    "CREATE PROCEDURE dept_count (p_deptno integer, OUT p_names varchar(200)) AS DECLARE n integer; e varchar(30);"
    " BEGIN n = 0; p_names = '';"
    " FOR SELECT ename INTO :e FROM emp WHERE deptno = :p_deptno ORDER BY ename DO"
    " n = n + 1; IF n > 1 THEN p_names = p_names + ','; ENDIF; p_names = p_names + e; ENDFOR;"
    " RETURN n; END",
    "CREATE PROCEDURE emps_of (p_deptno integer) RESULT ROW (integer, varchar(30)) AS"
    " DECLARE e integer; n varchar(30); BEGIN"
    " FOR SELECT empno, ename INTO :e, :n FROM emp WHERE deptno = :p_deptno ORDER BY empno DO"
    " RETURN ROW (:e, :n); ENDFOR; END",
    "GRANT SELECT ON emp TO public",
    "GRANT SELECT, UPDATE ON dept TO clerk",
    "GRANT EXECUTE ON PROCEDURE raise_salary TO public",
    nullptr,
};

void put(char* errbuf, size_t errlen, const std::string& m) {
    if (!errbuf || !errlen) return;
    size_t n = std::min(m.size(), errlen - 1);
    std::memcpy(errbuf, m.data(), n);
    errbuf[n] = 0;
}

}  // namespace

extern "C" int iiengine_loadSample(const char* target, const char* user, const char* password, char* errbuf,
                                   size_t errlen) {
    if (!target) {
        put(errbuf, errlen, "no database name");
        return -1;
    }
    IIEngineSession session;
    session.env = IIEngineInitialize();
    if (!session.env) {
        put(errbuf, errlen, "cannot initialise the client interface");
        return -1;
    }
    int result = 0;
    auto message = [](II_PTR h) {
        IIAPI_GETEINFOPARM g{};
        g.ge_errorHandle = h;
        IIapi_getErrorInfo(&g);
        return g.ge_status == IIAPI_ST_SUCCESS && g.ge_message ? std::string(g.ge_message) : std::string("failed");
    };
    if (IIEngineConnect(&session, session.env, target, user, password) != IIAPI_ST_SUCCESS) {
        put(errbuf, errlen, "cannot connect to " + std::string(target) + ": " + message(session.errorHandle));
        result = -1;
    } else {
        for (const char* const* sql = kSample; *sql && result == 0; ++sql) {
            IIAPI_QUERYPARM q{};
            q.qy_connHandle = session.conn;
            q.qy_queryType = IIAPI_QT_QUERY;
            q.qy_queryText = const_cast<char*>(*sql);
            q.qy_tranHandle = session.tran;
            IIapi_query(&q);
            session.tran = q.qy_tranHandle;
            if (q.qy_genParm.gp_status != IIAPI_ST_SUCCESS) {
                put(errbuf, errlen, std::string(message(q.qy_genParm.gp_errorHandle)) + " in: " + *sql);
                result = -1;
            }
            IIAPI_CLOSEPARM cl{};
            cl.cl_stmtHandle = q.qy_stmtHandle;
            IIapi_close(&cl);
        }
        if (result == 0 && IIEngineEndTransaction(&session, true) != IIAPI_ST_SUCCESS) {
            put(errbuf, errlen, "commit failed: " + message(session.errorHandle));
            result = -1;
        }
    }
    IIEngineClose(&session, true);
    return result;
}
