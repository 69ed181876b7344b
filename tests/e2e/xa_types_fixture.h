#pragma once
// The X/Open transaction identifier and switch as the XA standard lays them out, for the tests
// that load a library as a transaction manager does and drive its switch.
#include <cstring>
#include <string>

namespace xatypes {

struct Xid {
    long formatID;
    long gtrid_length;
    long bqual_length;
    char data[128];
};

struct XaSwitch {
    char name[32];
    long flags;
    long version;
    int (*open)(char*, int, long);
    int (*close)(char*, int, long);
    int (*start)(Xid*, int, long);
    int (*end)(Xid*, int, long);
    int (*rollback)(Xid*, int, long);
    int (*prepare)(Xid*, int, long);
    int (*commit)(Xid*, int, long);
    int (*recover)(Xid*, long, int, long);
    int (*forget)(Xid*, int, long);
    int (*complete)(int*, int*, int, long);
};

constexpr long kTmSuccess = 0x04000000L, kTmOnePhase = 0x40000000L, kTmStartScan = 0x01000000L,
               kTmEndScan = 0x00800000L;
constexpr int kXaOk = 0, kXaNota = -4;

inline Xid MakeXid(const std::string& gtrid, const std::string& bqual, long format = 0x5456) {
    Xid x{};
    x.formatID = format;
    x.gtrid_length = long(gtrid.size());
    x.bqual_length = long(bqual.size());
    std::memcpy(x.data, gtrid.data(), gtrid.size());
    std::memcpy(x.data + gtrid.size(), bqual.data(), bqual.size());
    return x;
}

inline bool SameXid(const Xid& a, const Xid& b) {
    return a.formatID == b.formatID && a.gtrid_length == b.gtrid_length && a.bqual_length == b.bqual_length &&
           std::memcmp(a.data, b.data, size_t(a.gtrid_length + a.bqual_length)) == 0;
}

}  // namespace xatypes
