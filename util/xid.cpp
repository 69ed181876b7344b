#include "util/xid.h"

#include <cstring>

int XidCopy(XID* dest, const XID* src) {
    if (!dest || !src) return 0;
    if (src->gtrid_length < 0 || src->gtrid_length > MAXGTRIDSIZE || src->bqual_length < 0 ||
        src->bqual_length > MAXBQUALSIZE)
        return 0;
    dest->formatID = src->formatID;
    dest->gtrid_length = src->gtrid_length;
    dest->bqual_length = src->bqual_length;
    std::memcpy(dest->data, src->data, static_cast<size_t>(src->gtrid_length + src->bqual_length));
    return 1;
}
