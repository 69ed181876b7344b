// The XA interposer. It keeps its own copy of the table over the layer below; while no
// connection can take part in an XA transaction its copy reaches the lower operations directly.
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "drv_ingii/i-errtab.h"
#include "iiapi/iiapi.h"
#include "xa/xa_agent.h"

namespace {
std::mutex g_xaLock;
bool g_xaInstalled = false;
AgentFuncTable g_xaTable;
AgentLink g_xaLower;
bool g_dtcReady = false;
}  // namespace

struct XaBranchList {
  void** entries;
  uint32_t count;
};

uint32_t XaInterposeOpTable(AgentLink* link) {
  if (link == nullptr || link->word == 0 || link->table == nullptr) return kIngErrNotCapable;
  std::lock_guard<std::mutex> guard(g_xaLock);
  if (link->table == &g_xaTable) return 0;  // already laid over this link
  // Calls on other connections read the copy while a new connection installs: rewrite it only
  // when the layer below changed.
  if (!g_xaInstalled || std::memcmp(&g_xaTable, link->table, sizeof g_xaTable) != 0) g_xaTable = *link->table;
  if (!g_xaInstalled || g_xaLower.word != link->word || g_xaLower.table != link->table) g_xaLower = *link;
  g_xaInstalled = true;
  link->table = &g_xaTable;
  return 0;
}

const AgentFuncTable* XaLayerTable() {
  std::lock_guard<std::mutex> guard(g_xaLock);
  return g_xaInstalled ? &g_xaTable : nullptr;
}

int XaHolderAssociated(const XaConnHolder* holder) { return holder != nullptr && holder->associated != 0; }

XaBranchList* XaBranchListCreate() {
  return static_cast<XaBranchList*>(std::calloc(1, sizeof(XaBranchList)));
}

void XaBranchListFree(XaBranchList* list) {
  if (list == nullptr) return;
  for (uint32_t i = 0; i < list->count; ++i) XaBranchRelease(list->entries[i]);
  std::free(list->entries);
  std::free(list);
}

uint32_t XaBranchRelease(void* entry) {
  (void)entry;
  return 0;
}

void XaThreadCleanup() {}

uint32_t IIRegisterXid(const XID* xid, void** tranIdHandle) {
  if (xid == nullptr || tranIdHandle == nullptr) return kIngErrGeneral;
  if (xid->gtrid_length < 0 || xid->bqual_length < 0 || xid->gtrid_length > MAXGTRIDSIZE ||
      xid->bqual_length > MAXBQUALSIZE)
    return kIngErrGeneral;
  IIAPI_REGXIDPARM rg{};
  rg.rg_tranID.ti_type = IIAPI_TI_XAXID;
  rg.rg_tranID.ti_value.xaXID.xa_formatID = II_LONG(xid->formatID);
  rg.rg_tranID.ti_value.xaXID.xa_gtridLength = II_LONG(xid->gtrid_length);
  rg.rg_tranID.ti_value.xaXID.xa_bqualLength = II_LONG(xid->bqual_length);
  std::memcpy(rg.rg_tranID.ti_value.xaXID.xa_data, xid->data, size_t(xid->gtrid_length + xid->bqual_length));
  IIapi_registerXID(&rg);
  if (rg.rg_status == IIAPI_ST_OUT_OF_MEMORY) return kIngErrNoMemory;
  if (rg.rg_status != IIAPI_ST_SUCCESS) return kIngErrGeneral;
  *tranIdHandle = rg.rg_tranIdHandle;
  return 0;
}

uint32_t IIReleaseXid(const XID*, void** tranIdHandle) {
  if (tranIdHandle == nullptr) return kIngErrGeneral;
  IIAPI_RELXIDPARM rl{};
  rl.rl_tranIdHandle = *tranIdHandle;
  IIapi_releaseXID(&rl);
  if (rl.rl_status != IIAPI_ST_SUCCESS) return kIngErrGeneral;
  *tranIdHandle = nullptr;
  return 0;
}

int IngXaOpen(uint32_t, const char*, int, long) { return XAER_RMERR; }
int IngXaClose(uint32_t, const char*, int, long) { return XAER_RMERR; }
int IngXaStart(uint32_t, XID*, int, long) { return XAER_RMERR; }
int IngXaEnd(uint32_t, XID*, int, long) { return XAER_RMERR; }
int IngXaPrepare(uint32_t, XID*, int, long) { return XAER_RMERR; }
int IngXaCommit(uint32_t, XID*, int, long) { return XAER_RMERR; }
int IngXaRollback(uint32_t, XID*, int, long) { return XAER_RMERR; }
int IngXaRecover(uint32_t, XID*, long, int, long) { return XAER_RMERR; }
int IngXaForget(uint32_t) { return XAER_RMERR; }
int IngXaComplete(uint32_t) { return XAER_RMERR; }

int DtcInit() {
  std::lock_guard<std::mutex> guard(g_xaLock);
  g_dtcReady = true;
  return 0;
}

COdbcResourceDispenser* DispenserCreate(void*, uint32_t, uint32_t, const AgentLink*, void*, void*, const char*) {
  return nullptr;
}

int DispenserRelease(COdbcResourceDispenser* d) { return d == nullptr ? -1 : 0; }
int DispenserRMConnect(COdbcResourceDispenser*) { return -1; }
int DispenserRMEnlist(COdbcResourceDispenser*) { return -1; }

int IngXaShutdown() {
  std::lock_guard<std::mutex> guard(g_xaLock);
  g_dtcReady = false;
  return 1;
}
