// The XA trace (switch calls and results) and the OLE-transactions trace (calls of the DTC
// objects): both write to stream 1 of the debug trace. Also the names of XA codes, HRESULTs and
// interface ids those lines print, and the count of live DTC objects.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "platform/dtc.h"

const char* XaCodeName(int code);        // "Unknown" for a code without a name
const char* HresultName(HRESULT value);  // "Unknown!" likewise
// "IID_IUnknown", else the braced hexadecimal form of the id.
void IidName(char* out, size_t size, const IID& iid);

void OleTraceOpen();
void OleTraceClose();
bool OleTraceOn();
// "[tid] " and the thread's indentation before the text; the text carries its own newline.
void OleTracePrint(const char* format, ...) __attribute__((format(printf, 1, 2)));
void OleTracePrintPlain(const char* format, ...) __attribute__((format(printf, 1, 2)));
// The result line; returns the value.
HRESULT OleTraceResult(HRESULT value);
unsigned long OleTraceCount(unsigned long count);
// Per-thread nesting depth of the OLE trace (the indentation is twice the depth).
void OleTraceSetDepth(int depth);

class CObjCounter {
public:
    enum : uint32_t { kResourceDispenser = 1 };
    static void Raise(uint32_t type);
    static void Lower(uint32_t type);
    static long Count();
    static const char* TypeName(uint32_t type);  // "Resource Dispenser" or "Unknown"
    static void DumpObjCounts();

private:
    static std::atomic<long> live_;
};
