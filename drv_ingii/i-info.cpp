// Properties of the agent's records through slots 0 and 1, the operator table of slot 23,
// and the negotiation of cursor type and concurrency.
#include "drv_ingii/i-info.h"

#include <sql.h>
#include <sqlext.h>

#include <cctype>
#include <cstring>
#include <string>

#include "drv_ingii/i-cursors.h"
#include "drv_ingii/i-desc.h"
#include "drv_ingii/i-errtab.h"
#include "drv_ingii/i-exec.h"
#include "drv_ingii/i-glob.h"
#include "resources/flavor.h"
#include "util/errtable.h"
#include "util/strutil.h"

namespace {

struct Answer {
    bool known = false;
    bool text = false;
    uint32_t value = 0;
    std::string str;
};

Answer Int(uint32_t v) {
    Answer a;
    a.known = true;
    a.value = v;
    return a;
}

Answer Text(std::string s) {
    Answer a;
    a.known = true;
    a.text = true;
    a.str = std::move(s);
    return a;
}

const Answer kUnknown{};

// What the Ingres agent can do; autocommit joins them unless the data source turns it off.
constexpr uint32_t kAgentCapabilities = kCapNeedBind | kCapMoreResults | kCapParamArrays | kCapScrollCursors |
                                        kCapDynMixCursors | kCapExecute2 | kCapDescribeWithAttrs | kCapMaxLength |
                                        kCapXa;

struct FixedInt {
    uint16_t type;
    uint32_t value;
};

// Information types with fixed integer answers.
const FixedInt kFixedInts[] = {
    // 0
    {0, 0},
    {1, 0},
    {3, 0},
    {4, 0},
    {5, 0},
    {22, 0},
    {54, 0},
    {63, 0},
    {66, 0},
    {69, 0},
    {71, 0},
    {76, 0},
    {80, 0},
    {84, 0},
    {86, 0},
    {92, 0},
    {102, 0},
    {105, 0},
    {109, 0},
    {110, 0},
    {114, 0},
    {117, 0},
    {119, 0},
    {120, 0},
    {121, 0},
    {123, 0},
    {124, 0},
    {127, 0},
    {128, 0},
    {129, 0},
    {130, 0},
    {133, 0},
    {135, 0},
    {136, 0},
    {137, 0},
    {138, 0},
    {139, 0},
    {140, 0},
    {142, 0},
    {148, 0},
    {149, 0},
    {155, 0},
    {156, 0},
    {157, 0},
    {159, 0},
    {161, 0},
    {164, 0},
    {165, 0},
    {166, 0},
    {10001, 0},
    {10022, 0},
    // 1
    {9, 1},
    {12, 1},
    {23, 1},
    {24, 1},
    {48, 1},
    {74, 1},
    {75, 1},
    {85, 1},
    {116, 1},
    {118, 1},
    {141, 1},
    {143, 1},
    {152, 1},
    {154, 1},
    // 2, 3, 7 and single values
    {15, 2},
    {88, 2},
    {153, 2},
    {10021, 2},
    {96, 3},
    {131, 3},
    {134, 3},
    {170, 3},
    {51, 7},
    {81, 7},
    {172, 7},
    {163, 9},
    {106, 15},
    {107, 18},
    {10005, 30},
    {169, 64},
    {82, 74},
    {8, 191},
    {97, 16},
    {98, 16},
    {99, 16},
    {91, 31},
    {95, 31},
    {30, 32},
    {31, 32},
    {32, 32},
    {33, 32},
    {34, 32},
    {35, 32},
    {100, 127},
    {101, 127},
    {115, 127},
    {65003, 127},
    {104, 2000},
    {108, 2000},
    {112, 2000},
    // Bit masks
    {49, 0x96D49},
    {50, 0x791255},
    {52, 0x1E1FE7},
    {56, 0xE2F3F9},
    {62, 0xE2F3F9},
    {70, 0xE2F3F9},
    {53, 0xA073F9},
    {55, 0xA073F9},
    {58, 0xA073F9},
    {59, 0xA073F9},
    {60, 0xA073F9},
    {61, 0xA073F9},
    {64, 0xA073F9},
    {65, 0xA073F9},
    {68, 0xA073F9},
    {57, 0xA28301},
    {67, 0xA28301},
    {132, 0x3601},
    {158, 0x1F70},
    {160, 0x1E07},
    {162, 0x7DB0},
    // Cursor answers: CursorInfoType.
};

struct FixedText {
    uint16_t type;
    const char* text;
};

const FixedText kFixedTexts[] = {
    {21, "Y"},    {27, "Y"},     {36, "Y"},          {38, "Y"},
    {87, "Y"},    {90, "Y"},     {111, "Y"},         {113, "Y"},
    {10002, "Y"}, {10003, "N"},  {11, "N"},          {19, "N"},
    {20, "N"},    {37, "N"},     {73, "N"},          {103, "N"},
    {42, ""},     {89, ""},      {10000, ""},        {10004, ""},
    {2, " "},     {7, "1.5"},    {10, "03.50.0000"}, {13, "Ingres II"},
    {14, "\\"},   {29, "\""},    {39, "Owner"},      {40, "Stored Procedure"},
    {41, ""},     {45, "Table"}, {77, "03.50"},      {94, "&*@:,#$\"=/<>()-%.+?;' _|"},
};

std::string Folded(const char* s, bool upper) {
    std::string out = s ? s : "";
    for (char& ch : out) ch = char(upper ? AsciiUpper(ch) : AsciiLower(ch));
    return out;
}

// Answers about cursors: the full answer where what it speaks of is built, else only what is.
// Positioned operations (SQLSetPos) and locking belong to the row operations.
bool CursorInfoType(IngConn* c, uint32_t type, uint32_t* v) {
    const IngBuiltCursors& b = kIngBuiltCursors;
    switch (type) {
        case SQL_SCROLL_OPTIONS: {
            uint32_t o = 0x1 | 0x10;
            if (c->dsn.dynCursSensitivity != 2) {
                if (b.keysetDriven) o |= 0x2 | 0x8;
                if (b.dynamic) o |= 0x4;
            }
            *v = o;
            return true;
        }
        case SQL_SCROLL_CONCURRENCY:
            *v = b.rowOperations ? 11 : 0x1;
            return true;
        case SQL_LOCK_TYPES:
            *v = b.rowOperations ? 1 : 0;
            return true;
        case SQL_POS_OPERATIONS:
            *v = b.rowOperations ? 31 : 0;
            return true;
        // Dynamic cursors: every orientation but ABSOLUTE and BOOKMARK, SQLSetPos but no bulk
        // operations (rows have no bookmarks); others' additions, deletions and updates show.
        case SQL_DYNAMIC_CURSOR_ATTRIBUTES1:
            *v = b.dynamic ? (b.rowOperations ? 0x1E45 : 0x5) : 0;
            return true;
        case SQL_DYNAMIC_CURSOR_ATTRIBUTES2:
            *v = b.dynamic ? (b.rowOperations ? 0x407B : 0x71) : 0;
            return true;
        // Read-only keyset-driven cursors: the fetch orientations and bookmarks; others' updates and
        // deletions show and the maximum rows of a SELECT hold (a mixed cursor answers with these too and
        // knows no exact row count).
        case SQL_KEYSET_CURSOR_ATTRIBUTES1:
            *v = b.keysetDriven ? (b.rowOperations ? 0xF1E4F : 0xF) : 0;
            return true;
        case SQL_KEYSET_CURSOR_ATTRIBUTES2:
            *v = b.keysetDriven ? (b.rowOperations ? 0x40EB : 0xE1) : 0;
            return true;
        // Fetch orientations and bookmarks; read-only concurrency, the maximum rows of a SELECT and
        // exact row counts. Row changes need a scrollable cursor with keys (a static one reads its
        // keys when it runs with lock or values concurrency).
        case SQL_FORWARD_ONLY_CURSOR_ATTRIBUTES1:
            *v = 0x1;
            return true;
        case SQL_FORWARD_ONLY_CURSOR_ATTRIBUTES2:
            *v = 0x1081;
            return true;
        case SQL_STATIC_CURSOR_ATTRIBUTES1:
            *v = b.rowOperations ? 0xF1E4F : 0xF;
            return true;
        case SQL_STATIC_CURSOR_ATTRIBUTES2:
            *v = b.rowOperations ? 0x508B : 0x1081;
            return true;
        case SQL_STATIC_SENSITIVITY:
            *v = b.rowOperations ? 0x6 : 0;
            return true;
        default:
            return false;
    }
}

Answer ConnInfoType(IngConn* c, uint32_t type) {
    const bool unicode = c->unicodeConn != 0;
    uint32_t cursorAnswer = 0;
    if (CursorInfoType(c, type, &cursorAnswer)) return Int(cursorAnswer);
    switch (type) {
        case SQL_DRIVER_NAME:
            return Text(tv_library_name);
        case SQL_DATABASE_NAME:
            return Text(c->dbName ? c->dbName : "");
        case SQL_DBMS_NAME:
            return Text(c->dsn.sqlDbmsName ? c->dsn.sqlDbmsName : "INGRES");
        case SQL_DBMS_VER:
            return Text(c->versionText ? c->versionText : "");
        case SQL_DATA_SOURCE_READ_ONLY:
            return Text(c->readOnlyConnected ? "Y" : "N");
        case SQL_DEFAULT_TXN_ISOLATION:
            return Int(1);
        case SQL_IDENTIFIER_CASE:
            return Int(c->nameCase);
        case SQL_QUOTED_IDENTIFIER_CASE:
            return Int(c->delimitedCase);
        case SQL_TXN_CAPABLE:
            return Int(c->probed ? 1 : 0);
        case SQL_USER_NAME: {
            // The record keeps the folded name, as the server's case rules give it.
            if (c->userName) {
                std::string f = Folded(c->userName, c->nameCase == 1);
                std::memcpy(c->userName, f.c_str(), f.size());
            }
            return Text(c->userName ? c->userName : "");
        }
        case SQL_TXN_ISOLATION_OPTION:
            return Int(!c->probed ? 1 : (c->versionNumber < kIngVersionIsolationLevels ? 13 : 15));
        case SQL_CONVERT_WCHAR:
        case SQL_CONVERT_WVARCHAR:
            return Int(unicode ? 0xE63F7F : 0);
        case SQL_CONVERT_WLONGVARCHAR:
            return Int(unicode ? 0xE00301 : 0);
        default:
            break;
    }
    for (const FixedInt& f : kFixedInts)
        if (f.type == type) return Int(f.value);
    for (const FixedText& f : kFixedTexts)
        if (f.type == type) return Text(f.text);
    return kUnknown;
}

Answer ConnCapability(IngConn* c, uint32_t item) {
    switch (item) {
        case 0x01:
            return Int(0x2FDEC);
        case 0x02:
        case 0x03:
        case 0x04:
        case 0x05:
        case 0x06:
        case 0x07:
            return Int(1);
        case 0x08:
            c->capsAsked = 1;
            return Int(1);
        case 0x09:
            return Int(100);
        case 0x0A:
            return Int(0);
        case 0x0B:
            return Int(c->dsn.dynCursSensitivity == 1 ? 1 : 0);
        case 0x0D:
            return Text("");
        case 0x0E:
            return Int(1);
        case 0x11:
            c->capsAsked = 1;
            return Int(c->dsn.noAutoCommit ? kAgentCapabilities : kAgentCapabilities | kCapAutocommit);
        case 0x12:
            c->paramNames = 1;
            return Int(1);
        case 0x13:
            return tv_wide_build ? Int(c->unicodeConn ? 1 : 0) : kUnknown;
        case 0x14:
        case 0x15:
            return Int(1);
        case 0x17:
            return Int(0);
        case 0x18:
            return Int(1);
        default:
            return kUnknown;
    }
}

Answer ConnAnswer(IngConn* c, uint32_t cls, uint32_t item) {
    if (cls == 0x01) return ConnCapability(c, item);
    if (cls == 0x03) {
        if (item == IngPropItem(kPropAutocommit)) return Int(c->autocommit);
        if (item == IngPropItem(kPropAccessMode)) return Int(c->readOnly);
        if (item == IngPropItem(kPropIsolation)) return Int(c->probed ? c->isolation : SQL_TXN_READ_UNCOMMITTED);
        return kUnknown;
    }
    if (cls == 0x04) return ConnInfoType(c, item);
    return kUnknown;
}

Answer StmtAnswer(IngStmt* s, uint32_t cls, uint32_t item) {
    const IngCursorOptions& k = *s->cursorOpts;
    if (cls == 0x01) {
        if (item == 0) return Int(s->text.kind == 2 ? s->rowCount : 0xFFFFFFFFu);
        // IngFetchRows frees or fills again the block its caller hands back.
        if (item == 1) return Int(1);
        return kUnknown;
    }
    if (cls != 0x03) return kUnknown;
    switch (item) {
        case SQL_MAX_ROWS:
            return Int(s->maxRows);
        case SQL_NOSCAN:
            return Int(s->noScan);
        case SQL_MAX_LENGTH:
            return Int(s->maxLength);
        case SQL_CURSOR_TYPE:
            return Int(k.cursorType);
        case SQL_CONCURRENCY:
            return Int(k.concurrency);
        case SQL_KEYSET_SIZE:
            return Int(k.keysetSize);
        case SQL_ROWSET_SIZE:
            return Int(k.rowsetSize);
        case SQL_SIMULATE_CURSOR:
            return Int(k.simulateCursor);
        case SQL_RETRIEVE_DATA:
            return Int(k.retrieveData);
        case SQL_USE_BOOKMARKS:
            return Int(k.useBookmarks);
        case SQL_GET_BOOKMARK:
        case SQL_ROW_NUMBER:
            return Int(0);
        case kStmtOptAgentChoice:
            return Int(s->agentChoice);
        case kStmtOptDescribeKeys:
            return Int(s->describeKeys);
        case kStmtOptDescribeAddKeys:
            return Int(s->describeAddKeys);
        default:
            return kUnknown;
    }
}

uint32_t PutAnswer(const Answer& a, uint32_t valueKind, void* buf, uint16_t len, uint16_t* outLen) {
    if (!a.known || (valueKind != 1 && valueKind != 2)) return kErrNotSupported;
    if (valueKind == 1) {
        // Asked as text: a number has no text form.
        std::string t = a.text ? a.str : std::string();
        size_t n = 0;
        if (buf != nullptr && len >= 1) {
            n = t.size() < len ? t.size() : size_t(len - 1);
            std::memcpy(buf, t.data(), n);
            static_cast<char*>(buf)[n] = '\0';
        }
        if (outLen) *outLen = uint16_t(n);
        return 0;
    }
    uint32_t v = a.text ? 0 : a.value;
    if (buf != nullptr) std::memcpy(buf, &v, 4);
    if (outLen) *outLen = 4;
    return 0;
}

struct CursorOptionRow {
    uint32_t option;
    uint16_t infoType;
    uint32_t fallback[4];
    uint32_t bits[5];  // support bit of values 0..4 (0: not a value of this option)
};

const CursorOptionRow kCursorOptionTable[] = {
    // A concurrency nothing else can give ends at read-only.
    {7, 43, {2, 3, 4, 1}, {0, 0x1, 0x2, 0x4, 0x8}},
    {6, 44, {2, 1, 3, 1}, {0x1, 0x2, 0x4, 0x10, 0}},
    {0, 0, {}, {}},
};

uint32_t SetConnOption(IngConn* c, uint32_t cls, uint32_t item, const uint32_t* value) {
    if (cls == 0x03 && item == IngPropItem(kPropAutocommit)) {
        // Either change commits the open transaction; when that commit fails its work is gone
        // and the mode stays as it was, so the application hears of both.
        const uint16_t flags = c->txnFlags;
        const uint32_t rc = IngTxnControl(c, *value == 0 ? kTxnOpAutocommitOff : kTxnOpAutocommitOn);
        if (rc != 0 && rc != kErrTxnStateInfo) {
            c->txnFlags = uint16_t((c->txnFlags & ~kTxnAutocommit) | (flags & kTxnAutocommit));
            return rc;
        }
        c->autocommit = *value == 0 ? 0 : 1;
        IngSetIsolation(c, c->isolation);
        return 0;
    }
    if (cls == 0x03 && item == IngPropItem(kPropAccessMode)) {
        c->readOnly = *value ? 1 : 0;
        return 0;
    }
    if (cls == 0x03 && item == IngPropItem(kPropIsolation)) return IngSetIsolation(c, *value);
    if (cls == 0x01 && item == IngPropItem(kPropOdbcVersion)) {
        c->odbcVersion = *value >= 3 ? 3 : 2;
        return 0;
    }
    return kErrNotCapable;
}

// Describes the parameters of a prepared statement before it runs.
uint32_t DescribeParamsNow(IngStmt* s) { return IngDescribeParamsByProbe(s); }

uint32_t SetStmtOption(IngStmt* s, uint32_t cls, uint32_t item, const uint32_t* value) {
    IngCursorOptions& k = *s->cursorOpts;
    IngConn* c = s->conn;
    uint32_t v = *value;
    if (cls != 0x03) return kErrNotCapable;
    switch (item) {
        case SQL_QUERY_TIMEOUT:
            return 0;
        case SQL_MAX_ROWS: {
            uint32_t dsnMax = c->dsn.maxRows > 0 ? uint32_t(c->dsn.maxRows) : 0;
            if (dsnMax != 0 && (v == 0 || v > dsnMax)) {
                s->maxRows = dsnMax;
                return kErrOptionChanged;
            }
            s->maxRows = v;
            return 0;
        }
        case SQL_NOSCAN:
            s->noScan = v ? 1 : 0;
            return 0;
        case SQL_MAX_LENGTH:
            s->maxLength = v;
            return 0;
        case SQL_CURSOR_TYPE: {
            uint32_t type = v;
            uint32_t rc = IngNegotiateCursorOption(&k, SQL_CURSOR_TYPE, &type);
            if (rc != 0 && rc != kErrOptionChanged) return rc;
            if (type == SQL_CURSOR_DYNAMIC && !c->capsAsked) {
                type = SQL_CURSOR_KEYSET_DRIVEN;
                rc = kErrOptionChanged;
            }
            k.cursorType = type;
            k.flags |= kScsTypeSet;
            return rc;
        }
        case SQL_CONCURRENCY: {
            uint32_t conc = v;
            uint32_t rc = IngNegotiateCursorOption(&k, SQL_CONCURRENCY, &conc);
            if (rc == 0 || rc == kErrOptionChanged) k.concurrency = conc;
            return rc;
        }
        case SQL_KEYSET_SIZE:
            if (!c->capsAsked) return v != 0 ? kErrOptionChanged : kErrNone;
            k.keysetSize = v > 5000 ? 5000 : v;
            k.flags |= kScsKeysetSizeSet;
            return 0;
        case SQL_ROWSET_SIZE: {
            uint32_t rc = 0;
            if (v > 100 && !c->dsn.noRowsetSizeLimit) {
                v = 100;
                rc = kErrOptionChanged;
            }
            k.rowsetSize = v;
            if (s->text.source != nullptr) k.flags |= kScsRowsetSizeSet;
            return rc;
        }
        case SQL_SIMULATE_CURSOR:
            k.simulateCursor = v;
            return 0;
        case SQL_RETRIEVE_DATA:
            k.retrieveData = v;
            return 0;
        case SQL_USE_BOOKMARKS:
            k.useBookmarks = v;
            return 0;
        case SQL_ATTR_ENABLE_AUTO_IPD:
            if (v != 0 && !s->paramsDescribed) return DescribeParamsNow(s);
            return 0;
        case kStmtOptAgentChoice:
            if (v != 1 && v != 2) return kErrBadArg;
            s->agentChoice = v;
            return 0;
        case kStmtOptDescribeKeys:
            s->describeKeys = v;
            return 0;
        case kStmtOptDescribeAddKeys:
            s->describeAddKeys = v;
            return 0;
        default:
            return kErrNotCapable;
    }
}

const IngOperatorRow kOperatorTable[8] = {
    {1, 32767, 0x2A31EC}, {5, 0, 0x2821EC}, {4, 0, 0x2821EC},      {7, 0, 0x2821EC},
    {8, 0, 0x2821EC},     {9, 0, 0x282200}, {-2, 65533, 0x2A3000}, {11, 0, 0x282800},
};

}  // namespace

ErrCode IngGetInfo(uint32_t h, uint32_t id, void* buf, uint16_t len, uint16_t* outLen) {
    const uint32_t kind = IngPropKind(id), vk = IngPropValueKind(id), cls = IngPropClass(id), item = IngPropItem(id);
    switch (kind) {
        case 1: {
            IngServer* sv = IngServerFind(h);
            if (sv == nullptr) return kErrBadArg;
            if (id == 0x11010000) return ErrCode(PutAnswer(Text("ingresii"), vk, buf, len, outLen));
            return kErrNotSupported;
        }
        case 2: {
            IngConn* c = IngConnFind(h);
            if (c == nullptr) return kErrBadArg;
            return ErrCode(PutAnswer(ConnAnswer(c, cls, item), vk, buf, len, outLen));
        }
        case 3: {
            IngStmt* s = IngStmtFind(h);
            if (s == nullptr) return kErrBadArg;
            return ErrCode(PutAnswer(StmtAnswer(s, cls, item), vk, buf, len, outLen));
        }
        default:
            return kErrNotSupported;
    }
}

ErrCode IngSetOption(uint32_t h, uint32_t id, void* value) {
    const uint32_t kind = IngPropKind(id), cls = IngPropClass(id), item = IngPropItem(id);
    switch (kind) {
        case 1:
            return IngServerFind(h) ? kErrNotCapable : kErrBadArg;
        case 2: {
            IngConn* c = IngConnFind(h);
            if (c == nullptr || value == nullptr) return kErrBadArg;
            return ErrCode(SetConnOption(c, cls, item, static_cast<const uint32_t*>(value)));
        }
        case 3: {
            IngStmt* s = IngStmtFind(h);
            if (s == nullptr || value == nullptr) return kErrBadArg;
            if (id == kPropCursorRow) return ErrCode(IngCursorRowSet(s, *static_cast<const uint32_t*>(value)));
            return ErrCode(SetStmtOption(s, cls, item, static_cast<const uint32_t*>(value)));
        }
        default:
            return kErrNotSupported;
    }
}

ErrCode IngGetOpTable(uint32_t conn, AgentOpRequest* request) {
    if (request == nullptr || IngConnFind(conn) == nullptr) return kErrBadArg;
    if (request->type != 1) return kErrNotCapable;
    request->count = 8;
    request->rows = kOperatorTable;
    return kErrNone;
}

uint32_t AgentInfoItem(const AgentLink* link, uint32_t conn, uint16_t infoType, void* buf, int16_t len,
                       uint16_t* outLen) {
    static const uint16_t kIntTypes[] = {8, 26, 28, 43, 44, 72, 78, 79, 80, 82, 83, 85, 93, 99};
    static const uint16_t kTextTypes[] = {11, 17, 29, 47};
    for (uint16_t t : kIntTypes) {
        if (t != infoType) continue;
        if (len < 4 || buf == nullptr) return kErrBadArg;
        uint32_t v = 0;
        uint16_t got = 0;
        uint32_t rc = AgentCall<DRV_GetInfo>(link, conn, kPropIntInfoBase | infoType, &v, uint16_t(4), &got);
        if (rc != 0) return rc;
        std::memcpy(buf, &v, 4);
        if (outLen) *outLen = 4;
        return 0;
    }
    for (uint16_t t : kTextTypes) {
        if (t != infoType) continue;
        char area[256] = {};
        uint16_t got = 0;
        uint32_t rc =
            AgentCall<DRV_GetInfo>(link, conn, kPropTextInfoBase | infoType, area, uint16_t(sizeof area), &got);
        if (rc != 0) return rc;
        size_t n = std::strlen(area);
        if (outLen) *outLen = uint16_t(n);
        size_t room = len > 0 ? size_t(len) : 0;
        if (n >= room) {
            // Cut, but never left without its terminator.
            if (buf != nullptr && room > 0) {
                std::memcpy(buf, area, room - 1);
                static_cast<char*>(buf)[room - 1] = '\0';
            }
            return kErrTruncated;
        }
        if (buf != nullptr) std::memcpy(buf, area, n + 1);
        return 0;
    }
    return kErrOptionRange;
}

uint32_t IngNegotiateCursorOption(const IngCursorOptions* c, uint32_t option, uint32_t* value) {
    const CursorOptionRow* row = kCursorOptionTable;
    while (row->option != 0 && row->option != option) ++row;
    if (row->option == 0) return 0;
    uint32_t support = 0;
    uint16_t got = 0;
    if (AgentInfoItem(c->link, c->agentConn, row->infoType, &support, 4, &got) != 0) return 0;
    uint32_t cur = *value;
    size_t pos = 0;
    for (;;) {
        uint32_t bit = cur < 5 ? row->bits[cur] : 0;
        if (bit != 0 && (support & bit)) break;
        size_t at = pos;
        while (at < 4 && row->fallback[at] != cur) ++at;
        if (at >= 4 || at + 1 >= 4) return kErrNotCapable;
        pos = at + 1;
        cur = row->fallback[pos];
    }
    if (cur == *value) return 0;
    *value = cur;
    return kErrOptionChanged;
}

uint32_t IngParseDynCursSens(const char* text) {
    if (text == nullptr) return 0;
    char ch = AsciiUpper(text[0]);
    if (ch == 'D') return 2;
    if (ch == 'H') return 1;
    return 0;
}

const char* IngDynCursSensName(uint32_t value) {
    switch (value) {
        case 1:
            return "HIGH";
        case 2:
            return "DISABLED";
        default:
            return "LOW";
    }
}
