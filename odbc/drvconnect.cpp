#include "odbc/drvconnect.h"

#include <dlfcn.h>

#include <cctype>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "odbc/conntext.h"
#include "odbc/keywords.h"
#include "platform/pramlogw/pramlogw.h"
#include "util/errtable.h"
#include "util/strutil.h"

namespace {

// A value as a connection string holds it: in braces, with '}' doubled, when it has ';' or a
// brace in it.
std::string BracedValue(const std::string& v) {
    if (v.find_first_of(";{}") == std::string::npos) return v;
    std::string b = "{";
    for (char ch : v) {
        b += ch;
        if (ch == '}') b += '}';
    }
    return b + "}";
}

std::string Val(int row) {
    const char* v = ConnKeywordValue(row);
    return v ? v : "";
}

const char* TF(bool b) { return b ? "TRUE" : "FALSE"; }

bool Missing(const char* v) { return !v || !*v || *v == ' '; }

// Length of an ODBC input text: SQL_NTS or a non-negative count; -1 for anything else.
std::ptrdiff_t InputLength(const SQLCHAR* text, SQLSMALLINT len) {
    if (!text) return len >= 0 || len == SQL_NTS ? 0 : -1;
    if (len == SQL_NTS) return static_cast<std::ptrdiff_t>(std::strlen(reinterpret_cast<const char*>(text)));
    return len >= 0 ? len : -1;
}

// UTF-8 copy of an ODBC UTF-16 input text (length in characters or SQL_NTS); false for a bad length.
bool WideInput(const SQLWCHAR* text, SQLSMALLINT len, std::string& out) {
    out.clear();
    if (len < 0 && len != SQL_NTS) return false;
    if (!text) return true;
    std::size_t n = len == SQL_NTS ? conntext::WideLen(text) : static_cast<std::size_t>(len);
    out = conntext::Utf16ToUtf8(text, static_cast<std::ptrdiff_t>(n));
    out.resize(std::strlen(out.c_str()));  // text after an embedded NUL is not part of it
    return true;
}

// The login library binding.
using LoginFn = std::int32_t (*)(void*, const char*, const char*, char**, int);
using LoginFreeFn = void (*)(char*);
std::mutex g_login_lock;
void* g_login_module = nullptr;
std::string g_login_path;

void* LoginModule() {
    if (g_login_module) return g_login_module;
    if (!g_login_path.empty()) {
        g_login_module = dlopen(g_login_path.c_str(), RTLD_NOW | RTLD_LOCAL);
        return g_login_module;
    }
    // The library is installed beside the driver.
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&LoginPrompt), &info) && info.dli_fname) {
        std::string path = info.dli_fname;
        std::size_t slash = path.rfind('/');
        path = (slash == std::string::npos ? std::string() : path.substr(0, slash + 1)) + "libpramlogw.so";
        g_login_module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    }
    if (!g_login_module) g_login_module = dlopen("libpramlogw.so", RTLD_NOW | RTLD_LOCAL);
    return g_login_module;
}

}  // namespace

bool ConnIsTrue(const char* value) {
    if (!value) return false;
    return conntext::EqualNoCase(value, std::strlen(value), "TRUE") ||
           conntext::EqualNoCase(value, std::strlen(value), "YES");
}

std::int64_t ConnDecimal(const char* value) {
    if (!value) return 0;
    const char* p = value;
    while (std::isspace(static_cast<unsigned char>(*p))) ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') negative = *p++ == '-';
    std::int64_t n = 0;
    for (; std::isdigit(static_cast<unsigned char>(*p)); ++p) {
        n = n * 10 + (*p - '0');
        if (n > INT64_MAX / 100) break;  // far beyond any value kept; stop before overflowing
    }
    return negative ? -n : n;
}

int ConnParseDynCursSens(const char* value) {
    if (!value) return 0;
    char c = AsciiUpper(value[0]);
    return c == 'D' ? 2 : c == 'H' ? 1 : 0;
}

const char* ConnDynCursSensName(int value) { return value == 2 ? "DISABLED" : value == 1 ? "HIGH" : "LOW"; }

std::string ConnDriverNameFromValue(const char* value) {
    if (!value) return std::string();
    const char* begin = std::strchr(value, '{');
    begin = begin ? begin + 1 : value;
    const char* end = std::strchr(begin, '}');
    return end ? std::string(begin, end) : std::string(begin);
}

bool ConnWantsPrompt(SQLUSMALLINT completion, const char* uid, const char* pwd) {
    switch (completion) {
        case SQL_DRIVER_COMPLETE:
        case SQL_DRIVER_COMPLETE_REQUIRED:
            return Missing(uid) || Missing(pwd);
        case SQL_DRIVER_PROMPT:
            return true;
        default:
            return false;
    }
}

std::string ConnOptionsText(const char* group, const char* effuid, const char* dbmspwd, const char* role,
                            const char* rolepwd) {
    auto given = [](const char* v) { return v && *v; };
    std::string text;
    if (given(group)) text.append(" -G").append(group);
    if (given(effuid)) text.append(" -u").append(effuid);
    if (given(dbmspwd)) text.append(" -P").append(dbmspwd);
    if (given(role)) {
        text.append(" -R").append(role);
        if (given(rolepwd)) text.append("/").append(rolepwd);
    }
    return text;
}

void ConnPlanFromTable(const char* input, ConnectPlan& plan) {
    // The agent's settings.
    plan.trimChar = ConnIsTrue(ConnKeywordValue(KW_RTRIMCHAR));
    plan.jet = ConnIsTrue(ConnKeywordValue(KW_JET));
    std::int64_t maxRows = ConnDecimal(ConnKeywordValue(KW_MAXROWS));
    plan.maxRows = static_cast<std::int32_t>(maxRows > INT32_MAX   ? INT32_MAX
                                             : maxRows < INT32_MIN ? INT32_MIN
                                                                   : maxRows);
    plan.noAutocommit = ConnIsTrue(ConnKeywordValue(KW_NOAC));
    plan.noRowsetSizeLimit = ConnIsTrue(ConnKeywordValue(KW_NRSSL));
    plan.dynCursSensitivity = ConnParseDynCursSens(ConnKeywordValue(KW_DYN_CURS_SENSITIVITY));
    plan.initSql = Val(KW_INITSQL);
    plan.dbmsName = Val(KW_SQLDBMSNAME);

    // Connect fields.
    std::string dsn = Val(KW_DSN), filedsn = Val(KW_FILEDSN);
    plan.user = Val(KW_UID);
    plan.password = Val(KW_PWD);
    plan.dsn = dsn.empty() && filedsn.empty() ? "Default" : dsn;
    plan.server = Val(KW_INGSERVER);
    plan.flags = 0;
    if (ConnIsTrue(ConnKeywordValue(KW_READONLY))) plan.flags |= kConnFlagReadOnly;
    if (ConnIsTrue(ConnKeywordValue(KW_IV))) plan.flags |= kConnFlagIncludeViews;
    if (ConnIsTrue(ConnKeywordValue(KW_IA))) plan.flags |= kConnFlagIncludeAll;
    // A negative or absurd size is no size at all.
    std::int64_t fbs = ConnDecimal(ConnKeywordValue(KW_FBS));
    plan.fetchSize = fbs > 0 && fbs <= UINT32_MAX ? static_cast<std::uint32_t>(fbs) : 60;

    plan.options =
        ConnOptionsText(ConnKeywordValue(KW_GROUP), ConnKeywordValue(KW_EFFUID), ConnKeywordValue(KW_DBMSPWD),
                        ConnKeywordValue(KW_ROLENAME), ConnKeywordValue(KW_ROLEPWD));

    // Output connection string, built without bounds; the copy-out cuts it. A value that would
    // not read back as itself goes in braces.
    auto V = [](const std::string& v) { return BracedValue(v); };
    auto B = [&](const char* v) { return V(v ? v : ""); };
    std::string& out = plan.output;
    out.clear();
    const char* driver = ConnKeywordValue(KW_DRIVER);
    const std::string fbsText = std::to_string(plan.fetchSize);
    if (!driver) {
        // Only a file DSN named: hand back what reaches the same source again.
        if (dsn.empty() && !filedsn.empty())
            out = "FILEDSN=" + V(filedsn);
        else
            out = "DSN=" + V(plan.dsn);
        out += ";UID=" + V(plan.user) + ";PWD=" + V(plan.password) + ";JET=" + TF(plan.jet) + ";FBS=" + fbsText;
    } else {
        // The driver's name keeps its braces, as applications write it.
        std::string name = driver;
        std::string drv = name.find_first_of(";{}") == std::string::npos ? "{" + name + "}" : V(name);
        // What chose the database goes back too, or the string would reconnect to another one.
        out = std::string("DRIVER=") + drv;
        if (!dsn.empty()) out += ";DSN=" + V(dsn);
        if (!filedsn.empty()) out += ";FILEDSN=" + V(filedsn);
        out += ";UID=" + V(plan.user) + ";PWD=" + V(plan.password) + ";JET=" + TF(plan.jet) + ";FBS=" + fbsText +
               ";READONLY=" + B(ConnKeywordValue(KW_READONLY)) + ";NLB=" + B(ConnKeywordValue(KW_NLB)) +
               ";MAXROWS=" + std::to_string(plan.maxRows) + ";NOAC=" + TF(plan.noAutocommit) +
               ";INGSERVER=" + V(plan.server) + ";NRSSL=" + TF(plan.noRowsetSizeLimit) +
               ";DYN_CURS_SENSITIVITY=" + ConnDynCursSensName(plan.dynCursSensitivity) +
               ";SQLDBMSNAME=" + B(ConnKeywordValue(KW_SQLDBMSNAME)) + ";GROUP=" + B(ConnKeywordValue(KW_GROUP)) +
               ";ROLENAME=" + B(ConnKeywordValue(KW_ROLENAME)) + ";ROLEPWD=" + B(ConnKeywordValue(KW_ROLEPWD)) +
               ";EFFUID=" + B(ConnKeywordValue(KW_EFFUID)) + ";DBMSPWD=" + B(ConnKeywordValue(KW_DBMSPWD)) +
               ";RTRIMCHAR=" + TF(plan.trimChar) + ";IV=" + B(ConnKeywordValue(KW_IV)) +
               ";IA=" + B(ConnKeywordValue(KW_IA)) + ";Server=Corvanta";
    }

    // Trace lines. The input is shown only up to its first '=' or ';', and no password value is
    // written to the trace.
    plan.trace.clear();
    if (!plan.traced) return;
    std::string shown = "<null>";
    if (input) shown.assign(input, std::strcspn(input, "=;"));
    plan.trace.push_back("connStr=[" + shown + "]");
    for (const auto& row : ConnKeywordTable) {
        if (!row.traced) continue;
        std::string keyword = row.keyword;
        bool secret = keyword.size() >= 3 && keyword.compare(keyword.size() - 3, 3, "PWD") == 0;
        std::string data = !row.value ? "<null>" : secret && *row.value ? "***" : row.value;
        plan.trace.push_back("  key=[" + keyword + "] data=[" + data + "] supplied=" + std::to_string(row.supplied));
    }
    std::string shownOptions = ConnOptionsText(ConnKeywordValue(KW_GROUP), ConnKeywordValue(KW_EFFUID),
                                               Val(KW_DBMSPWD).empty() ? nullptr : "***", ConnKeywordValue(KW_ROLENAME),
                                               Val(KW_ROLEPWD).empty() ? nullptr : "***");
    plan.trace.push_back("cn_dbpath=[" + plan.server + "] cn_dbopts=[" + shownOptions +
                         "] cn_readonly=" + ((plan.flags & kConnFlagReadOnly) ? "1" : "0"));
    plan.trace.push_back("cn_fetchSize=" + std::to_string(plan.fetchSize) + " cn_dbhost=[] cn_svtype=[]");
}

int DriverConnectPrepare(void* window, const SQLCHAR* in, SQLSMALLINT inLen, SQLSMALLINT outMax,
                         SQLUSMALLINT completion, char mode, ConnectPlan& plan) {
    std::ptrdiff_t n = InputLength(in, inLen);
    if (n < 0 || outMax < 0) return kErrBadLength;
    std::string input = n > 0 ? std::string(reinterpret_cast<const char*>(in), static_cast<std::size_t>(n)) : "";
    // Text after an embedded NUL is not part of the string.
    input.resize(std::strlen(input.c_str()));

    ConnKeywordParse(input.c_str(), mode);

    bool prompt = ConnWantsPrompt(completion, ConnKeywordValue(KW_UID), ConnKeywordValue(KW_PWD));
    if (ConnIsTrue(ConnKeywordValue(KW_NLB))) {
        prompt = false;
        const char* uid = ConnKeywordValue(KW_UID);
        bool uidGiven = ConnKeywordSupplied(KW_UID) && uid && *uid;
        std::string dsn = Val(KW_DSN), filedsn = Val(KW_FILEDSN);
        // With only a file DSN, the user is what the file gave.
        if (!uidGiven && (!dsn.empty() || filedsn.empty()))
            ConnKeywordSet(KW_UID, DsnReadUid(dsn.empty() ? "Default" : dsn.c_str(), mode).c_str(), true);
    }

    if (prompt) {
        std::string driver;
        if (ConnKeywordValue(KW_DRIVER)) {
            driver = ConnDriverNameFromValue(ConnKeywordValue(KW_DRIVER));
        } else {
            char* name = DsnDriverName();
            if (name) driver = name;
            std::free(name);
        }
        std::string completed;
        int shown = LoginPrompt(window, driver.c_str(), input.c_str(), mode, completed);
        if (shown != 1) {
            ConnKeywordParse(nullptr, mode);
            return shown < 0 ? kErrDialogFailed : kErrNoData;
        }
        // The completed string replaces the input wholesale.
        ConnKeywordParse(nullptr, mode);
        ConnKeywordParse(completed.c_str(), mode);
    }

    ConnPlanFromTable(input.c_str(), plan);
    ConnKeywordParse(nullptr, mode);
    return 0;
}

int ConnConnectString(const SQLCHAR* dsn, SQLSMALLINT dsnLen, const SQLCHAR* uid, SQLSMALLINT uidLen,
                      const SQLCHAR* pwd, SQLSMALLINT pwdLen, std::string& out, std::string* traceText) {
    std::ptrdiff_t nd = InputLength(dsn, dsnLen), nu = InputLength(uid, uidLen), np = InputLength(pwd, pwdLen);
    if (nd < 0 || nu < 0 || np < 0) return kErrBadLength;
    auto text = [](const SQLCHAR* s, std::ptrdiff_t n) {
        std::string t(reinterpret_cast<const char*>(s ? s : reinterpret_cast<const SQLCHAR*>("")),
                      static_cast<std::size_t>(n));
        t.resize(std::strlen(t.c_str()));
        return t;
    };
    // Names and passwords may hold ';' or braces: such a value goes in braces.
    auto braced = [](const std::string& v) { return BracedValue(v); };
    out = "DSN=" + braced(text(dsn, nd)) + ";UID=" + braced(text(uid, nu)) + ";PWD=" + braced(text(pwd, np));
    if (traceText) *traceText = "DSN=" + braced(text(dsn, nd)) + ";UID=" + braced(text(uid, nu)) + ";PWD=***";
    return 0;
}

int ConnCopyOut(const std::string& text, SQLCHAR* buf, SQLSMALLINT bufLen, SQLSMALLINT* outLen) {
    if (bufLen < 0) return kErrBadLength;
    if (outLen) *outLen = static_cast<SQLSMALLINT>(text.size() > SHRT_MAX ? SHRT_MAX : text.size());
    if (!buf) return 0;
    if (text.size() < static_cast<std::size_t>(bufLen)) {
        std::memcpy(buf, text.c_str(), text.size() + 1);
        return 0;
    }
    if (bufLen == 0) return kErrTruncated;
    std::size_t n = Utf8CutLength(text.data(), text.size(), static_cast<std::size_t>(bufLen) - 1);
    std::memcpy(buf, text.data(), n);
    buf[n] = 0;
    return kErrTruncated;
}

int ConnCopyOutW(const std::string& utf8, SQLWCHAR* buf, SQLSMALLINT bufLenChars, SQLSMALLINT* outLen) {
    if (bufLenChars < 0) return kErrBadLength;
    std::vector<SQLWCHAR> wide = conntext::Utf8ToUtf16(utf8.c_str(), static_cast<std::ptrdiff_t>(utf8.size()));
    std::size_t units = wide.size() - 1;
    if (outLen) *outLen = static_cast<SQLSMALLINT>(units > SHRT_MAX ? SHRT_MAX : units);
    if (!buf) return 0;
    if (units < static_cast<std::size_t>(bufLenChars)) {
        std::memcpy(buf, wide.data(), (units + 1) * sizeof(SQLWCHAR));
        return 0;
    }
    if (bufLenChars == 0) return kErrTruncated;
    std::size_t n = static_cast<std::size_t>(bufLenChars) - 1;
    if (n > 0 && wide[n - 1] >= 0xD800 && wide[n - 1] <= 0xDBFF) --n;  // keep a surrogate pair whole
    std::memcpy(buf, wide.data(), n * sizeof(SQLWCHAR));
    buf[n] = 0;
    return kErrTruncated;
}

namespace {

template <typename CopyOut>
SQLRETURN RunDriverConnect(const ConnectTarget& target, void* window, const SQLCHAR* in, SQLSMALLINT inLen,
                           SQLSMALLINT outMax, SQLUSMALLINT completion, char mode, std::vector<std::string>* trace,
                           CopyOut copyOut) {
    if (target.connected(target.context)) {
        target.setLastError(target.context, kErrConnInUse);
        return SQL_ERROR;
    }
    ConnectPlan plan;
    plan.traced = trace != nullptr;
    int code = DriverConnectPrepare(window, in, inLen, outMax, completion, mode, plan);
    if (code == kErrNoData) return SQL_NO_DATA;
    if (code != 0) {
        target.setLastError(target.context, code);
        return SQL_ERROR;
    }
    if (trace) trace->insert(trace->end(), plan.trace.begin(), plan.trace.end());
    target.store(target.context, plan);
    target.open(target.context, mode);
    if (!target.connected(target.context)) return SQL_ERROR;
    if (copyOut(plan.output) == kErrTruncated) {
        target.setLastError(target.context, kErrTruncated);
        return SQL_SUCCESS_WITH_INFO;
    }
    return SQL_SUCCESS;
}

}  // namespace

SQLRETURN DriverConnectCore(const ConnectTarget& target, void* window, const SQLCHAR* in, SQLSMALLINT inLen,
                            SQLCHAR* out, SQLSMALLINT outMax, SQLSMALLINT* outLen, SQLUSMALLINT completion, char mode,
                            std::vector<std::string>* trace) {
    return RunDriverConnect(target, window, in, inLen, outMax, completion, mode, trace,
                            [&](const std::string& text) { return ConnCopyOut(text, out, outMax, outLen); });
}

SQLRETURN DriverConnectCoreW(const ConnectTarget& target, void* window, const SQLWCHAR* in, SQLSMALLINT inLen,
                             SQLWCHAR* out, SQLSMALLINT outMaxChars, SQLSMALLINT* outLen, SQLUSMALLINT completion,
                             std::vector<std::string>* trace) {
    std::string input;
    if (!WideInput(in, inLen, input)) {
        target.setLastError(target.context, kErrBadLength);
        return SQL_ERROR;
    }
    return RunDriverConnect(target, window, reinterpret_cast<const SQLCHAR*>(input.c_str()), SQL_NTS, outMaxChars,
                            completion, 'W', trace,
                            [&](const std::string& text) { return ConnCopyOutW(text, out, outMaxChars, outLen); });
}

SQLRETURN ConnectCore(const ConnectTarget& target, const SQLCHAR* dsn, SQLSMALLINT dsnLen, const SQLCHAR* uid,
                      SQLSMALLINT uidLen, const SQLCHAR* pwd, SQLSMALLINT pwdLen, char mode,
                      std::vector<std::string>* trace) {
    if (target.connected(target.context)) {
        target.setLastError(target.context, kErrConnInUse);
        return SQL_ERROR;
    }
    std::string text, traced;
    int code = ConnConnectString(dsn, dsnLen, uid, uidLen, pwd, pwdLen, text, trace ? &traced : nullptr);
    if (code != 0) {
        target.setLastError(target.context, code);
        return SQL_ERROR;
    }
    if (trace) trace->push_back(traced);
    // Never prompts; nobody reads the output string of SQLConnect.
    return DriverConnectCore(target, nullptr, reinterpret_cast<const SQLCHAR*>(text.c_str()), SQL_NTS, nullptr, 0,
                             nullptr, SQL_DRIVER_NOPROMPT, mode, trace);
}

SQLRETURN ConnectCoreW(const ConnectTarget& target, const SQLWCHAR* dsn, SQLSMALLINT dsnLen, const SQLWCHAR* uid,
                       SQLSMALLINT uidLen, const SQLWCHAR* pwd, SQLSMALLINT pwdLen, std::vector<std::string>* trace) {
    if (target.connected(target.context)) {
        target.setLastError(target.context, kErrConnInUse);
        return SQL_ERROR;
    }
    std::string d, u, p;
    if (!WideInput(dsn, dsnLen, d) || !WideInput(uid, uidLen, u) || !WideInput(pwd, pwdLen, p)) {
        target.setLastError(target.context, kErrBadLength);
        return SQL_ERROR;
    }
    auto text = [](const std::string& s) { return reinterpret_cast<const SQLCHAR*>(s.c_str()); };
    std::string connstr, traced;
    ConnConnectString(text(d), SQL_NTS, text(u), SQL_NTS, text(p), SQL_NTS, connstr, trace ? &traced : nullptr);
    if (trace) trace->push_back(traced);
    return RunDriverConnect(target, nullptr, text(connstr), SQL_NTS, 0, SQL_DRIVER_NOPROMPT, 'W', trace,
                            [](const std::string&) { return 0; });
}

int LoginPrompt(void* window, const char* driver, const char* connstr, char mode, std::string& result) {
    result.clear();
    LoginFn login = nullptr;
    LoginFreeFn release = nullptr;
    {
        std::lock_guard<std::mutex> guard(g_login_lock);
        void* module = LoginModule();
        if (module) {
            login = reinterpret_cast<LoginFn>(dlsym(module, "KivLOGIN"));
            release = reinterpret_cast<LoginFreeFn>(dlsym(module, "KivLOGIN_Free"));
        }
    }
    if (!login || !release) return -1;  // no login library: the dialog itself failed
    char* text = nullptr;
    std::int32_t code = login(window, driver ? driver : "", connstr ? connstr : "", &text, mode);
    if (code == 1 && text) result = text;
    release(text);
    return code == 1 && text ? 1 : 0;
}

void LoginSetLibraryForTesting(const char* path) {
    std::lock_guard<std::mutex> guard(g_login_lock);
    if (g_login_module) dlclose(g_login_module);
    g_login_module = nullptr;
    g_login_path = path ? path : "";
}
