#pragma once
// Descriptor records: creation and release, the record list, and carrying an application
// descriptor's settings over to a statement.
#include "odbc/handles.h"
#include "odbc/param.h"

// Descriptor types as kept in DescRecord::descType (0 for one the application allocated).
enum : uint32_t { kDescUser = 0, kDescIRD = 1, kDescARD = 2, kDescIPD = 3, kDescAPD = 4 };

// A registered descriptor: allocKind SQL_DESC_ALLOC_AUTO (owned by stmt) or SQL_DESC_ALLOC_USER (owned by conn),
// with its header defaults and record 0. Null with the code in *code when it cannot be made.
DescRecord* DescCreate(ConnRecord* conn, StmtRecord* stmt, uint32_t descType, uint32_t allocKind, uint32_t* code);
// An allocated descriptor first gives every statement of its connection that uses it back its
// own ARD or APD (re-applied); then the records, diagnostics and handle go.
void DescFree(DescRecord* desc);

inline bool DescIsUser(const DescRecord* d) { return d->allocKind == SQL_DESC_ALLOC_USER; }
inline bool DescIsApp(const DescRecord* d) {
    return d->allocKind == SQL_DESC_ALLOC_USER || d->descType == kDescARD || d->descType == kDescAPD;
}
inline bool DescIsImpl(const DescRecord* d) {
    return d->allocKind != SQL_DESC_ALLOC_USER && (d->descType == kDescIRD || d->descType == kDescIPD);
}
// The name a descriptor has in trace lines.
const char* DescTraceName(const DescRecord* d);

uint16_t DescItemCount(const DescRecord* d);
void DescItemDefaults(const DescRecord* d, DescItem* item);
// Clears the record's three application pointers and frees its name.
void DescItemUnbind(DescItem* item);
// Keeps records 0..n; later ones are unbound and reset. The caller sets the count.
void DescTruncate(DescRecord* d, uint16_t n);

// The statements attached to an allocated descriptor are those of its connection whose current
// ARD or APD it is; the caller holds the connection's call lock.
uint32_t DescApplyARD(StmtRecord* stmt, DescRecord* desc);
uint32_t DescApplyAPD(StmtRecord* stmt, DescRecord* desc);
// Whether a parameter of this SQL type (verbose for datetimes and intervals) takes its column
// size from the IPD record's length; the other types take it from the precision.
bool DescLengthIsColumnSize(int16_t sqlType);
// Binds APD record n of stmt as parameter n from the APD and IPD records: 0 or -1 (row in the
// statement's last error).
SQLRETURN DescBindParamRecord(StmtRecord* stmt, DescRecord* apd, uint16_t n);
