#pragma once
// The gateway every exported ODBC function (but SQLCancel) goes through: readiness, handle
// look-up, busy marker, diagnostics reset, call serialisation, trace.
#include <sql.h>
#include <sqlext.h>

#include <cstdint>
#include <type_traits>

#include "odbc/handles.h"

// One argument of an API call, kept with its kind so the trace and the implementation read
// it by type instead of re-walking a va_list.
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

// The argument list an implementation reads in order. A read past the end, or of the wrong
// kind, yields zero (null) rather than garbage.
class ApiArgs {
public:
    ApiArgs(const ApiArg* a, unsigned n) : args_(a), count_(n) {}
    unsigned count() const { return count_; }
    unsigned position() const { return pos_; }
    const ApiArg& at(unsigned i) const {
        static const ApiArg none;
        return i < count_ ? args_[i] : none;
    }
    template <class T>
    T get(unsigned i) const {
        const ApiArg& a = at(i);
        if constexpr (std::is_pointer_v<T>) {
            return a.kind == ApiArg::Ptr ? reinterpret_cast<T>(const_cast<void*>(a.p)) : nullptr;
        } else {
            if (a.kind == ApiArg::Int) return static_cast<T>(a.i);
            if (a.kind == ApiArg::UInt) return static_cast<T>(a.u);
            return T{};
        }
    }
    template <class T>
    T next() {
        return get<T>(pos_++);
    }
    // The mode character ('W' or 'A') that text-writing implementations receive last.
    char mode() const { return count_ ? static_cast<char>(get<int>(count_ - 1)) : 'A'; }

private:
    const ApiArg* args_;
    unsigned count_;
    unsigned pos_ = 0;
};

enum ApiKind : uint32_t { kApiNone = 1, kApiEnv = 2, kApiConn = 3, kApiStmt = 4, kApiDesc = 5 };

// record is null for kind 1, else the checked EnvRecord/ConnRecord/StmtRecord/DescRecord.
using ApiImpl = SQLRETURN (*)(HandleBase* record, ApiArgs& args);

struct ApiCallRecord {
    const char* name;    // without the "SQL" prefix
    const char* format;  // printf format of the arguments after the handle
    uint32_t reset;      // 1: clear diagnostics before the call and allow failover notification
    uint32_t kind;
    ApiImpl impl;
};

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

SQLRETURN CallODBCArgs(const ApiCallRecord& rec, SQLHANDLE handle, const ApiArg* args, unsigned n);

template <class... A>
SQLRETURN CallODBC(const ApiCallRecord& rec, SQLHANDLE handle, A... a) {
    ApiArg list[] = {MakeApiArg(a)..., ApiArg()};
    return CallODBCArgs(rec, handle, list, sizeof...(A));
}

// Formats the trace line of a call's arguments; exposed for tests.
void FormatApiArgs(const char* format, const ApiArgs& args, char* out, size_t size);
const char* ReturnCodeName(int rc);

// SQLCancel's body: bypasses the gateway so another thread reaches a busy statement.
SQLRETURN CancelStatement(SQLHSTMT hstmt);

// Failover notification after a failing call (kind 3, 4 or 5).
SQLRETURN FailoverNotify(SQLRETURN rc, ConnRecord* conn, uint32_t kind);
