#pragma once
// What start-up and shut-down call in the trace and the distributed-transaction layer. The
// XA pieces are weak so the driver links before that layer exists; it stops being optional
// once the layer is in.
#include <cstdint>

struct xa_switch_t;

void StartupOpenTrace();
void StartupCloseTrace();

int DtcInit() __attribute__((weak));
extern "C" xa_switch_t* kiv_xa_switch();
int IngXaShutdown() __attribute__((weak));
