// XA identifiers and xa_info texts: the branch text the driver sends and reads back at
// recovery, the engine's parse of it, the XID copy, the DSN of an xa_info string, and the file
// of a prepared branch as a damaged disk may leave it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "iiapi/internal.h"
#include "util/xid.h"
#include "xa/xa_agent.h"
#include "odbc/xa_switch.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 2048) return 0;
    std::string text(reinterpret_cast<const char*>(data), size);
    const char* s = text.c_str();

    char dsn[256];
    for (size_t room : {size_t(1), size_t(8), sizeof dsn})
        if (XaInfoDsn(s, dsn, room) && std::strlen(dsn) >= room) std::abort();

    // Whatever the text, a parsed identifier has lengths the XID allows and prints again.
    XID x;
    if (XidFromText(s, &x)) {
        if (x.gtrid_length < 0 || x.gtrid_length > MAXGTRIDSIZE || x.bqual_length < 0 || x.bqual_length > MAXBQUALSIZE)
            std::abort();
        char back[1024];
        if (!XidToText(&x, back, sizeof back)) std::abort();
    }
    std::string key, branch;
    (void)iiapi::xaKeyFromText(text, key, branch);

    // A branch's file read back: whatever the bytes, a record that decodes encodes to them again.
    iiapi::XaRecord record;
    if (iiapi::xaDecodeRecord(text, record) && iiapi::xaEncodeRecord(record) != text) std::abort();

    // The input's bytes as an identifier: one the engine and the driver both accept survives
    // the trip through the branch text recovery reads.
    XID raw{};
    if (size) std::memcpy(&raw, data, size < sizeof raw ? size : sizeof raw);
    XID copy;
    if (!XidCopy(&copy, &raw)) return 0;
    if (raw.gtrid_length < 1) return 0;  // the engine needs a global transaction id
    char out[1024];
    if (!XidToText(&raw, out, sizeof out)) std::abort();
    std::string quoted(out);
    if (quoted.size() < 2 || quoted.front() != '\'' || quoted.back() != '\'') std::abort();
    if (!iiapi::xaKeyFromText(quoted, key, branch)) std::abort();
    XID again;
    if (!XidFromText(branch.c_str(), &again)) std::abort();
    if (again.formatID != long(int32_t(uint32_t(raw.formatID))) || again.gtrid_length != raw.gtrid_length ||
        again.bqual_length != raw.bqual_length ||
        std::memcmp(again.data, raw.data, size_t(raw.gtrid_length + raw.bqual_length)) != 0)
        std::abort();
    return 0;
}
