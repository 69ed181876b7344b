// Handles, messages, the environment calls and the engine's settings.
#include "iiapi/internal.h"
#include "iiapi/registry.h"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

namespace iiapi {

namespace registry {
Shard gShards[kShards];
}  // namespace registry

using namespace registry;

namespace {

II_PTR handleOf(Kind kind, uint32_t generation, uint32_t shard, uint32_t index) {
    return reinterpret_cast<II_PTR>((uintptr_t(kind) << kKindShift) | (uintptr_t(generation) << kIndexBits) |
                                    (uintptr_t(shard) << kSlotBits) | index);
}

// The shard the next session (or environment, or transaction id) takes.
alignas(64) std::atomic<uint32_t> gNextShard{0};

// The objects still registered when the library's objects are destroyed go then, as they always
// did; whatever looks a handle up after finds an empty table.
struct RegistryReaper {
    ~RegistryReaper() {
        for (Shard& shard : gShards) {
            Slot* gone;
            {
                std::lock_guard<QuickMutex> lk(shard.mutex);
                gone = shard.table;
                shard.table = nullptr;
                shard.size = shard.room = shard.freeSlot = 0;
            }
            delete[] gone;
        }
    }
} gReaper;

std::mutex gSettingsMutex;
std::map<int, std::string> gControl;

}  // namespace

Fault makeFault(std::string sqlstate, int32_t nat, std::string text) {
    return Fault{std::move(sqlstate), nat, std::move(text)};
}

void Object::clearListedMessages() {
    std::lock_guard<std::mutex> lk(msgMutex);
    messages.clear();
    nextMessage = 0;
    hasMessages.store(false, std::memory_order_release);
}

void Object::addMessage(const Fault& f, int32_t type) {
    std::lock_guard<std::mutex> lk(msgMutex);
    Message m;
    m.sqlstate = f.sqlstate.size() == 5 ? f.sqlstate : std::string("HY000");
    m.native = f.native;
    // The text goes out as the server has it, in UTF-8 (names and literals the statement quoted
    // included); only what is no character, and control characters, become '?'.
    const std::u16string wide = utf8ToUtf16(f.text);
    m.text = utf16ToUtf8(wide.data(), wide.size());
    for (char& ch : m.text)
        if (static_cast<unsigned char>(ch) < 0x20 || ch == 0x7F) ch = '?';
    m.type = type;
    messages.push_back(std::move(m));
    hasMessages.store(true, std::memory_order_release);
}

II_PTR registerObject(std::shared_ptr<Object> obj, II_PTR beside) {
    const uint32_t n = beside ? shardOf(beside) : gNextShard.fetch_add(1, std::memory_order_relaxed) % kShards;
    Shard& shard = gShards[n];
    std::lock_guard<QuickMutex> lk(shard.mutex);
    uint32_t index;
    if (shard.freeSlot != 0) {
        index = shard.freeSlot - 1;
        shard.freeSlot = shard.table[index].nextFree;
    } else {
        if (shard.size == shard.room) {
            if (shard.room >= kShardRoom) throw std::bad_alloc();
            const uint32_t room = shard.room ? shard.room * 2 : 16;
            Slot* grown = new Slot[room];
            for (uint32_t i = 0; i < shard.size; ++i) grown[i] = std::move(shard.table[i]);
            delete[] shard.table;
            shard.table = grown;
            shard.room = room;
        }
        index = shard.size++;
    }
    Slot& slot = shard.table[index];
    const II_PTR h = handleOf(obj->kind, slot.generation, n, index);
    obj->handle = h;
    slot.obj = std::move(obj);
    slot.nextFree = 0;
    return h;
}

bool retireObject(Object& obj) {
    Shard& shard = gShards[shardOf(obj.handle)];
    std::lock_guard<QuickMutex> lk(shard.mutex);
    Slot* slot = slotOf(shard, obj.handle);
    if (!slot || slot->obj.use_count() != 1) return false;
    ++slot->generation;
    obj.retired = obj.handle;
    obj.handle = nullptr;
    return true;
}

II_PTR renewObject(Object& obj) {
    const uint32_t n = shardOf(obj.retired);
    Shard& shard = gShards[n];
    const uint32_t index = uint32_t(reinterpret_cast<uintptr_t>(obj.retired) & kSlotMask);
    std::lock_guard<QuickMutex> lk(shard.mutex);
    obj.handle = handleOf(obj.kind, shard.table[index].generation, n, index);
    obj.retired = nullptr;
    return obj.handle;
}

std::shared_ptr<Object> unregisterRetired(Object& obj) {
    Shard& shard = gShards[shardOf(obj.retired)];
    std::lock_guard<QuickMutex> lk(shard.mutex);
    const uint32_t index = uint32_t(reinterpret_cast<uintptr_t>(obj.retired) & kSlotMask);
    Slot& slot = shard.table[index];
    obj.retired = nullptr;
    slot.nextFree = shard.freeSlot;
    shard.freeSlot = index + 1;
    return std::move(slot.obj);  // destroyed by the caller, outside the lock
}

std::shared_ptr<Object> unregisterObject(II_PTR handle) {
    std::shared_ptr<Object> keep;  // destroyed outside the lock
    Shard& shard = gShards[shardOf(handle)];
    {
        std::lock_guard<QuickMutex> lk(shard.mutex);
        Slot* slot = slotOf(shard, handle);
        if (!slot) return keep;
        keep = std::move(slot->obj);
        // A call still waiting for the session with it in hand must find it gone (HeldCall).
        keep->handle = nullptr;
        ++slot->generation;
        slot->nextFree = shard.freeSlot;
        shard.freeSlot = uint32_t(slot - shard.table) + 1;
    }
    return keep;
}

std::shared_ptr<Object> findObject(II_PTR handle) {
    if (!handle) return nullptr;
    Shard& shard = gShards[shardOf(handle)];
    std::lock_guard<QuickMutex> lk(shard.mutex);
    Slot* slot = slotOf(shard, handle);
    return slot ? slot->obj : nullptr;
}

// Read by every call (its first check): on a cache line no other word shares.
alignas(64) std::atomic<int> gInitCount{0};

// ---- Settings ------------------------------------------------------------------------------

namespace {

std::string setting(int id, const char* var, const char* dflt) {
    {
        std::lock_guard<std::mutex> lk(gSettingsMutex);
        auto it = gControl.find(id);
        if (it != gControl.end()) return it->second;
    }
    const char* v = std::getenv(var);
    return v && *v ? std::string(v) : std::string(dflt);
}

}  // namespace

ServerSettings currentSettings() {
    ServerSettings s;
    s.version = setting(IIENGINE_VERSION, "II_ENGINE_VERSION", "II 10.2.0 (a64.lnx/100)");
    s.apiLevel = std::atoi(setting(IIENGINE_API_LEVEL, "II_ENGINE_API_LEVEL", "5").c_str());
    s.charset = setting(IIENGINE_CHARSET, "II_ENGINE_CHARSET", "UTF8");
    s.unicodeLevel = setting(IIENGINE_UNICODE_LEVEL, "II_ENGINE_UNICODE_LEVEL", "1");
    std::string ob = setting(IIENGINE_ORDER_BY, "II_ENGINE_ORDER_BY", "relaxed");
    s.strictOrderBy = ob == "strict" || ob == "STRICT";
    s.busyTimeoutMs = std::atoi(setting(IIENGINE_BUSY_TIMEOUT, "II_ENGINE_BUSY_TIMEOUT", "5000").c_str());
    if (s.busyTimeoutMs < 0) s.busyTimeoutMs = 0;
    return s;
}

std::string dataDirectory() {
    const char* d = std::getenv("II_DATABASE_DIR");
    if (d && *d) return d;
    const char* home = std::getenv("HOME");
    if (home && *home) return std::string(home) + "/.iiapi/data";
    return "/tmp/iiapi-" + std::to_string(getuid());
}

bool databasePath(std::string_view target, std::string& path, std::string& dbname) {
    std::string_view t = target;
    size_t node = t.find("::");
    if (node != std::string_view::npos) t = t.substr(node + 2);
    while (!t.empty() && t.front() == ' ') t.remove_prefix(1);
    while (!t.empty() && t.back() == ' ') t.remove_suffix(1);
    // "name/server_class": the class names the server, and there is one here.
    if (size_t slash = t.find('/'); slash != std::string_view::npos) t = t.substr(0, slash);
    // A database is a name in the data directory, never a path: no file elsewhere is opened.
    if (t.empty() || t.front() == '.' || t.front() == '-') return false;
    for (char ch : t) {
        bool ok = (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z') || (ch >= '0' && ch <= '9') || ch == '_' ||
                  ch == '-' || ch == '$' || ch == '#' || ch == '@';
        if (!ok) return false;
    }
    dbname = std::string(t);
    path = dataDirectory() + "/" + dbname + ".db";
    return true;
}

void putMessage(char* buf, size_t buflen, const std::string& m) {
    if (!buf || !buflen) return;
    size_t n = std::min(m.size(), buflen - 1);
    std::memcpy(buf, m.data(), n);
    buf[n] = 0;
}

}  // namespace iiapi

using namespace iiapi;

extern "C" {

void IIapi_initialize(IIAPI_INITPARM* p) {
    if (!p) return;
    p->in_envHandle = nullptr;
    if (p->in_version < IIAPI_VERSION_1 || p->in_version > IIAPI_VERSION_8) {
        p->in_status = IIAPI_ST_FAILURE;
        return;
    }
    // SQLite's memory statistics take one mutex of the whole process around every allocation and
    // free of every connection (and free under it): sessions on different threads would wait
    // for each other several times a row, as no server's sessions do. They can be turned off only
    // before SQLite starts; an application that started or configured SQLite first keeps what
    // it set.
    static std::once_flag statisticsOff;
    std::call_once(statisticsOff, [] { sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0); });
    gInitCount.fetch_add(1, std::memory_order_acq_rel);
    if (p->in_version >= 2) {
        auto env = std::make_shared<Env>();
        env->version = p->in_version;
        p->in_envHandle = registerObject(env);
    }
    p->in_status = IIAPI_ST_SUCCESS;
}

void IIapi_setEnvParam(IIAPI_SETENVPRMPARM* p) {
    if (!p) return;
    if (!initialized()) {
        p->se_status = IIAPI_ST_NOT_INITIALIZED;
        return;
    }
    auto env = findAs<Env>(p->se_envHandle, Kind::Env);
    if (!env) {
        p->se_status = IIAPI_ST_INVALID_HANDLE;
        return;
    }
    if (p->se_paramID == IIAPI_EP_MAX_SEGMENT_LEN) {
        if (!p->se_paramValue) {
            p->se_status = IIAPI_ST_FAILURE;
            return;
        }
        II_LONG v;
        std::memcpy(&v, p->se_paramValue, sizeof v);
        // A segment travels behind a u16 length, so it must fit one.
        if (v < 16 || v > 65535) {
            p->se_status = IIAPI_ST_FAILURE;
            return;
        }
        env->maxSegment = v;
        p->se_status = IIAPI_ST_SUCCESS;
        return;
    }
    // Other environment parameters of the interface do not change this engine.
    p->se_status = IIAPI_ST_SUCCESS;
}

void IIapi_releaseEnv(IIAPI_RELENVPARM* p) {
    if (!p) return;
    if (!initialized()) {
        p->re_status = IIAPI_ST_NOT_INITIALIZED;
        return;
    }
    auto env = findAs<Env>(p->re_envHandle, Kind::Env);
    if (!env) {
        p->re_status = IIAPI_ST_INVALID_HANDLE;
        return;
    }
    unregisterObject(p->re_envHandle);
    p->re_status = IIAPI_ST_SUCCESS;
}

void IIapi_terminate(IIAPI_TERMPARM* p) {
    if (!p) return;
    int count = gInitCount.load(std::memory_order_acquire);
    do {
        if (count <= 0) {
            p->tm_status = IIAPI_ST_NOT_INITIALIZED;
            return;
        }
    } while (!gInitCount.compare_exchange_weak(count, count - 1, std::memory_order_acq_rel));
    p->tm_status = IIAPI_ST_SUCCESS;
}

void IIapi_wait(IIAPI_WAITPARM* p) {
    if (!p) return;
    p->wt_status = initialized() ? IIAPI_ST_SUCCESS : IIAPI_ST_NOT_INITIALIZED;
}

void IIapi_getErrorInfo(IIAPI_GETEINFOPARM* p) {
    if (!p) return;
    p->ge_message = nullptr;
    p->ge_serverInfoAvail = II_FALSE;
    auto obj = findObject(p->ge_errorHandle);
    if (!obj) {
        p->ge_status = IIAPI_ST_INVALID_HANDLE;
        return;
    }
    std::lock_guard<std::mutex> lk(obj->msgMutex);
    if (obj->nextMessage >= obj->messages.size()) {
        p->ge_status = IIAPI_ST_NO_DATA;
        return;
    }
    const Message& m = obj->messages[obj->nextMessage++];
    p->ge_type = m.type;
    std::memcpy(p->ge_SQLSTATE, m.sqlstate.c_str(), 5);
    p->ge_SQLSTATE[5] = 0;
    p->ge_errorCode = m.native;
    obj->lastText = m.text;
    p->ge_message = obj->lastText.data();
    p->ge_status = IIAPI_ST_SUCCESS;
}

int iiengine_setControl(int setting, const char* value) {
    if (setting < IIENGINE_VERSION || setting > IIENGINE_BUSY_TIMEOUT) return -1;
    std::lock_guard<std::mutex> lk(gSettingsMutex);
    if (value)
        gControl[setting] = value;
    else
        gControl.erase(setting);
    return 0;
}

int iiengine_databasePath(const char* target, char* buf, size_t buflen) {
    if (!target || !buf) return -1;
    std::string path, name;
    if (!databasePath(target, path, name) || path.size() + 1 > buflen) return -1;
    std::memcpy(buf, path.c_str(), path.size() + 1);
    return 0;
}

}  // extern "C"
