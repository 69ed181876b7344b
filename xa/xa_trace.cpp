#include "xa/xa_trace.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <mutex>
#include <string>

#include "util/trace.h"

std::atomic<long> CObjCounter::live_{0};

namespace {
std::atomic<bool> g_oleOn{false};
bool g_oleTookStream = false;
std::mutex g_oleTraceLock;  // OleTraceLock
thread_local int t_depth = 0;

struct Named {
    long code;
    const char* name;
};

const Named kXaNames[] = {
    {-9, "XAER_OUTSIDE"},   {-8, "XAER_DUPID"},     {-7, "XAER_RMFAIL"},     {-6, "XAER_PROTO"},
    {-5, "XAER_INVAL"},     {-4, "XAER_NOTA"},      {-3, "XAER_RMERR"},      {-2, "XAER_ASYNC"},
    {0, "XA_OK"},           {3, "XA_RDONLY"},       {4, "XA_RETRY"},         {5, "XA_HEURMIX"},
    {6, "XA_HEURRB"},       {7, "XA_HEURCOM"},      {8, "XA_HEURHAZ"},       {9, "XA_NOMIGRATE"},
    {100, "XA_RBROLLBACK"}, {101, "XA_RBCOMMFAIL"}, {102, "XA_RBDEADLOCK"},  {103, "XA_RBINTEGRITY"},
    {105, "XA_RBPROTO"},    {106, "XA_RBTIMEOUT"},  {107, "XA_RBTRANSIENT"},
};

const Named kHresultNames[] = {
    {0x00000000, "S_OK"},
    {0x0004D000, "XACT_S_ASYNC"},
    {0x0004D002, "XACT_S_READONLY"},
    {0x0004D008, "XACT_S_ABORTING"},
    {0x0004D009, "XACT_S_SINGLEPHASE"},
    {0x80004001, "E_NOTIMPL"},
    {0x80004002, "E_NOINTERFACE"},
    {0x80004004, "E_ABORT"},
    {0x80004005, "E_FAIL"},
    {0x8000FFFF, "E_UNEXPECTED"},
    {0x80044002, "E_KIV_DSN2HNDL_FAIL"},
    {0x8004D001, "XACT_E_CANTRETAIN"},
    {0x8004D002, "XACT_E_COMMITFAILED"},
    {0x8004D008, "XACT_E_ISOLATIONLEVEL"},
    {0x8004D00B, "XACT_E_NOISORETAIN"},
    {0x8004D00E, "XACT_E_NOTRANSACTION"},
    {0x8004D00F, "XACT_E_NOTSUPPORTED"},
    {0x8004D013, "XACT_E_XTIONEXISTS"},
    {0x8004D016, "XACT_E_INDOUBT"},
    {0x8004D017, "XACT_E_NOTIMEOUT"},
    {0x8004D018, "XACT_E_ALREADYINPROGRESS"},
    {0x8004D019, "XACT_E_ABORTED"},
    {0x8004D01A, "XACT_E_LOGFULL"},
    {0x8004D01B, "XACT_E_TMNOTAVAILABLE"},
    {0x8004D01C, "XACT_E_CONNECTION_DOWN"},
    {0x8004D01D, "XACT_E_CONNECTION_DENIED"},
    {0x8004D103, "XACT_E_NOTSINGLEPHASE"},
    {0x8007000E, "E_OUTOFMEMORY"},
    {0x80070057, "E_INVALIDARG"},
};

// Writes one OLE trace line; the newline its format carries is the stream's own.
void WriteOle(const char* prefix, const char* text) {
    std::string line = std::string(prefix) + text;
    if (!line.empty() && line.back() == '\n') line.pop_back();
    std::lock_guard<std::mutex> guard(g_oleTraceLock);
    XaTracePrint(0, "%s", line.c_str());
}
}  // namespace

const char* XaCodeName(int code) {
    for (const Named& n : kXaNames)
        if (n.code == code) return n.name;
    return "Unknown";
}

const char* HresultName(HRESULT value) {
    const long v = long(uint32_t(value));
    for (const Named& n : kHresultNames)
        if (n.code == v) return n.name;
    return "Unknown!";
}

void IidName(char* out, size_t size, const IID& iid) {
    if (!out || size == 0) return;
    if (iid == IID_IUnknown) {
        std::snprintf(out, size, "IID_IUnknown");
        return;
    }
    // No registry of interface names here: the braced form stays.
    std::snprintf(out, size, "{%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  static_cast<unsigned long>(iid.Data1), unsigned(iid.Data2), unsigned(iid.Data3),
                  unsigned(iid.Data4[0]), unsigned(iid.Data4[1]), unsigned(iid.Data4[2]), unsigned(iid.Data4[3]),
                  unsigned(iid.Data4[4]), unsigned(iid.Data4[5]), unsigned(iid.Data4[6]), unsigned(iid.Data4[7]));
}

void OleTraceOpen() {
    if (!DebugStreamOpen(1)) {
        DebugOpen(1);
        if (!DebugStreamOpen(1)) return;
    }
    g_oleTookStream = true;
    g_oleOn.store(true);
    WriteOle("", "** Corvanta OLE Transactions Interface: Trace file **\n");
    char when[128];
    std::time_t now = std::time(nullptr);
    std::tm tmv{};
    localtime_r(&now, &tmv);
    std::strftime(when, sizeof when, "** Started on %a %b %d, %H:%M **", &tmv);
    WriteOle("", when);
    WriteOle("", "");
}

void OleTraceClose() {
    if (!g_oleTookStream) return;
    g_oleOn.store(false);
    g_oleTookStream = false;
    DebugClose(1);
}

bool OleTraceOn() { return g_oleOn.load() && DebugStreamOpen(1); }

void OleTraceSetDepth(int depth) { t_depth = depth < 0 ? 0 : depth; }

void OleTracePrint(const char* format, ...) {
    if (!OleTraceOn() || !format || t_depth > 30) return;
    char text[2049];
    va_list ap;
    va_start(ap, format);
    std::vsnprintf(text, sizeof text, format, ap);
    va_end(ap);
    char prefix[96];
    std::snprintf(prefix, sizeof prefix, "[%ld] %*s", TraceThreadId(), 2 * t_depth, "");
    WriteOle(prefix, text);
}

void OleTracePrintPlain(const char* format, ...) {
    if (!OleTraceOn() || !format || t_depth > 30) return;
    char text[2049];
    va_list ap;
    va_start(ap, format);
    std::vsnprintf(text, sizeof text, format, ap);
    va_end(ap);
    WriteOle("> ", text);
}

HRESULT OleTraceResult(HRESULT value) {
    if (value >= 0)
        OleTracePrint("Call success    : Returned HRESULT: %#.8lx(%s)\n", static_cast<unsigned long>(uint32_t(value)),
                      HresultName(value));
    else
        OleTracePrint("Call failure >>>: Returned HRESULT: %#.8lx(%s)\n", static_cast<unsigned long>(uint32_t(value)),
                      HresultName(value));
    return value;
}

unsigned long OleTraceCount(unsigned long count) {
    OleTracePrint("Call returned: %lu\n", count);
    return count;
}

void CObjCounter::Raise(uint32_t) { ++live_; }
void CObjCounter::Lower(uint32_t) { --live_; }
long CObjCounter::Count() { return live_.load(); }
const char* CObjCounter::TypeName(uint32_t type) {
    return type == kResourceDispenser ? "Resource Dispenser" : "Unknown";
}
void CObjCounter::DumpObjCounts() {
    OleTracePrint("CObjCounter::DumpObjCounts:\n");
    OleTracePrint("  %s: %ld\n", TypeName(kResourceDispenser), Count());
}
