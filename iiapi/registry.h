// The handle registry's tables: environment.cpp registers and unregisters objects; every call
// looks its handle up inline (a row of a parameter array is five calls).
#pragma once

#include "iiapi/internal.h"

namespace iiapi::registry {

// A handle names a slot of the registry and the slot's use: the object's kind in the top byte,
// the slot's generation in the middle, its shard and index in the low bits. A slot's generation
// moves on each time it is let go, so the handle of a closed object never names the object that
// takes its slot next (it would take 2^32 reuses of that one slot to come round).
//
// The registry is split into shards, each with its own lock, table and cache lines: a session
// takes the next shard in turn, and its statements and transactions go to its shard, so that
// sessions on different threads never share a lock word (a row of a parameter array is five
// calls, each looking its handles up, besides a registration and a removal).
constexpr unsigned kIndexBits = 24;  // the shard's number above its slot's index
constexpr unsigned kShardBits = 6;
constexpr unsigned kSlotBits = kIndexBits - kShardBits;
constexpr uintptr_t kSlotMask = (uintptr_t(1) << kSlotBits) - 1;
constexpr uint32_t kShards = 1u << kShardBits;
constexpr uint32_t kShardRoom = 1u << kSlotBits;  // slots a shard can have
constexpr unsigned kKindShift = 56;

struct Slot {
    std::shared_ptr<Object> obj;
    uint32_t generation = 0;
    uint32_t nextFree = 0;  // index + 1 of the next free slot, 0 at the end of the list
};

// Plain words, valid before any constructor and after every destructor of the library: a session
// the host leaves open is disconnected by the driver's own detach, which may run after the
// library's objects are gone.
struct alignas(64) Shard {
    QuickMutex mutex;
    Slot* table = nullptr;
    uint32_t size = 0, room = 0;
    uint32_t freeSlot = 0;  // index + 1 of the first free slot
};
extern Shard gShards[kShards];

inline uint32_t shardOf(II_PTR handle) {
    return uint32_t(reinterpret_cast<uintptr_t>(handle) >> kSlotBits) & (kShards - 1);
}

// The slot a handle names while its object is registered, else null. Under the shard's lock.
inline Slot* slotOf(const Shard& shard, II_PTR handle) {
    const uintptr_t index = reinterpret_cast<uintptr_t>(handle) & kSlotMask;
    if (index >= shard.size) return nullptr;
    Slot& slot = shard.table[index];
    if (!slot.obj || slot.obj->handle != handle) return nullptr;
    return &slot;
}

}  // namespace iiapi::registry

namespace iiapi {

// A session (Kind::Conn) or statement (Kind::Stmt) found with its session's call lock taken and
// no reference counted: Locked. Sessions and statements are unregistered only under that lock
// (close, disconnect) and a statement only while its session is registered, so an object found
// registered while the lock was free stays alive and registered until the caller lets the lock
// go. Busy: another thread holds the lock; nothing is taken, and the caller takes a reference
// before it waits.
enum class Held : uint8_t { None, Locked, Busy };
[[gnu::always_inline]] inline Held findHeld(II_PTR handle, Kind kind, Object*& obj) {
    using namespace registry;
    obj = nullptr;
    if (!handle || (kind != Kind::Conn && kind != Kind::Stmt)) return Held::None;
    Shard& shard = gShards[shardOf(handle)];
    std::lock_guard<QuickMutex> lk(shard.mutex);
    Slot* slot = slotOf(shard, handle);
    if (!slot || slot->obj->kind != kind) return Held::None;
    Object* o = slot->obj.get();
    Conn* session = kind == Kind::Conn ? static_cast<Conn*>(o) : static_cast<Stmt*>(o)->session;
    // The lock is only tried: the registry's lock is taken inside a call lock everywhere else.
    if (!session || !session->callMutex.try_lock()) return Held::Busy;
    obj = o;
    return Held::Locked;
}

}  // namespace iiapi
