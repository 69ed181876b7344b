#pragma once
// The gateway every exported ODBC function (but SQLCancel) goes through: readiness, handle
// look-up, busy marker, diagnostics reset, call serialisation, trace.
#include <sql.h>
#include <sqlext.h>

#include <cstddef>
#include <cstdint>
#include <tuple>
#include <type_traits>

#include "odbc/gateway_claim.h"
#include "odbc/handles.h"
#include "odbc/trace_link.h"

// One argument of an API call, kept with its kind so the trace formats it by type.
struct ApiArg {
    enum Kind : uint8_t { None, Int, UInt, Ptr } kind = None;
    union {
        int64_t i;
        uint64_t u;
        const void* p;
    };
    ApiArg() : u(0) {}
};

template <class T>
ApiArg MakeApiArg(T v) {
    ApiArg a;
    if constexpr (std::is_pointer_v<T>) {
        a.kind = ApiArg::Ptr;
        a.p = reinterpret_cast<const void*>(v);
    } else if constexpr (std::is_enum_v<T>) {
        a.kind = ApiArg::Int;
        a.i = static_cast<int64_t>(v);
    } else if constexpr (std::is_signed_v<T>) {
        static_assert(std::is_integral_v<T>);
        a.kind = ApiArg::Int;
        a.i = static_cast<int64_t>(v);
    } else {
        static_assert(std::is_integral_v<T>);
        a.kind = ApiArg::UInt;
        a.u = static_cast<uint64_t>(v);
    }
    return a;
}

// The arguments of one call as the trace sees them.
class ApiArgs {
public:
    ApiArgs(const ApiArg* a, unsigned n) : args_(a), count_(n) {}
    unsigned count() const { return count_; }
    const ApiArg& at(unsigned i) const {
        static const ApiArg none;
        return i < count_ ? args_[i] : none;
    }

private:
    const ApiArg* args_;
    unsigned count_;
};

enum ApiKind : uint32_t { kApiNone = 1, kApiEnv = 2, kApiConn = 3, kApiStmt = 4, kApiDesc = 5 };

// Whether an implementation writes narrow or wide text; passed last, never traced.
enum TextMode : char { kTextNarrow = 'A', kTextWide = 'W' };

// Whether `format` can trace the leading arguments of types P...: no more conversions than
// arguments, pointers only in hexadecimal or %p, the text mode never. Arguments past the last
// conversion are not traced.
template <class... P>
constexpr bool TraceFormatFits(const char* format) {
    enum Slot { Integer, Pointer, Untraced };
    constexpr Slot slots[] = {(std::is_pointer_v<P>          ? Pointer
                               : std::is_same_v<P, TextMode> ? Untraced
                                                             : Integer)...,
                              Untraced};
    if (!format) return false;
    unsigned next = 0;
    for (const char* p = format; *p; ++p) {
        if (*p != '%') continue;
        ++p;
        if (*p == '%') continue;
        while (*p == '-' || *p == '+' || *p == ' ' || *p == '#' || *p == '0') ++p;
        while (*p >= '0' && *p <= '9') ++p;
        while (*p == 'h' || *p == 'l' || *p == 'z' || *p == 'j' || *p == 't' || *p == 'L') ++p;
        const char conv = *p;
        if (!conv || next >= sizeof...(P)) return false;
        const Slot slot = slots[next++];
        switch (conv) {
            case 'd':
            case 'i':
            case 'u':
            case 'o':
            case 'c':
                if (slot != Integer) return false;
                break;
            case 'x':
            case 'X':
                if (slot == Untraced) return false;
                break;
            case 'p':
                if (slot != Pointer) return false;
                break;
            default:
                return false;
        }
    }
    return true;
}

// What every call record has, whatever its implementation takes.
struct ApiCallRecord {
    const char* name;    // without the "SQL" prefix
    const char* format;  // printf format of the arguments after the handle
    uint32_t reset;      // what it does with its diagnostics (gateway_claim.h)
    uint32_t kind;
};

// A call record with its typed implementation. record is null for kind 1, else the checked
// EnvRecord/ConnRecord/StmtRecord/DescRecord. A record whose trace format does not fit the
// implementation's arguments does not compile.
template <class... P>
struct ApiCall : ApiCallRecord {
    using Impl = SQLRETURN (*)(HandleBase* record, P...);
    Impl impl;
    consteval ApiCall(const char* n, const char* f, uint32_t r, uint32_t k, Impl i)
        : ApiCallRecord{n, f, r, k}, impl(i) {
        if (k < kApiNone || k > kApiDesc) throw "unknown handle kind";
        if (!TraceFormatFits<P...>(f)) throw "the trace format does not fit the implementation's arguments";
    }
    ApiCall(const char*, const char*, uint32_t, uint32_t, std::nullptr_t) = delete;
};

template <class F>
struct ApiCallForImpl;
template <class... P>
struct ApiCallForImpl<SQLRETURN (*)(HandleBase*, P...)> {
    using type = ApiCall<P...>;
};
// The record type that fits implementation F.
template <auto F>
using ApiCallOf = typename ApiCallForImpl<decltype(F)>::type;

// A handle value as the application passes it: a 32-bit number, or not one of ours.
inline bool HandleNumber(SQLHANDLE h, uint32_t* n) {
    uintptr_t v = reinterpret_cast<uintptr_t>(h);
    if constexpr (sizeof(uintptr_t) > 4) {
        if (v >> 32) return false;
    }
    *n = static_cast<uint32_t>(v);
    return true;
}
inline SQLHANDLE HandleValue(uint32_t n) { return reinterpret_cast<SQLHANDLE>(static_cast<uintptr_t>(n)); }

// Runs the gateway's checks for rec (readiness, handle, busy marker, diagnostics reset, locks,
// trace of the arguments), then body(call, record). The n arguments are put into a list for the
// trace by args(call, list) only while the trace is on.
using ApiBody = SQLRETURN (*)(const void* call, HandleBase* record);
using ApiArgList = void (*)(const void* call, ApiArg* list);
constexpr unsigned kApiArgsMax = 16;
SQLRETURN GatewayCall(const ApiCallRecord& rec, SQLHANDLE handle, unsigned n, ApiArgList args, ApiBody body,
                      const void* call);

// A statement call (kind 4) while the trace is off, as nearly every call per row is one: the
// checks of GatewayCall's, inline in the export around its implementation, body(record).
template <class Body>
[[gnu::always_inline]] inline SQLRETURN GatewayStatementCall(const ApiCallRecord& rec, SQLHANDLE handle, Body body) {
    if (!g_Ready.load()) return SQL_ERROR;
    uint32_t number = 0;
    const bool numeric = HandleNumber(handle, &number);
    ClaimedCall claimed;
    SQLRETURN refused;
    if (!ClaimStatement(rec.reset, numeric, number, TokenLockThisThread(), &claimed, &refused)) return refused;
    return ReleaseObject(rec.reset, kApiStmt, claimed, body(claimed.object));
}

// An argument the export passes fits the implementation's parameter without narrowing.
template <class To, class From>
concept ApiArgFits = requires(From f) {
    To{f};
};

// One call through the gateway: the export's arguments, the trace and the implementation's
// parameters are the same list.
template <class... P, class... A>
[[gnu::always_inline]] inline SQLRETURN CallODBC(const ApiCall<P...>& rec, SQLHANDLE handle, A... a) {
    static_assert(sizeof...(A) == sizeof...(P), "the call passes what the implementation takes");
    static_assert((ApiArgFits<P, A> && ...), "an argument does not fit the implementation's parameter");
    static_assert(sizeof...(P) <= kApiArgsMax, "more arguments than the trace keeps");
    if (rec.kind == kApiStmt && !GwTraceOn())
        return GatewayStatementCall(rec, handle, [&](HandleBase* record) { return rec.impl(record, a...); });
    // The arguments are kept once: the body, and the trace list while tracing, read them from `frame`.
    struct Frame {
        const ApiCall<P...>* rec;
        std::tuple<A...> args;
    } frame{&rec, {a...}};
    return GatewayCall(
        rec, handle, sizeof...(P),
        [](const void* call, [[maybe_unused]] ApiArg* list) {
            const auto& f = *static_cast<const Frame*>(call);
            std::apply(
                [&](const A&... v) {
                    [[maybe_unused]] unsigned i = 0;
                    ((list[i++] = MakeApiArg<P>(v)), ...);
                },
                f.args);
        },
        [](const void* call, HandleBase* record) {
            const auto& f = *static_cast<const Frame*>(call);
            return std::apply([&](const A&... v) { return f.rec->impl(record, v...); }, f.args);
        },
        &frame);
}

// CallODBC of a statement call whose implementation is inline in its export: Impl, the inline
// form of the record's implementation (which calls it), runs on the path without the trace.
template <auto Impl, class... P, class... A>
[[gnu::always_inline]] inline SQLRETURN CallODBCInline(const ApiCall<P...>& rec, SQLHANDLE handle, A... a) {
    static_assert(std::is_same_v<decltype(Impl), typename ApiCall<P...>::Impl>, "Impl takes the record's arguments");
    if (rec.kind == kApiStmt && !GwTraceOn())
        return GatewayStatementCall(
            rec, handle, [&](auto* record) __attribute__((always_inline)) { return Impl(record, a...); });
    return CallODBC(rec, handle, a...);
}

// Formats the trace line of a call's arguments; exposed for tests.
void FormatApiArgs(const char* format, const ApiArgs& args, char* out, size_t size);
const char* ReturnCodeName(int rc);

// SQLCancel's body: bypasses the gateway so another thread reaches a busy statement.
SQLRETURN CancelStatement(SQLHSTMT hstmt);

// The events the application's failover callback is told of.
enum FailoverEvent : int { kFailoverEventCompleted = 16, kFailoverEventAborted = 17 };
