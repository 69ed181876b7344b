#pragma once
// What start-up and shut-down call in the trace and the distributed-transaction layer.
#include <cstdint>

struct xa_switch_t;

void StartupOpenTrace();
void StartupCloseTrace();

int DtcInit();
int32_t DtcGetXaSwitch(xa_switch_t** out);
extern "C" xa_switch_t* kiv_xa_switch();
int IngXaShutdown();
