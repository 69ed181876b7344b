// Prepare, execute, fetch and more results of the agent's statements.
#include "drv_ingii/i-exec.h"

#include <sql.h>
#include <sqlext.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "drv_ingii/i-coltype.h"
#include "drv_ingii/i-diag.h"
#include "drv_ingii/i-errtab.h"
#include "drv_ingii/i-glob.h"
#include "drv_ingii/i-info.h"
#include "drv_ingii/i-sql.h"
#include "drv_ingii/i-types.h"
#include "drv_ingii/i-send.h"
#include "drv_ingii/i-value.h"
#include "drv_ingii/ingutil.h"
#include "util/dataset.h"
#include "drv_ingii/i-xa.h"
#include "util/errtable.h"
#include "util/strutil.h"

namespace {

size_t ICaseFind(const std::string& hay, const char* needle, size_t from = 0) {
    const size_t n = std::strlen(needle);
    for (size_t i = from; i + n <= hay.size(); ++i)
        if (AsciiCaseCompareN(hay.c_str() + i, needle, n) == 0) return i;
    return std::string::npos;
}

bool IsBlank(char ch) { return ch == ' ' || ch == '\t' || ch == '\n' || ch == '\r'; }
}  // namespace

// ---------------------------------------------------------------------------------------------
// ORDER BY repair.

char* IngOrderByRepair(const char* textIn, const char* message) {
    if (textIn == nullptr || message == nullptr) return nullptr;
    const std::string text = textIn;
    const size_t from = ICaseFind(text, " FROM ");
    const size_t orderBy = ICaseFind(text, "ORDER BY");
    if (from == std::string::npos || orderBy == std::string::npos) return nullptr;
    // Where each SELECT begins.
    std::vector<size_t> selects;
    for (size_t at = ICaseFind(text, "select"); at != std::string::npos; at = ICaseFind(text, "select", at + 6))
        selects.push_back(at);
    if (selects.empty()) return nullptr;
    const char* q1 = std::strchr(message, '\'');
    const char* q2 = q1 ? std::strchr(q1 + 1, '\'') : nullptr;
    if (q2 == nullptr || q2 == q1 + 1) return nullptr;
    const std::string column(q1 + 1, q2);
    // The ORDER BY items that name the column with a qualifier.
    std::string qualifier;
    int qualifiers = 0;
    {
        std::string list = text.substr(orderBy + 8);
        std::vector<std::string> items;
        std::string cur;
        for (char ch : list) {
            if (ch == ' ' || ch == ',' || ch == '\t' || ch == '\n') {
                if (!cur.empty()) items.push_back(cur);
                cur.clear();
                if (items.size() >= 20) break;
            } else {
                cur += ch;
            }
        }
        if (!cur.empty() && items.size() < 20) items.push_back(cur);
        for (const std::string& it : items) {
            if (ICaseFind(it, column.c_str()) == std::string::npos) continue;
            size_t dot = it.rfind('.');
            if (dot == std::string::npos) continue;
            std::string q = it.substr(0, dot > 50 ? 50 : dot);
            if (qualifiers == 0 || AsciiCaseCompare(q.c_str(), qualifier.c_str()) != 0) ++qualifiers;
            qualifier = q;
        }
    }
    if (qualifiers > 1) return nullptr;
    // Table references of each SELECT's FROM clause: "name [AS] [alias]" items.
    struct Ref {
        std::string table, alias;
    };
    auto fromRefs = [&](size_t selectAt, size_t selectEnd) {
        std::vector<Ref> refs;
        size_t f = ICaseFind(text, " FROM ", selectAt);
        if (f == std::string::npos || f >= selectEnd) return refs;
        size_t p = f + 6;
        static const char* kStops[] = {"WHERE", "GROUP", "ORDER", "HAVING", "UNION", nullptr};
        for (;;) {
            while (p < selectEnd && IsBlank(text[p])) ++p;
            size_t b = p;
            while (p < selectEnd && !IsBlank(text[p]) && text[p] != ',' && text[p] != ')') ++p;
            if (p == b) break;
            Ref r;
            r.table = text.substr(b, p - b);
            bool stop = false;
            for (int k = 0; kStops[k]; ++k)
                if (AsciiCaseCompare(r.table.c_str(), kStops[k]) == 0) stop = true;
            if (stop) break;
            while (p < selectEnd && IsBlank(text[p])) ++p;
            if (p < selectEnd && text[p] != ',') {
                size_t wb = p;
                while (p < selectEnd && !IsBlank(text[p]) && text[p] != ',' && text[p] != ')') ++p;
                std::string w = text.substr(wb, p - wb);
                if (AsciiCaseCompare(w.c_str(), "AS") == 0) {
                    while (p < selectEnd && IsBlank(text[p])) ++p;
                    wb = p;
                    while (p < selectEnd && !IsBlank(text[p]) && text[p] != ',' && text[p] != ')') ++p;
                    w = text.substr(wb, p - wb);
                }
                bool kw = false;
                for (int k = 0; kStops[k]; ++k)
                    if (AsciiCaseCompare(w.c_str(), kStops[k]) == 0) kw = true;
                if (!kw)
                    r.alias = w;
                else
                    p = wb;
            }
            refs.push_back(r);
            while (p < selectEnd && IsBlank(text[p])) ++p;
            if (p < selectEnd && text[p] == ',') {
                ++p;
                continue;
            }
            break;
        }
        return refs;
    };
    auto lastPart = [](const std::string& n) {
        size_t d = n.rfind('.');
        return d == std::string::npos ? n : n.substr(d + 1);
    };
    // The prefix to use in each SELECT: resolved against that SELECT's own table references.
    std::string out;
    size_t copied = 0;
    for (size_t i = 0; i < selects.size(); ++i) {
        size_t end = i + 1 < selects.size() ? selects[i + 1] : text.size();
        std::vector<Ref> refs = fromRefs(selects[i], end);
        if (refs.empty()) return nullptr;
        std::string prefix;
        if (!qualifier.empty()) {
            // The qualifier names a correlation name or a table of this SELECT; in a later SELECT of a
            // UNION the same table may stand under another name.
            const Ref* hit = nullptr;
            size_t hitIndex = 0;
            std::vector<Ref> firstRefs =
                i == 0 ? refs : fromRefs(selects[0], selects.size() > 1 ? selects[1] : text.size());
            for (size_t k = 0; k < firstRefs.size(); ++k) {
                const Ref& r = firstRefs[k];
                if (AsciiCaseCompare(r.alias.c_str(), qualifier.c_str()) == 0 ||
                    AsciiCaseCompare(r.table.c_str(), qualifier.c_str()) == 0 ||
                    AsciiCaseCompare(lastPart(r.table).c_str(), lastPart(qualifier).c_str()) == 0) {
                    hit = &firstRefs[k];
                    hitIndex = k;
                    break;
                }
            }
            if (hit == nullptr) return nullptr;
            if (i == 0) {
                prefix = qualifier;
            } else {
                const Ref* mine = nullptr;
                for (const Ref& r : refs)
                    if (AsciiCaseCompare(r.table.c_str(), hit->table.c_str()) == 0) mine = &r;
                if (mine == nullptr && hitIndex < refs.size()) mine = &refs[hitIndex];
                if (mine == nullptr) return nullptr;
                prefix = mine->alias.empty() ? mine->table : mine->alias;
            }
        } else {
            prefix = refs[0].alias.empty() ? refs[0].table : refs[0].alias;
        }
        size_t f = ICaseFind(text, " FROM ", selects[i]);
        if (f == std::string::npos || f >= end) return nullptr;
        out.append(text, copied, f - copied);
        out += ", " + prefix + ".\"" + column + "\"";
        copied = f;
    }
    out.append(text, copied, std::string::npos);
    return strdup(out.c_str());
}

// ---------------------------------------------------------------------------------------------
// Preparation.

uint32_t IIPrepareDescribe(IngStmt* s, const char* text) {
    IngConn* c = s->conn;
    char* converted = nullptr;
    if (c->unicodeConn) {
        converted = IngQueryToClientCharset(text);
        if (converted != nullptr) text = converted;
    }
    std::string q = "prepare ";
    q.append(s->stmtName, strnlen(s->stmtName, 20));
    q += " into sqlda from ";
    q += text;
    std::free(converted);
    IIAPI_QUERYPARM qy{};
    qy.qy_connHandle = c->connHandle;
    qy.qy_queryType = IIAPI_QT_QUERY;
    qy.qy_queryText = q.data();
    qy.qy_tranHandle = c->tranHandle;
    IIapi_query(&qy);
    uint32_t rc = IIWaitCompletion(&qy.qy_genParm, &s->messages);
    IngStmtSetHandle(s, qy.qy_stmtHandle);
    if (rc == 0) {
        c->tranHandle = qy.qy_tranHandle;
        rc = IIGetDescriptor(&s->desc, qy.qy_stmtHandle, &s->messages);
        if (rc == kErrNoData) rc = 0;
    }
    if (rc == 0) rc = IIGetQueryInfo(qy.qy_stmtHandle, nullptr, nullptr, &s->messages);
    if (rc == 0) {
        ColumnInfoArrayFree(s->columns, s->columnCount);
        s->columns = nullptr;
        s->columnCount = 0;
        rc = IngDescribeResult(s, kDescQuery, &s->desc, &s->columns, &s->columnCount);
    }
    IngStmtCloseHandle(s, nullptr);
    return rc;
}

namespace {
bool IsOrderByRefusal(const IngStmt* s) {
    const IngDiagEntry* e = s->messages.first;
    return e != nullptr && e->native == 2161 && e->sqlstate != nullptr && std::strncmp(e->sqlstate, "42501", 5) == 0;
}

// Prepares the text, repairing an ORDER BY the server refuses. 0, kErrSyntax, or kErrNoMemory when memory ran out.
uint32_t PrepareWithRepair(IngStmt* s, const char* text) {
    std::free(s->preparedText);
    s->preparedText = nullptr;
    uint32_t rc = IIPrepareDescribe(s, text);
    uint32_t repairs = 0;
    char* current = nullptr;
    while (rc != 0 && IsOrderByRefusal(s)) {
        char* next = IngOrderByRepair(current ? current : text, s->messages.first->text);
        if (next == nullptr) break;
        std::free(current);
        current = next;
        IngDiagClear(&s->messages);
        ++repairs;
        rc = IIPrepareDescribe(s, current);
    }
    if (rc != 0) {
        std::free(current);
        // Out of memory is no fault of the statement's text.
        return rc == kErrNoMemory ? rc : kErrSyntax;
    }
    if (repairs) {
        s->hiddenColumns = repairs;
        // Kept for preparing again after a transaction end.
        s->preparedText = current;
    }
    return 0;
}

// Prepares again after a transaction end closed the statement's cursor.
uint32_t Reprepare(IngStmt* s) {
    const char* text = s->preparedText ? s->preparedText : s->text.ingres;
    uint32_t hidden = s->hiddenColumns;
    uint32_t rc = IIPrepareDescribe(s, text ? text : "");
    if (rc != 0) return rc == kErrNoMemory ? rc : kErrSyntax;
    s->hiddenColumns = hidden;
    s->state &= uint16_t(~kStmtReprepare);
    return 0;
}

std::string Quoted(const char* t) {
    std::string out;
    for (; *t; ++t) {
        out += *t;
        if (*t == '\'') out += '\'';
    }
    return out;
}

// A cell of a fetched row as text ("" for NULL).
std::string CellText(const Dataset& b, uint16_t col, uint32_t row) {
    if (col >= b.col_count || b.cols[col].indicators[row] == DS_IND_NULL) return std::string();
    const DatasetColumn& dc = b.cols[col];
    const uint8_t* cell = DatasetCell(&dc, row);
    switch (dc.kind) {
        case DS_TINYINT:
            return std::to_string(int8_t(cell[0]));
        case DS_SMALLINT: {
            int16_t x;
            std::memcpy(&x, cell, 2);
            return std::to_string(x);
        }
        case DS_INTEGER: {
            int32_t x;
            std::memcpy(&x, cell, 4);
            return std::to_string(x);
        }
        case DS_CHAR_NTS:
            return std::string(reinterpret_cast<const char*>(cell),
                               strnlen(reinterpret_cast<const char*>(cell), dc.width));
        case DS_CHAR_LEN2: {
            uint16_t n;
            std::memcpy(&n, cell, 2);
            return std::string(reinterpret_cast<const char*>(cell + 2), n);
        }
        default:
            return std::string();
    }
}

// The procedure's parameters straight from the engine's catalog, while the procedure-columns
// catalog operation is not there: names (the server passes procedure parameters by name),
// directions and types, in parameter order.
uint32_t ProcParamsFromCatalog(IngStmt* s, ColumnInfo* arr, uint16_t at, uint16_t n) {
    std::string q =
        "SELECT param_name, param_mode, param_datatype_code, param_length, param_scale, param_nulls "
        "FROM iiproc_params WHERE procedure_name = '" +
        Quoted(s->procName) + "'";
    if (s->procOwner[0]) q += " AND procedure_owner = '" + Quoted(s->procOwner) + "'";
    q += " ORDER BY param_sequence";
    uint32_t tmp = 0;
    uint32_t rc = IngAllocStmt(s->conn->handle, &tmp);
    if (rc != 0) return rc;
    rc = IngPrepare(tmp, q.c_str());
    if (rc == 0) rc = IngExecute(tmp);
    uint16_t outs = 0;
    bool any = false;
    while (rc == 0 && at < n) {
        Dataset b{};
        rc = IngFetchRows(tmp, uint16_t(n), &b);
        if (rc == 0) rc = DatasetNarrowColumns(&b) == DS_OK ? kErrNone : kErrNoMemory;
        if (rc != 0 || b.rows_used == 0) {
            DatasetFree(&b);
            break;
        }
        for (uint32_t r = 0; r < b.rows_used && at < n; ++r, ++at) {
            any = true;
            ColumnInfo& ci = arr[at];
            std::string name = CellText(b, 0, r);
            while (!name.empty() && name.back() == ' ') name.pop_back();
            std::free(ci.column);
            ci.column = strdup(name.c_str());
            std::string mode = CellText(b, 1, r);
            const bool input =
                AsciiCaseCompareN(mode.c_str(), "IN", 2) == 0 && AsciiCaseCompareN(mode.c_str(), "INOUT", 5) != 0;
            ColumnSetProcMark(ci, input ? kProcMarkInput : kProcMarkInOut);
            if (!input) ++outs;
            int code = std::atoi(CellText(b, 2, r).c_str());
            IIAPI_DESCRIPTOR d{};
            d.ds_dataType = int16_t(code < 0 ? -code : code);
            d.ds_length = uint16_t(std::atoi(CellText(b, 3, r).c_str()));
            d.ds_scale = int16_t(std::atoi(CellText(b, 4, r).c_str()));
            d.ds_nullable = CellText(b, 5, r) == "Y" ? 1 : 0;
            if (d.ds_dataType != 0) {
                ColumnInfo m{};
                IngMapDescriptor(d, s->conn->unicodeConn != 0, s->conn->dsn.jet != 0, &m);
                if (m.sql_type != 0) {
                    ci.sql_type = m.sql_type;
                    ci.column_size = m.column_size;
                    ci.display_size = m.display_size;
                    ci.scale = m.scale;
                }
            }
            ci.server_type = int16_t(ci.sql_type);
            ci.nullable = d.ds_nullable ? 1 : 0;
        }
        DatasetFree(&b);
    }
    if (any) s->outParamCount = outs;
    IngFreeStmt(tmp);
    return rc;
}

// The argument texts of a call escape as the caller wrote them (the translation keeps only
// the procedure name); false when the call has no argument list.
bool CallArguments(const char* src, std::vector<std::string>* args) {
    const char* p = FindWordOutsideLiterals(src, "call");
    if (p == nullptr) return false;
    p += 4;
    char quote = 0;
    for (; *p; ++p) {  // past the (possibly quoted) name
        if (quote) {
            if (*p == quote) quote = 0;
        } else if (*p == '"') {
            quote = *p;
        } else if (*p == '(' || *p == '}' || *p == ')') {
            break;
        }
    }
    if (*p != '(') return false;
    std::string cur;
    int depth = 0;
    for (++p, quote = 0; *p; ++p) {
        const char ch = *p;
        if (quote) {
            if (ch == quote) quote = 0;
        } else if (ch == '\'' || ch == '"') {
            quote = ch;
        } else if (ch == '(') {
            ++depth;
        } else if (ch == ')') {
            if (depth == 0) break;
            --depth;
        } else if (ch == ',' && depth == 0) {
            args->push_back(cur);
            cur.clear();
            continue;
        }
        cur += ch;
    }
    args->push_back(cur);
    for (std::string& a : *args) {
        size_t b = 0;
        while (b < a.size() && IsBlank(a[b])) ++b;
        size_t e = a.size();
        while (e > b && IsBlank(a[e - 1])) --e;
        a = a.substr(b, e - b);
    }
    return true;
}

// A call whose arguments are literals sends them as an EXECUTE PROCEDURE text with the
// parameters named from the catalog: the call by name alone would drop them.
uint32_t BuildLiteralCall(IngStmt* s) {
    std::vector<std::string> args;
    if (s->text.source == nullptr || !CallArguments(s->text.source, &args)) return 0;
    bool any = false;
    for (const std::string& a : args) any = any || !a.empty();
    if (!any) return 0;
    const uint16_t n = uint16_t(args.size() > 0x7FFF ? 0x7FFF : args.size());
    ColumnInfo* names = ColumnInfoArrayAlloc(n);
    if (names == nullptr) return kErrNoMemory;
    uint32_t rc = ProcParamsFromCatalog(s, names, 0, n);
    if (rc == kErrNoData) rc = 0;
    s->outParamCount = 0;  // a literal receives nothing back
    std::string text = "EXECUTE PROCEDURE ";
    if (s->procOwner[0]) text += std::string("\"") + s->procOwner + "\".";
    text += std::string("\"") + s->procName + "\"(";
    bool first = true;
    for (uint16_t i = 0; rc == 0 && i < n; ++i) {
        if (args[i].empty()) continue;  // left out: the parameter's default
        if (names[i].column == nullptr || names[i].column[0] == '\0') {
            IngDiagPostText(&s->messages, "Too many arguments in procedure call", kErrSyntax);
            rc = kErrSyntax;
            break;
        }
        if (!first) text += ", ";
        first = false;
        text += std::string(names[i].column) + " = " + args[i];
    }
    ColumnInfoArrayFree(names, n);
    if (rc != 0) return rc;
    text += ")";
    s->procCallText = strdup(text.c_str());
    return s->procCallText ? kErrNone : kErrNoMemory;
}

// A literal argument as a value of the parameter's type, as the server converts on assignment:
// numbers for numeric parameters, quoted texts unquoted; false for anything else (an expression).
bool ParseLiteral(const std::string& a, int sqlType, IngStmt::ProcLiteral* lit) {
    if (AsciiCaseCompare(a.c_str(), "NULL") == 0) return true;
    if (a.size() >= 2 && a.front() == '\'' && a.back() == '\'') {
        std::string v;
        for (size_t i = 1; i + 1 < a.size(); ++i) {
            if (a[i] == '\'' && a[i + 1] == '\'') ++i;
            v += a[i];
        }
        lit->text = strdup(v.c_str());
        return lit->text != nullptr;
    }
    // Only plain numbers: strtod alone would also take hex, "inf" and "nan".
    if (a.empty() || a.find_first_not_of("0123456789+-.eE") != std::string::npos) return false;
    char* end = nullptr;
    errno = 0;
    const double real = std::strtod(a.c_str(), &end);
    if (*end != '\0' || errno != 0) return false;
    switch (sqlType) {
        case SQL_BIT:
        case SQL_TINYINT:
        case SQL_INTEGER:
        case SQL_SMALLINT:
        case SQL_BIGINT: {
            errno = 0;
            const long long n = std::strtoll(a.c_str(), &end, 10);
            if (*end == '\0' && errno == 0) {
                lit->isInt = 1;
                lit->num = n;
            }
            break;
        }
        case SQL_FLOAT:
        case SQL_REAL:
        case SQL_DOUBLE:
            lit->isFloat = 1;
            lit->real = real;
            break;
        default:
            break;  // decimals and texts: the digits as written
    }
    lit->text = strdup(a.c_str());
    return lit->text != nullptr;
}

// A call mixing markers and literals: each marker takes the catalog description of the
// parameter at its argument position (the engine matches by name), and the literals are kept
// to be sent by name with the bound values.
uint32_t MapMixedCall(IngStmt* s) {
    std::vector<std::string> args;
    if (s->text.source == nullptr || !CallArguments(s->text.source, &args)) return 0;
    bool mixed = false;
    for (const std::string& a : args) mixed = mixed || (!a.empty() && a != "?");
    if (!mixed) return 0;
    const uint16_t n = uint16_t(args.size() > 0x7FFF ? 0x7FFF : args.size());
    ColumnInfo* names = ColumnInfoArrayAlloc(n);
    if (names == nullptr) return kErrNoMemory;
    uint32_t rc = ProcParamsFromCatalog(s, names, 0, n);
    if (rc == kErrNoData) rc = 0;
    s->procLits = static_cast<IngStmt::ProcLiteral*>(std::calloc(n, sizeof(IngStmt::ProcLiteral)));
    if (rc == 0 && s->procLits == nullptr) rc = kErrNoMemory;
    uint16_t m = IngFirstParamColumn(s);
    uint16_t outs = 0;
    for (uint16_t j = 0; rc == 0 && j < n; ++j) {
        if (args[j].empty()) continue;  // left out: the parameter's default
        if (names[j].column == nullptr || names[j].column[0] == '\0') {
            IngDiagPostText(&s->messages, "Too many arguments in procedure call", kErrSyntax);
            rc = kErrSyntax;
            break;
        }
        if (args[j] == "?") {
            if (m < s->paramCount) {
                std::swap(s->paramInfo[m], names[j]);
                if (ColumnProcMark(s->paramInfo[m]) != kProcMarkInput) ++outs;
            }
            ++m;
            continue;
        }
        IngStmt::ProcLiteral& lit = s->procLits[s->procLitCount];
        lit.name = strdup(names[j].column);
        ++s->procLitCount;
        if (lit.name == nullptr) {
            rc = kErrNoMemory;
        } else if (!ParseLiteral(args[j], names[j].sql_type, &lit)) {
            IngDiagPostText(&s->messages, "Procedure call argument is neither a marker nor a literal", kErrSyntax);
            rc = kErrSyntax;
        }
    }
    s->outParamCount = outs;
    ColumnInfoArrayFree(names, n);
    return rc;
}

// Default parameter descriptions, and for a procedure call those its catalog gives.
uint32_t BuildParamDescs(IngStmt* s) {
    const uint16_t n = s->text.markers;
    ColumnInfoArrayFree(s->paramInfo, s->paramCount);
    s->paramInfo = nullptr;
    s->paramCount = 0;
    s->outParamCount = 0;
    if (n == 0) return 0;
    ColumnInfo* arr = ColumnInfoArrayAlloc(n);
    if (arr == nullptr) return kErrNoMemory;
    const bool proc = (s->state & kStmtProcCall) != 0;
    for (uint16_t i = 0; i < n; ++i) {
        ColumnInfo& ci = arr[i];
        if (proc) ColumnSetProcMark(ci, kProcMarkInOut);
        ci.server_type = -9999;
        ci.sql_type = 12;
        ci.column_size = 255;
        ci.display_size = 255;
        ci.value_kind = DS_CHAR_NTS;
        ci.length = 0;
        ci.scale = 0;
        ci.nullable = 2;
    }
    s->paramInfo = arr;
    s->paramCount = n;
    if (!proc) return 0;
    const bool ret = (s->state & kStmtReturnValue) != 0;
    uint16_t at = 0;
    if (ret) {
        ColumnInfo& r = arr[0];
        ColumnSetProcMark(r, kProcMarkOutput);
        r.column = strdup("iiret");
        r.sql_type = 4;
        r.server_type = 4;
        r.column_size = 11;
        r.display_size = 11;
        r.nullable = 0;
        r.value_kind = DS_INTEGER;
        at = 1;
    }
    // Until the catalog tells otherwise every parameter may carry a value back.
    s->outParamCount = uint16_t(n - at);
    auto procColumns = AgentSlotGet<DRV_DDProcedureColumns>(IngAgentOpTable());
    if (procColumns == nullptr) return ProcParamsFromCatalog(s, arr, at, n);
    uint32_t tmp = 0;
    uint32_t rc = IngAllocStmt(s->conn->handle, &tmp);
    if (rc != 0) return rc;
    const IngProcedureColumnsArgs args{"", s->procOwner, s->procName, ""};
    rc = procColumns(tmp, &args);
    uint16_t outs = 0;
    bool any = false;
    while (rc == 0 && at < n) {
        Dataset block{};
        rc = IngFetchRows(tmp, uint16_t(n), &block);
        // A Unicode connection fetches texts as UTF-16: the names are wanted as UTF-8.
        if (rc == 0) rc = DatasetNarrowColumns(&block) == DS_OK ? kErrNone : kErrNoMemory;
        if (rc != 0 || block.rows_used == 0 || block.col_count < 12) {
            DatasetFree(&block);
            break;
        }
        for (uint32_t r = 0; r < block.rows_used && at < n; ++r, ++at) {
            any = true;
            ColumnInfo& ci = arr[at];
            char name[256] = {};
            uint32_t len = sizeof name - 1;
            if (DatasetGetValue(&block, r, 3, name, &len) == 0) {
                std::free(ci.column);
                ci.column = strdup(name);
            }
            auto intAt = [&](uint16_t col, int32_t def) {
                if (col >= block.col_count || block.cols[col].indicators[r] == DS_IND_NULL) return def;
                const DatasetColumn& dc = block.cols[col];
                const uint8_t* cell = DatasetCell(&dc, r);
                switch (dc.kind) {
                    case DS_TINYINT:
                        return int32_t(int8_t(cell[0]));
                    case DS_SMALLINT: {
                        int16_t x;
                        std::memcpy(&x, cell, 2);
                        return int32_t(x);
                    }
                    case DS_INTEGER: {
                        int32_t x;
                        std::memcpy(&x, cell, 4);
                        return x;
                    }
                    default: {
                        char buf[64] = {};
                        uint32_t bl = sizeof buf - 1;
                        if (DatasetGetValue(&block, r, col, buf, &bl) != 0) return def;
                        return int32_t(std::atoi(buf));
                    }
                }
            };
            ci.sql_type = intAt(5, 12);
            ci.server_type = int16_t(ci.sql_type);
            ci.column_size = uint32_t(intAt(7, 255));
            ci.display_size = ci.column_size;
            ci.scale = uint16_t(intAt(9, 0));
            ci.nullable = uint32_t(intAt(11, 2));
            bool input = intAt(4, 1) == 1;
            ColumnSetProcMark(ci, input ? kProcMarkInput : kProcMarkInOut);
            if (!input) ++outs;
        }
        DatasetFree(&block);
    }
    if (any) s->outParamCount = outs;
    IngFreeStmt(tmp);
    return rc == kErrNoData ? 0 : rc;
}
}  // namespace

ErrCode IngPrepare(uint32_t stmt, const char* text) {
    IngStmt* s = IngStmtFind(stmt);
    if (s == nullptr) return kErrBadArg;
    IngStmtReset(s);
    s->rowHook = nullptr;
    s->text.hasInteger8 = s->conn && s->conn->apiLevel >= IIAPI_LEVEL_3;
    IngTranslateSql(&s->text, text);
    if (s->text.ingres == nullptr) {
        IngLog(LOGL_DEBUG, "Request prepare failed: %s", text ? text : "");
        return kErrGeneral;
    }
    if (s->text.markerFlags & ING_SQL_CALL) {
        s->state |= kStmtProcCall;
        if (s->text.markerFlags & ING_SQL_CALL_RETURN) s->state |= kStmtReturnValue;
    }
    const uint16_t kind = s->text.kind;
    if (kind == ING_SQL_KIND_SELECT || (kind == ING_SQL_KIND_DML && s->text.markers != 0)) {
        uint32_t rc = PrepareWithRepair(s, s->text.ingres);
        if (rc != 0) return ErrCode(rc);
    }
    if (kind != ING_SQL_KIND_SELECT && s->conn->readOnly) {
        IngLog(LOGL_DEBUG, "Non SELECT in r/o connection");
        IngDiagPostCode(&s->messages, kErrReadOnly);
        return kErrReadOnly;
    }
    if (s->state & kStmtProcCall) {
        std::string name = s->text.ingres;
        while (!name.empty() && IsBlank(name.back())) name.pop_back();
        size_t b = 0;
        while (b < name.size() && IsBlank(name[b])) ++b;
        uint32_t rc = IIProcedureExists(s, name.c_str() + b);
        if (rc != 0) return ErrCode(rc);
        if (s->text.markers == 0) {
            rc = BuildLiteralCall(s);
            if (rc != 0) return ErrCode(rc);
        }
    }
    uint32_t rc = BuildParamDescs(s);
    if (rc == 0 && (s->state & kStmtProcCall) && s->text.markers != 0) rc = MapMixedCall(s);
    if (rc != 0) return ErrCode(rc);
    s->state |= kStmtPrepared;
    return kErrNone;
}

ErrCode IngSetParamDescs(uint32_t stmt, uint16_t count, ParamDescEntry* descs) {
    IngStmt* s = IngStmtFind(stmt);
    if (s == nullptr) return kErrBadArg;
    std::free(s->paramDescs);
    s->paramDescs = nullptr;
    s->paramDescCount = 0;
    if (count == 0 || descs == nullptr) return kErrNone;
    s->paramDescs = static_cast<ParamDescEntry*>(std::malloc(count * sizeof(ParamDescEntry)));
    if (s->paramDescs == nullptr) return kErrNoMemory;
    std::memcpy(s->paramDescs, descs, count * sizeof(ParamDescEntry));
    s->paramDescCount = count;
    return kErrNone;
}

// ---------------------------------------------------------------------------------------------
// Execution.

namespace {
// The server types an expression of parameters by the values the open sends (`? + 1` with a
// float is a float): the columns described at prepare take the types the open's descriptors
// give, keeping their names.
void TakeOpenedTypes(IngStmt* s) {
    if (s->columns == nullptr || s->desc.descs == nullptr || s->desc.count != int16_t(s->columnCount)) return;
    const bool unicode = s->conn->unicodeConn != 0;
    const bool jet = s->conn->dsn.jet != 0;
    for (uint16_t i = 0; i < s->columnCount; ++i) {
        ColumnInfo opened{};
        IngMapDescriptor(s->desc.descs[i], unicode, jet, &opened);
        ColumnInfo& ci = s->columns[i];
        if (opened.server_type == ci.server_type && opened.value_kind == ci.value_kind && opened.length == ci.length &&
            opened.scale == ci.scale && opened.column_size == ci.column_size)
            continue;
        IngTakeColumnType(ci, opened);
    }
}

uint32_t OpenCursor(IngStmt* s, uint32_t row) {
    if (s->state & kStmtReprepare) {
        if (Reprepare(s) != 0) {
            s->rowCount = row;
            return kErrSyntax;
        }
    }
    uint32_t count = 0;
    uint32_t rc = IngExecuteParam(s, row, IIAPI_QT_OPEN, &count);
    if (rc != 0) {
        s->rowCount = row;
        return rc;
    }
    s->state |= kStmtCursorOpen;
    ++s->resultSets;
    if (s->text.markers != 0) TakeOpenedTypes(s);
    return 0;
}

// The columns of a procedure's output row stand for its parameters: "*" and the direction
// ("*O" for the return value); the parameter's own name stays the column name.
void NameOutputColumns(const IngStmt* s, ColumnInfo* cols, uint16_t n) {
    for (uint16_t i = 0; i < n; ++i) {
        ProcParamMark dir = kProcMarkOutput;
        if (!(i == 0 && (s->state & kStmtReturnValue)) && cols[i].column != nullptr) {
            dir = kProcMarkUnknown;
            for (uint16_t k = 0; k < s->paramCount; ++k)
                if (s->paramInfo[k].column != nullptr &&
                    AsciiCaseCompare(s->paramInfo[k].column, cols[i].column) == 0) {
                    const ProcParamMark given = ColumnProcMark(s->paramInfo[k]);
                    dir = given != kProcMarkNone ? given : kProcMarkUnknown;
                }
        }
        ColumnSetProcMark(cols[i], dir);
    }
}

uint32_t ExecProcedure(IngStmt* s, uint32_t row) {
    IngConn* c = s->conn;
    const bool global = IngInGlobalTxn(c);
    s->state &= uint16_t(~kStmtOutputPending);
    if (s->outValues != nullptr) DatasetDelete(s->outValues);
    s->outValues = static_cast<Dataset*>(std::calloc(1, sizeof(Dataset)));
    if (s->outValues == nullptr) return kErrNoMemory;
    auto fail = [&](uint32_t rc) {
        s->rowCount = row;
        IngStmtCloseHandle(s, nullptr);
        return rc;
    };
    uint32_t rc = IngExecuteParam(s, row, IIAPI_QT_EXEC_PROCEDURE, nullptr);
    if (rc != 0) return fail(rc);
    ColumnInfo* cols = nullptr;
    uint16_t n = 0;
    const bool outputs =
        s->desc.count > 0 && (s->outParamCount > 0 || s->desc.descs[0].ds_columnType != IIAPI_COL_TUPLE);
    if (!outputs) {
        if (s->desc.count == 0) {
            // The call is complete: read its return value and close it.
            int32_t ret = 0;
            rc = IngStmtFinish(s, &ret);
            if (rc != 0) return fail(rc);
            if ((s->state & kStmtReturnValue) && s->params != nullptr && s->params->col_count > 0) {
                // Even without output parameters the return value goes back as an output row.
                ColumnInfo* rcol = nullptr;
                uint16_t rn = 0;
                IngDescBlock none{};
                rc = IngDescribeResult(s, kDescProcedure, &none, &rcol, &rn);
                if (rc != 0) return fail(rc);
                NameOutputColumns(s, rcol, rn);
                ColumnInfoArrayFree(s->procOut, s->procOutCount);
                s->procOut = rcol;
                s->procOutCount = rn;
                if (DatasetFromColumnInfos(rcol, rn, 1, s->outValues) != 0) return fail(kErrNoMemory);
                std::memcpy(DatasetCell(&s->outValues->cols[0], 0), &ret, 4);
                s->outValues->cols[0].indicators[0] = DS_IND_VALUE;
                s->outValues->rows_used = 1;
                if (!global && (rc = IngTxnAfterLocalStatement(c)) != 0) return fail(rc);
                s->state |= kStmtEndOfData | kStmtOutputPending | kStmtExecuted;
                ++s->resultSets;
                return kErrOutputValues;
            }
            if (!global && (rc = IngTxnAfterLocalStatement(c)) != 0) return fail(rc);
            s->state |= kStmtEndOfData;
            return 0;
        }
        rc = IngDescribeResult(s, kDescQuery, &s->desc, &cols, &n);
        if (rc != 0) return fail(rc);
        ColumnInfoArrayFree(s->columns, s->columnCount);
        s->columns = cols;
        s->columnCount = n;
        s->hiddenColumns = 0;
        s->state |= kStmtCursorOpen;
        ++s->resultSets;
        return 0;
    }
    rc = IngDescribeResult(s, kDescProcedure, &s->desc, &cols, &n);
    if (rc != 0) return fail(rc);
    NameOutputColumns(s, cols, n);
    ColumnInfoArrayFree(s->procOut, s->procOutCount);
    s->procOut = cols;
    s->procOutCount = n;
    if (DatasetFromColumnInfos(cols, n, 1, s->outValues) != 0) return fail(kErrNoMemory);
    uint32_t got = 0;
    rc = IngReadRows(s, 1, s->outValues, &got);
    if (rc != 0 && rc != kErrNoData) return fail(rc);
    int32_t ret = 0;
    rc = IngStmtFinish(s, &ret);
    if (rc != 0) return fail(rc);
    if (s->state & kStmtReturnValue) {
        std::memcpy(DatasetCell(&s->outValues->cols[0], 0), &ret, 4);
        s->outValues->cols[0].indicators[0] = DS_IND_VALUE;
        if (got == 0) got = 1;
    }
    s->outValues->rows_used = got;
    if (!global && (rc = IngTxnAfterLocalStatement(c)) != 0) return fail(rc);
    s->state |= kStmtEndOfData | kStmtOutputPending | kStmtExecuted;
    ++s->resultSets;
    return kErrOutputValues;
}

uint32_t ParamRows(const IngStmt* s) {
    if (s->paramCount == 0 || s->params == nullptr) return 1;
    return s->params->rows_used;
}
}  // namespace

ErrCode IngExecute(uint32_t stmt) {
    IngStmt* s = IngStmtFind(stmt);
    if (s == nullptr) return kErrBadArg;
    if (!(s->state & kStmtPrepared)) {
        IngLog(LOGL_WARNING, "execute without prior prepare");
        return kErrSequence;
    }
    if ((s->text.markerFlags & ING_SQL_HAS_MARKERS) && s->params == nullptr) {
        IngLog(LOGL_WARNING, "execute without prior parameters set");
        return kErrWrongParamCount;
    }
    IngConn* c = s->conn;
    const bool global = IngInGlobalTxn(c);
    IngStmtCloseResult(s);
    s->resultSets = 0;
    s->rowCount = 0;
    const uint32_t rows = ParamRows(s);
    if (s->text.kind == ING_SQL_KIND_SELECT) {
        uint32_t rc = OpenCursor(s, 0);
        if (rc != 0) return ErrCode(rc);
        s->state |= kStmtExecuted;
        return kErrNone;
    }
    const bool withParams = s->text.kind == ING_SQL_KIND_DML && s->text.markers != 0;
    // The rows of one array share their descriptors for as long as this loop runs.
    struct RowsOfArray {
        IngStmt* s;
        explicit RowsOfArray(IngStmt* st) : s(st) {
            s->sendRowsOfArray = 1;
            s->sendDescsKept = 0;
        }
        ~RowsOfArray() {
            s->sendRowsOfArray = 0;
            s->sendDescsKept = 0;
        }
    } rowsOfArray(s);
    for (uint32_t r = 0; r < rows; ++r) {
        if (s->params != nullptr && r < s->params->rows_alloc && s->params->col_count > 0 &&
            s->params->cols[0].indicators != nullptr && s->params->cols[0].indicators[r] == DS_IND_IGNORED)
            continue;
        if (s->state & kStmtReprepare) {
            s->sendDescsKept = 0;
            if (withParams && Reprepare(s) != 0) {
                s->rowCount = r;
                return kErrSyntax;
            }
            s->state &= uint16_t(~kStmtReprepare);
        }
        if (s->state & kStmtProcCall) {
            uint32_t rc = ExecProcedure(s, r);
            if (rc != 0) return ErrCode(rc);
            if (s->state & kStmtCursorOpen) {
                s->state |= kStmtExecuted;
                return kErrNone;
            }
            continue;
        }
        uint32_t count = 0;
        uint32_t rc;
        if (withParams) {
            rc = IngExecuteParam(s, r, IIAPI_QT_EXEC, &count);
        } else {
            rc = IIExecImmediate(&c->connHandle, &c->tranHandle, s->text.ingres, &count, &s->messages);
        }
        if (rc != 0) {
            s->rowCount = r;
            IngStmtCloseHandle(s, nullptr);
            return ErrCode(rc);
        }
        // In autocommit the row is the server's only once its commit is: a failed one fails it.
        if (!global && (rc = IngTxnAfterLocalStatement(c)) != 0) {
            s->rowCount = r;
            return ErrCode(rc);
        }
        s->rowCount += count;
        s->state |= kStmtEndOfData;
    }
    s->state |= kStmtExecuted;
    return kErrNone;
}

// ---------------------------------------------------------------------------------------------
// Fetching.

uint32_t IngCursorRowSet(IngStmt* s, uint32_t back) {
    // Only an open cursor that takes positioned changes has a row of its own to name.
    if (!(s->state & kStmtCursorOpen) || s->rowsDelivered == 0 || s->stmtHandle == nullptr) return kErrNone;
    IIAPI_GETQINFOPARM gq{};
    gq.gq_stmtHandle = s->stmtHandle;
    IIapi_getQueryInfo(&gq);
    if (uint32_t rc = IIWaitCompletion(&gq.gq_genParm, &s->messages)) return rc;
    if (!(gq.gq_mask & IIAPI_GQ_CURSOR) || gq.gq_readOnly) return kErrNone;
    if (back != kCursorRowNone && back >= s->rowsDelivered) return kErrRowRange;
    IIAPI_POSPARM po{};
    po.po_stmtHandle = s->stmtHandle;
    po.po_reference = IIAPI_POS_BEGIN;
    po.po_offset = II_INT4(back == kCursorRowNone ? s->rowsDelivered + 1 : s->rowsDelivered - back);
    po.po_rowCount = 0;
    IIapi_position(&po);
    return IIWaitCompletion(&po.po_genParm, &s->messages);
}

namespace {

// What the caller's header held as a fetch began: nothing, or the block the statement's last fetch
// filled, handed back (kPropFetchRefill). Filled again when the new block has its shape, freed
// when the fetch ends otherwise.
class HandedBackBlock {
public:
    explicit HandedBackBlock(Dataset* header) : held_(*header) { *header = Dataset{}; }
    ~HandedBackBlock() { DatasetFree(&held_); }
    HandedBackBlock(const HandedBackBlock&) = delete;
    HandedBackBlock& operator=(const HandedBackBlock&) = delete;
    // The new block, of `rows` rows of these columns, in the held arrays when they fit it.
    bool RefillInto(Dataset* header, const ColumnInfo* cols, uint16_t n, uint32_t rows) {
        if (held_.cols == nullptr || DatasetRefillFromColumnInfos(cols, n, rows, &held_) != DS_OK) return false;
        *header = held_;
        held_ = Dataset{};
        return true;
    }

private:
    Dataset held_;
};

}  // namespace

ErrCode IngFetchRows(uint32_t stmt, uint16_t rows, Dataset* block) {
    IngStmt* s = IngStmtFind(stmt);
    if (s == nullptr || block == nullptr) return kErrBadArg;
    HandedBackBlock back(block);
    s->rowCount = 0;
    if (s->resultSource == 2 && s->typeInfoFetch != nullptr) return ErrCode(s->typeInfoFetch(s, rows, block));
    if (!(s->state & kStmtExecuted)) return kErrSequence;
    if ((s->state & kStmtProcCall) && (s->state & kStmtOutputPending) && s->outValues != nullptr && rows == 0) {
        *block = *s->outValues;
        std::free(s->outValues);
        s->outValues = nullptr;
        s->state &= uint16_t(~kStmtOutputPending);
        s->rowsDelivered += block->rows_used;
        return kErrNone;
    }
    if (s->state & kStmtReprepare) {
        IngLog(LOGL_WARNING, "Premature EOF on cursor");
        return kErrSerialization;
    }
    uint32_t n = rows;
    if (s->maxRows != 0) {
        uint32_t left = s->maxRows > s->rowsDelivered ? s->maxRows - s->rowsDelivered : 0;
        if (n > left) n = left;
    }
    if (n != 0 && !(s->state & kStmtEndOfData) && (s->state & kStmtCursorOpen)) {
        for (uint16_t i = 0; i < s->columnCount; ++i) {
            uint32_t k = s->columns[i].value_kind;
            if (k == DS_CHAR_REF || k == DS_BINARY_REF || k == DS_WCHAR_REF) {
                n = 1;
                break;
            }
        }
        // A catalog's row hook rewrites the rows it is given: its blocks are made afresh.
        const bool refilled = s->rowHook == nullptr && back.RefillInto(block, s->columns, s->columnCount, n);
        if (!refilled && DatasetFromColumnInfos(s->columns, s->columnCount, n, block) != 0) {
            DatasetFree(block);
            return kErrNoMemory;
        }
        uint32_t got = 0;
        uint32_t rc = IngReadRows(s, uint16_t(n), block, &got);
        s->rowCount += got;
        if (s->rowHook != nullptr) s->rowHook(s, block, got);
        if (got == 0) s->state |= kStmtEndOfData;
        block->rows_used = got;
        s->rowsDelivered += got;
        // The columns the ORDER BY repair added stay out of sight.
        block->col_count = uint16_t(s->columnCount > s->hiddenColumns ? s->columnCount - s->hiddenColumns : 0);
        return ErrCode(rc);
    }
    if (n == 0 && rows == 0 && !(s->state & kStmtEndOfData) && (s->state & kStmtCursorOpen)) {
        // No rows asked for: the columns alone.
        if (DatasetFromColumnInfos(s->columns, s->columnCount, 0, block) != 0) {
            DatasetFree(block);
            return kErrNoMemory;
        }
        block->col_count = uint16_t(s->columnCount > s->hiddenColumns ? s->columnCount - s->hiddenColumns : 0);
        return kErrNone;
    }
    DatasetInit(block, 0);
    return kErrNone;
}

ErrCode IngMoreResults(uint32_t stmt) {
    IngStmt* s = IngStmtFind(stmt);
    if (s == nullptr) return kErrBadArg;
    if (s->resultSource != 0 || !(s->state & kStmtExecuted)) return kErrNoMoreResults;
    const uint32_t R = s->paramCount && s->params ? s->params->rows_used : 0;
    if (s->text.kind == ING_SQL_KIND_SELECT) {
        if (s->resultSets >= 1 && s->resultSets < R) {
            IngStmtCloseResult(s);
            uint32_t rc = OpenCursor(s, s->resultSets);
            if (rc != 0) return ErrCode(rc);
            s->state |= kStmtExecuted;
            return kErrNone;
        }
        return kErrNoMoreResults;
    }
    if (!(s->state & kStmtProcCall)) return kErrNoMoreResults;
    if (s->resultSets == 0 || s->resultSets >= R) return kErrNoMoreResults;
    // The rows of the previous call (an open cursor) or its output values go.
    IngStmtCloseResult(s);
    uint32_t rc = ExecProcedure(s, s->resultSets);
    s->state |= kStmtExecuted;
    return ErrCode(rc);
}
