// Internal model of the embedded engine: handles, sessions, statements and their messages.
#pragma once

#include "iiapi/iiapi.h"

#include <pthread.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace iiapi {

// ---- Messages ------------------------------------------------------------------------------

struct Message {
    std::string sqlstate;  // five characters
    int32_t native = 0;
    std::string text;  // ASCII
    int32_t type = IIAPI_GE_ERROR;
};

// A failure raised inside the engine; becomes one message on the handle that reports it.
struct Fault {
    std::string sqlstate;
    int32_t native = 0;
    std::string text;
};

// Native codes of the engine's own messages, close to those of the server family it imitates.
namespace native {
constexpr int32_t kSyntax = 2500;
constexpr int32_t kNoTable = 2753;
constexpr int32_t kNoColumn = 2100;
constexpr int32_t kTableExists = 5102;
constexpr int32_t kDuplicate = 4500;
constexpr int32_t kConstraint = 4501;
constexpr int32_t kDeadlock = 4700;
constexpr int32_t kCancelled = 4702;
constexpr int32_t kOverflow = 4111;
constexpr int32_t kDivZero = 4112;
constexpr int32_t kNoDatabase = 38100;
constexpr int32_t kLogin = 38101;
constexpr int32_t kSequence = 39100;
constexpr int32_t kOrderBy = 2161;
constexpr int32_t kTruncate = 4113;
constexpr int32_t kType = 4114;
constexpr int32_t kGeneral = 4000;
constexpr int32_t kNoProcedure = 2405;
constexpr int32_t kCursorNotOpen = 2205;
constexpr int32_t kCursorState = 2206;
constexpr int32_t kCursorReadOnly = 2207;
constexpr int32_t kDiskFull = 4705;
}  // namespace native

Fault makeFault(std::string sqlstate, int32_t native, std::string text);

// ---- Handles -------------------------------------------------------------------------------

enum class Kind : uint8_t { Env = 1, Conn = 2, Tran = 3, Stmt = 4, TranId = 5 };

struct Object {
    explicit Object(Kind k) : kind(k) {}
    virtual ~Object() = default;
    const Kind kind;
    II_PTR handle = nullptr;
    II_PTR retired = nullptr;  // the handle it had, while it keeps that slot for its next (retireObject)

    // Messages of the last call made on this handle; read one by one through getErrorInfo.
    std::mutex msgMutex;
    std::vector<Message> messages;
    size_t nextMessage = 0;
    std::atomic<bool> hasMessages{false};  // set with the first message, cleared with the list
    std::string lastText;                  // keeps ge_message alive until the next read

    // Every call clears its handle's messages first; most calls find none, and need no lock.
    // Reading an empty list never moves the read position, so there is nothing to reset.
    void clearMessages() {
        if (hasMessages.load(std::memory_order_acquire)) clearListedMessages();
    }
    void clearListedMessages();
    void addMessage(const Fault& f, int32_t type = IIAPI_GE_ERROR);
};

// Handles are numbers that name a registered object; a number comes back only after its slot has
// been taken 2^32 times, so a stale handle finds nothing. An object of a session (a statement, a
// transaction) is registered beside the session's handle, so that its look-ups take the lock
// the session's own take, and no other session's.
II_PTR registerObject(std::shared_ptr<Object> obj, II_PTR beside = nullptr);
// The registry's reference to the object, handed to the caller (null when none is registered).
std::shared_ptr<Object> unregisterObject(II_PTR handle);
// A closed object that only the registry holds may keep its slot for its next use (a statement's
// record, for its session's next query): its handle dies at once (the slot's generation moves
// on, and the object answers to no handle), and renewObject gives it the slot's next one. False,
// and nothing done, when another holder has it.
bool retireObject(Object& obj);
II_PTR renewObject(Object& obj);
// Lets a retired object's slot go: the registry's reference to it, handed to the caller.
std::shared_ptr<Object> unregisterRetired(Object& obj);
std::shared_ptr<Object> findObject(II_PTR handle);

template <class T>
std::shared_ptr<T> findAs(II_PTR handle, Kind kind) {
    auto obj = findObject(handle);
    if (!obj || obj->kind != kind) return nullptr;
    return std::static_pointer_cast<T>(std::move(obj));
}

// Calls find their session or statement with its call lock taken: findHeld (registry.h).

extern std::atomic<int> gInitCount;
// Keywords, names and the engine's own words are folded as ASCII: the application's locale (a
// Turkish one lowers "I" to a dotless i, a Latin-1 one changes the bytes of UTF-8 text) never
// reaches them.
inline char asciiLower(char c) { return c >= 'A' && c <= 'Z' ? char(c + ('a' - 'A')) : c; }
inline char asciiUpper(char c) { return c >= 'a' && c <= 'z' ? char(c - ('a' - 'A')) : c; }

inline bool initialized() { return gInitCount.load(std::memory_order_acquire) > 0; }

// Completes a call: sets status and completion flag and runs the callback.
inline void complete(IIAPI_GENPARM& gp, IIAPI_STATUS status, II_PTR errorHandle) {
    gp.gp_status = status;
    gp.gp_errorHandle = errorHandle;
    gp.gp_completed = II_TRUE;
    if (gp.gp_callback) gp.gp_callback(gp.gp_closure, &gp);
}

// ---- Settings ------------------------------------------------------------------------------

struct ServerSettings {
    std::string version;
    int apiLevel = 5;
    std::string charset;
    std::string unicodeLevel;
    bool strictOrderBy = false;
    int busyTimeoutMs = 5000;
};
ServerSettings currentSettings();

std::string dataDirectory();
bool databasePath(std::string_view target, std::string& path, std::string& dbname);
// A message for a caller's buffer of buflen bytes (none when it has no room), cut to fit and
// NUL-terminated.
void putMessage(char* buf, size_t buflen, const std::string& m);

// ---- Environment ---------------------------------------------------------------------------

struct Env : Object {
    Env() : Object(Kind::Env) {}
    int32_t version = IIAPI_VERSION;
    std::atomic<int32_t> maxSegment{8192};
};

// ---- Types ---------------------------------------------------------------------------------

// The text types (character strings of every length and kind) and the long types (sent and read in
// segments).
constexpr bool isTextType(int type) {
    return type == IIAPI_CHA_TYPE || type == IIAPI_CHR_TYPE || type == IIAPI_VCH_TYPE || type == IIAPI_TXT_TYPE ||
           type == IIAPI_LTXT_TYPE || type == IIAPI_LVCH_TYPE || type == IIAPI_NCHA_TYPE || type == IIAPI_NVCH_TYPE ||
           type == IIAPI_LNVCH_TYPE;
}
constexpr bool isLongType(int type) {
    return type == IIAPI_LVCH_TYPE || type == IIAPI_LBYTE_TYPE || type == IIAPI_LNVCH_TYPE;
}

struct IngType {
    int16_t type = IIAPI_VCH_TYPE;
    uint16_t length = 0;  // bytes of one value (VARCHAR: with the u16 prefix; long: segment)
    int16_t precision = 0;
    int16_t scale = 0;
    bool nullable = true;
    std::string decl;  // the declared text, lower case, as the engine shows it

    bool isLong() const { return isLongType(type); }
    bool operator==(const IngType&) const = default;
};

// Puts a value from SQLite that is not NULL (vtype its SQLite type) into the Ingres layout of t:
// one function per type, which a fetch chooses once per column and calls for every row (types.cpp).
using Encoder = bool (*)(sqlite3_value* v, int vtype, const IngType& t, uint8_t* buf, uint16_t& len, Fault& f);

// The columns of a view as the engine types them.
struct ViewColumns {
    std::vector<std::string> names;
    std::vector<IngType> types;
};

// ---- Sessions and statements ---------------------------------------------------------------

// Locks of the engine's short sections that another thread almost never contends (the
// handle registry, a session's calls, several of them for every row of a parameter array): an
// atomic word taken and given back without a call into the C library, and a wait in the kernel
// only while another thread holds it.
class QuickMutex {
public:
    void lock() {
        uint32_t seen = 0;
        if (state_.compare_exchange_strong(seen, 1, std::memory_order_acquire, std::memory_order_relaxed)) return;
        // 2: held, and someone may wait for it.
        if (seen != 2) seen = state_.exchange(2, std::memory_order_acquire);
        while (seen != 0) {
            state_.wait(2, std::memory_order_relaxed);
            seen = state_.exchange(2, std::memory_order_acquire);
        }
    }
    bool try_lock() {
        uint32_t seen = 0;
        return state_.compare_exchange_strong(seen, 1, std::memory_order_acquire, std::memory_order_relaxed);
    }
    [[gnu::always_inline]] void unlock() {
        if (state_.exchange(0, std::memory_order_release) == 2) state_.notify_one();
    }

private:
    std::atomic<uint32_t> state_{0};
};

// The same, taken again by the thread that holds it (a call that makes another call).
class QuickRecursiveMutex {
public:
    void lock() {
        const pthread_t self = pthread_self();
        if (owned_.load(std::memory_order_relaxed) && pthread_equal(owner_.load(std::memory_order_relaxed), self)) {
            ++depth_;
            return;
        }
        mutex_.lock();
        owner_.store(self, std::memory_order_relaxed);
        owned_.store(true, std::memory_order_relaxed);
        depth_ = 1;
    }
    [[gnu::always_inline]] bool try_lock() {
        const pthread_t self = pthread_self();
        if (owned_.load(std::memory_order_relaxed) && pthread_equal(owner_.load(std::memory_order_relaxed), self)) {
            ++depth_;
            return true;
        }
        if (!mutex_.try_lock()) return false;
        owner_.store(self, std::memory_order_relaxed);
        owned_.store(true, std::memory_order_relaxed);
        depth_ = 1;
        return true;
    }
    [[gnu::always_inline]] void unlock() {
        if (--depth_ != 0) return;
        owned_.store(false, std::memory_order_relaxed);
        mutex_.unlock();
    }

private:
    QuickMutex mutex_;
    std::atomic<pthread_t> owner_{};
    std::atomic<bool> owned_{false};
    unsigned depth_ = 0;
};

struct Conn;
struct Stmt;
struct Tran;

// What a cursor's SELECT allows a positioned UPDATE or DELETE to do.
struct CursorShape {
    bool positionable = false;               // one base table, no grouping, DISTINCT, aggregate or UNION
    std::string why;                         // when not: the reason, for the message
    std::string table;                       // the table (lower case unless quoted)
    bool forUpdate = false;                  // FOR [DEFERRED | DIRECT] UPDATE [OF ...]
    bool readOnly = false;                   // FOR READONLY / FOR READ ONLY
    std::vector<std::string> updateColumns;  // the OF list; empty: every column
};

// UPDATE ... / DELETE ... WHERE CURRENT OF cursor. Its SQLite text ends in "rowid = ?": the
// marker the engine binds to the cursor's current row, after the client's own.
struct PositionedChange {
    bool present = false;
    bool isDelete = false;
    std::string table;
    std::string cursor;
    std::vector<std::string> setColumns;
};

struct PreparedStatement {
    std::string sql;  // SQLite text after the dialect's rewrite
    bool returnsRows = false;
    int markers = 0;
    std::vector<IngType> columns;
    std::vector<std::string> names;
    CursorShape shape;
    size_t hidden = 0;     // trailing result columns the client never sees (the row id)
    std::string rowidSql;  // the text with the row id, not yet tried (see attachRowid)
    PositionedChange positioned;
};

// Compiled statements of a session kept for reuse, keyed by their SQLite text. Only idle
// statements are served: one taken for a query belongs to it (an open cursor) until released, so
// the same compiled statement never serves two queries at once.
struct StatementCache {
    static constexpr size_t kCapacity = 32;
    // The result columns a kept statement was described with when it last ran: describing reads
    // the statement's text and the catalogs again, so a statement run again under the same
    // parameter types and segment size takes them from here. It lives and dies with the compiled
    // statement, which the cache hands out only while the schema is the one it was compiled on.
    struct Description {
        bool known = false;
        int32_t maxSegment = 0;
        std::vector<IngType> markers, columns;
        std::vector<std::string> names;
    };
    struct Entry {
        std::string sql;
        sqlite3_stmt* st = nullptr;
        int64_t schemaVersion = 0;                 // main schema version when it was compiled (rows only)
        std::unique_ptr<Description> description;  // a statement with result columns once it ran
    };
    // entries[0, idle) are the idle statements, least recently used first. The entry taken last
    // stays after them while its statement is out, so that the statement given back (an EXECUTE
    // per row of a parameter array takes and gives back the same one) is idle again in place; it
    // goes when another statement is taken or given back first.
    std::vector<Entry> entries;
    size_t idle = 0;
    std::string spareText;  // the text buffer of the entry that went last, for the next one kept
    sqlite3_stmt* schemaProbe = nullptr;
    sqlite3_stmt* schemaReload = nullptr;
    sqlite3_stmt* columnTypes = nullptr;  // a column's recorded Ingres type (describeColumns)
    sqlite3_stmt* usersTable = nullptr;   // whether the database has accounts (connect)
    int64_t seenVersion = -1;             // schema version the session's loaded schema was last checked against
};

// A statement compiled from the whole text (a second statement in it is refused), from the
// session's cache when it holds one. schemaVersion goes back with it to releaseStatement.
bool acquireStatement(Conn& c, const std::string& sql, sqlite3_stmt*& st, int64_t& schemaVersion, Fault& f);
// Resets a statement taken with acquireStatement and keeps it for the next query of its text.
void releaseStatement(Conn& c, const std::string& sql, sqlite3_stmt* st, int64_t schemaVersion);
// The kept description of st when it is the statement taken last from the cache (made empty the
// first time); null for a statement the cache did not hand out.
StatementCache::Description* takenDescription(Conn& c, sqlite3_stmt* st);
// Gives a statement's open cursor back to the cache.
void releaseCursor(Conn& c, Stmt& s);
// Finalises every kept statement (before the database closes).
void clearStatementCache(StatementCache& k);
// Finalises the idle statements; the one taken last is forgotten, not finalised.
void dropIdleStatements(StatementCache& k);
// Forgets the entry of the statement taken last (not finalised: its taker has it, or had it).
void forgetTakenStatement(StatementCache& k);
// One of the engine's own statements of the session, compiled once and kept in slot; null when
// it does not compile (a table it reads is missing), and then tried again at the next call.
sqlite3_stmt* keptStatement(Conn& c, sqlite3_stmt*& slot, const char* sql);

// A value of a parameter as the client sent it, in the Ingres layout of its descriptor.
struct ParamValue {
    bool null = false;
    std::string bytes;  // for long types: the joined segments without their prefixes
    bool complete = false;
};

// ---- Distributed transaction branches (xa.cpp) ----------------------------------------------

// One column value of a row image.
struct XaValue {
    int type = SQLITE_NULL;
    int64_t i = 0;
    double d = 0;
    std::string bytes;  // text or blob
};

// One row a branch inserted ('I'), updated ('U') or deleted ('D'), by row id, with the row's
// values after the change.
struct XaChange {
    char op = 'I';
    std::string schema, table;
    int64_t oldRowid = 0, newRowid = 0;
    std::vector<XaValue> values;
};

// What the file of a prepared branch holds.
struct XaRecord {
    std::string key, text, dbname;
    std::string nonce;  // marks the branch's commit in the database
    std::vector<XaChange> changes;
};

// A branch's file, open and locked while a session holds the branch.
struct XaFile {
    int fd = -1;
    std::string dir, name;
    XaFile() = default;
    XaFile(XaFile&& o) noexcept;
    XaFile& operator=(XaFile&& o) noexcept;
    XaFile(const XaFile&) = delete;
    XaFile& operator=(const XaFile&) = delete;
    ~XaFile();
    void close();
};

// The distributed branch a session runs: its row images while it runs, its file once prepared.
struct XaBranchState {
    bool capturing = false;
    bool incomplete = false;  // the transaction held changes the images do not
    int64_t schemaMain = -1, schemaSide = -1;
    std::vector<XaChange> changes;
    XaFile file;
    std::string nonce;
    bool writes = false;
};

// A prepared branch of an ended session (of any process) that this session finishes.
struct XaOrphan {
    XaFile file;
    XaRecord record;
};

// A session's SQLite connection with what is set up on it once (open_databases.cpp).
struct OpenDatabase {
    sqlite3* db = nullptr;
    Conn* session = nullptr;  // the session it serves: the context of the SQL functions
    std::string path;         // empty for a database in memory
    dev_t dev = 0;            // the file it opened
    ino_t ino = 0;
    bool side = false;  // the file of separately locked tables is attached, this one:
    dev_t sideDev = 0;
    ino_t sideIno = 0;
    bool settingsChanged = false;   // a session changed a setting or attached a file: not kept
    bool tempUsed = false;          // a session made something in the temporary schema
    bool queryOnlyTouched = false;  // read-only mode was set since the connection was last reset
    StatementCache cache;           // kept with the connection between sessions
};

struct Conn : Object {
    Conn() : Object(Kind::Conn) {}
    ~Conn() override;
    std::weak_ptr<Conn> self;  // for the records that refer back to their session

    std::weak_ptr<Env> env;
    // Serialises the calls of this session; cancel takes only dbMutex.
    QuickRecursiveMutex callMutex;
    std::mutex dbMutex;     // guards db against close while another thread interrupts it
    sqlite3* db = nullptr;  // open->db while the session has one
    std::unique_ptr<OpenDatabase> open;
    bool connected = false;

    std::string target, path, dbname, user, loginUser;
    std::string role, group, dbmsPassword;
    char decimalChar = '.';
    ServerSettings settings;
    int32_t maxSegment = 8192;

    bool autocommit = false;
    std::shared_ptr<Tran> tran;  // current transaction (or the autocommit marker)
    bool inTransaction = false;  // a BEGIN is open in SQLite; changed by setInTransaction only
    // This transaction was seen holding the main file's write lock (cleared with inTransaction's
    // every change, and by a statement of the client's that may control the transaction itself).
    bool writeLockSeen = false;
    void setInTransaction(bool open) {
        inTransaction = open;
        writeLockSeen = false;
    }
    // Repeatable read and serializable sessions read from the snapshot of their transaction; the
    // others read what is committed when each statement starts and hold nothing between reads.
    bool snapshotReads = false;
    // Statements prepared by name: an entry stays where it is while the map lives (a statement
    // prepared again under its name replaces its content).
    std::map<std::string, PreparedStatement> prepared;
    // The last EXECUTE or OPEN text whose statement name was read, with its query type and that
    // name: a parameter array sends the same text for every row.
    int32_t namedType = 0;
    std::string namedText, namedName;
    // The entry of namedName, once a statement of that text found it: the next ones take it
    // from their query.
    PreparedStatement* namedEntry = nullptr;
    // The tables the statement being rewritten names: a column typed by its name alone is looked
    // for there first, not in whichever table has a column of that name.
    std::vector<std::string> typeScope;
    // Its correlation names (alias, table), for a column qualified by one.
    std::vector<std::pair<std::string, std::string>> typeAliases;
    // Columns of views by lower-case name (describeView), with the schema version they were read at.
    std::map<std::string, std::pair<int64_t, ViewColumns>> viewColumns;
    StatementCache cache;
    // The session's statements from their query to their close (or the disconnect), under the
    // call lock: registered, so the registry keeps each alive.
    std::vector<Stmt*> statements;
    std::atomic<bool> cancelRequested{false};
    std::atomic<Stmt*> running{nullptr};  // the statement inside sqlite3_step, for cancel

    // The catalog views are made on the first statement that names one; made inside a
    // transaction, they go with its rollback.
    bool catalogsCreated = false;
    bool catalogsInTransaction = false;
    bool catalogsWithMetadata = false;
    bool isMaster = false;      // the master database (iidbdb)
    bool sideAttached = false;  // the file of separately locked tables is attached (side_tables.cpp)
    std::map<std::string, uint32_t> writtenFilesSeen;  // by statement text, for writtenFiles

    // Distributed transaction branch of this session: its key and listed text, whether it is
    // prepared, and a prepared branch of an ended session that this session finishes (one whose
    // session lives in this process, or one kept only on disk).
    std::string xaKey, xaText;
    bool xaPrepared = false;
    XaBranchState xa;
    std::shared_ptr<Conn> adopted;

    // The parameter buffers of the session's last closed statement whose record went, lent to
    // its next one made: a parameter array runs one statement per row, and its values then take
    // buffers of the sizes they had in the row before (a kept record keeps its own).
    std::vector<IIAPI_DESCRIPTOR> spareParamDesc;
    std::vector<std::string> spareParamNames;
    std::vector<ParamValue> spareParams;
    void lendParamBuffers(Stmt& s);
    void keepParamBuffers(Stmt& s);
    // The record of the session's last closed statement that no one else held, emptied and
    // retired in its registry slot, for its next query: a parameter array runs one per row.
    Stmt* spareStmt = nullptr;
    std::unique_ptr<XaOrphan> orphan;
};

struct Tran : Object {
    Tran() : Object(Kind::Tran) {}
    std::weak_ptr<Conn> conn;
    bool autocommitMarker = false;
};

struct TranId : Object {
    TranId() : Object(Kind::TranId) {}
    IIAPI_TRAN_ID id{};
};

struct Stmt : Object {
    Stmt() : Object(Kind::Stmt) {}
    ~Stmt() override;
    // Back to the state of a new statement, keeping what its buffers hold room for (a closed
    // statement that nothing else refers to). Every field is set here: one added to the record
    // must be added there too.
    void reset();

    std::weak_ptr<Conn> conn;
    Conn* session = nullptr;  // the same, for findHeld: alive while the statement is registered
    int32_t queryType = 0;
    std::string text;

    enum class State { Failed, AwaitDescriptor, AwaitParms, Rows, Done };
    State state = State::Done;
    std::atomic<bool> cancelled{false};

    // Parameters.
    std::vector<IIAPI_DESCRIPTOR> paramDesc;
    std::vector<std::string> paramNames;
    std::vector<ParamValue> params;
    size_t nextParam = 0;
    size_t serviceParams = 0;  // of the descriptors, the cursor's or procedure's names
    // EXECUTE and OPEN: the statement prepared under procName, when the query found it already.
    PreparedStatement* prepared = nullptr;

    // What runs once the parameters are in.
    std::string pendingSql;  // SQLite text to run
    std::string cursorName;
    std::string procName, procOwner;

    // Results.
    sqlite3_stmt* cursor = nullptr;
    std::string cursorSql;  // the text cursor was compiled from, to give it back to the cache
    int64_t cursorSchema = 0;
    std::vector<IngType> columns;
    std::vector<std::string> names;
    std::vector<IIAPI_DESCRIPTOR> resultDesc;
    // Each column's encoder, set with resultDesc (none for a long column).
    std::vector<Encoder> encoders;
    bool describeOnly = false;  // a prepare: descriptors without rows
    bool haveRow = false;       // current row has been stepped and not fully read
    size_t colPos = 0;          // next column of the current row
    size_t longOffset = 0;      // bytes of the current long column already delivered
    std::string longValue;      // the current long column, in its Ingres form
    bool longLoaded = false;
    bool eof = false;
    // Opened outside any transaction holding changes: the commit of later work leaves it open.
    bool outsideTxn = false;
    int64_t rowCount = 0;
    bool rowCountValid = false;
    bool hasProcReturn = false;
    int32_t procReturn = 0;
    // Rows produced by the engine itself (a procedure's output values or result rows), read
    // instead of a cursor.
    std::vector<std::vector<sqlite3_value*>> heldRows;
    size_t heldPos = 0;  // index of the current held row + 1 once stepped
    bool held = false;

    // A cursor (query type OPEN): what positioned changes may do through it. Its hidden
    // trailing column holds the row id of each row.
    CursorShape shape;
    size_t hidden = 0;
    bool openedReadOnly = false;  // opened "for readonly"
    bool onRow = false;           // a row has been read and the cursor is still on it
    bool rowGone = false;         // the current row was deleted through the cursor
    // The rows an updatable cursor handed out (the last kHandedRowsKept of them): their row ids
    // and whether they were deleted through the cursor; handedCount counts every one. The row
    // IIapi_position made current is handedIds[positionedAt]; -1: the row read last; -2: none.
    std::vector<int64_t> handedIds;
    std::vector<uint8_t> handedGone;
    int64_t handedCount = 0;
    int64_t positionedAt = -1;
    // Positioned changes may go through it; it then hands out one row per read, so that its
    // current row is the one the client read last.
    bool updatable() const {
        return shape.positionable && hidden > 0 && !shape.readOnly && (shape.forUpdate || !openedReadOnly);
    }
};

// ---- Session helpers (env_conn.cpp) ---------------------------------------------------------

// Gives the session its transaction handle. With begin, in a distributed branch, or when reads
// keep a snapshot, the database transaction starts now; otherwise with the first change
// (beginWrite), so that plain reads hold nothing between statements.
// Inline when the session is in its transaction (or autocommit) already: twice for every row of
// a parameter array.
bool startTransaction(Conn& c, Fault& f, bool begin);
[[gnu::always_inline]] inline bool ensureTransaction(Conn& c, Fault& f, bool begin = true) {
    return (c.tran && (c.autocommit || c.inTransaction)) || startTransaction(c, f, begin);
}
// Makes sure the session's database transaction can take changes (takes the write lock of the
// files st writes to; without st, of the main file). takeWriteLock is its step outside
// autocommit and outside a transaction.
bool takeWriteLock(Conn& c, Fault& f, sqlite3_stmt* st);
[[gnu::always_inline]] inline bool beginWrite(Conn& c, Fault& f, sqlite3_stmt* st = nullptr) {
    return c.autocommit || c.inTransaction || takeWriteLock(c, f, st);
}
// Reads the rest of an open cursor (its current row included) into memory and gives its
// compiled statement back; false when it had no cursor to read.
bool spoolCursor(Conn& c, Stmt& s);
// The same for every open cursor of the session; false when none had one.
bool spoolCursors(Conn& c);
// Ends the SQLite transaction and forgets the transaction handle.
bool endTransaction(Conn& c, bool commit, Fault& f);
// SQLite rolls a transaction back by itself when a statement fails for want of room (a full
// disk) or memory, or on an I/O error: the session then holds no transaction either, and the
// statement's fault f says so. Nothing when the transaction is still open.
void noteTransactionLost(Conn& c, Fault& f);
Fault faultFromSqlite(sqlite3* db, int rc);
// Runs statements without results; false with the fault when one fails.
bool execSimple(sqlite3* db, const char* sql, Fault& f);
// One of the engine's own changes (its catalog rows), compiled once and run for each set of
// values bound to it: null, with the fault, when it does not compile.
struct FinalizeStatement {
    void operator()(sqlite3_stmt* st) const { sqlite3_finalize(st); }
};
using OwnChange = std::unique_ptr<sqlite3_stmt, FinalizeStatement>;
OwnChange compileChange(sqlite3* db, const char* sql, Fault& f);
// Runs it to its end and resets it for the next values; false with the fault when it does not
// finish (a full disk among others).
bool runChange(sqlite3* db, sqlite3_stmt* st, Fault& f);

// Keeps the write-ahead log and its shared-memory index of the schema's file when its last
// session closes; the log is emptied then.
bool keepWriteAheadLog(sqlite3* db, const char* schema, Fault& f);

// ---- Separately locked tables (side_tables.cpp) ----------------------------------------------

std::string sideTablesPath(const std::string& dbPath);
// Attaches the database's file of separately locked tables when it has one (attached, and the
// file's device and inode).
bool attachSideTables(sqlite3* db, const std::string& dbPath, bool& attached, dev_t* dev, ino_t* ino, Fault& f);
// The files (bit 0 main, bit 2 the side file) whose write lock st needs.
uint32_t writtenFiles(Conn& c, sqlite3_stmt* st);
// Opens a transaction holding the write locks of those files; none is left open on failure.
bool beginWriteOn(Conn& c, uint32_t files, Fault& f);

// ---- Files beside the databases (files.cpp) and passwords (password.cpp) --------------------

// Creates the file (mode 0600, a link at the name is not followed) unless it exists; with
// mustBeNew an existing file is a failure. why gets the reason.
bool createPrivateFile(const std::string& path, bool mustBeNew, std::string& why);
// Makes the directory's entries (a file's new name) survive a crash of the system.
bool syncDirectory(const std::string& dir);
bool readWholeFile(const std::string& path, std::string& bytes);

// The stored form of a password: a salted PBKDF2-HMAC-SHA-256 hash; "" when no salt can be had.
std::string hashPassword(const std::string& password);
// Whether given (null: none) is the password stored (a hash, or the plain text of older databases).
bool passwordMatches(const std::string& stored, const char* given);
std::string sha256Hex(const std::string& data);
std::string pbkdf2Sha256Hex(const std::string& password, const std::string& salt, unsigned iterations);

// ---- Distributed transactions (xa.cpp) ------------------------------------------------------

bool xaKeyFromTranId(const IIAPI_TRAN_ID& id, std::string& key, std::string& text);
bool xaKeyFromText(std::string_view in, std::string& key, std::string& text);
// Binds the session's transaction to the branch ("set session with xa_xid") and starts taking
// its row images.
bool xaBind(Conn& c, const std::string& key, const std::string& text, Fault& f);
// Keeps the branch on disk; the work stays in the session's open transaction until the outcome.
bool xaPrepare(Conn& c, Fault& f);
// Around the end of a session's transaction (endTransaction): the branch's file goes with a
// rollback before it, with a commit after it; a failed commit leaves the branch in doubt.
void xaBeforeEnd(Conn& c, bool commit);
void xaAfterEnd(Conn& c, bool commit, bool ok);
// The session closes: what it held of branches is let go (a prepared branch stays in doubt).
void xaSessionGone(Conn& c);
std::shared_ptr<Conn> xaTakePrepared(const std::string& key, const std::string& dbname);
void xaForget(const std::string& key);
bool xaIsPreparedElsewhere(const std::string& key, const Conn& c);
// A session connecting with a transaction id takes over the prepared branch of that id: one whose
// session lives in this process, or one kept on disk; an unknown id is refused.
bool xaAdopt(Conn& c, const std::string& key, Fault& f);
bool xaFinishAdopted(Conn& c, bool commit, Fault& f);
// Whether the session may write: not while a prepared branch of an ended session holds the
// database (its locks outlive the session, as the server's in-doubt transactions' do).
// xaLookForBranches is its step for a session of a database file whose transaction is not yet
// seen holding the write lock.
bool xaLookForBranches(Conn& c, Fault& f);
// Inline for the session's own transaction seen holding the write lock (each row of an array).
[[gnu::always_inline]] inline bool xaWriteAllowed(Conn& c, Fault& f) {
    return c.orphan || c.path.empty() || (c.writeLockSeen && c.inTransaction && !sqlite3_get_autocommit(c.db)) ||
           xaLookForBranches(c, f);
}
void xaRefreshMaster(Conn& c);
// The file format of a prepared branch; a damaged file (any byte changed, cut or added) decodes
// to nothing.
std::string xaEncodeRecord(const XaRecord& r);
bool xaDecodeRecord(const std::string& bytes, XaRecord& r);

// ---- Dialect (dialect_*.cpp, result_types.cpp, view_columns.cpp) ----------------------------

struct Rewritten {
    enum class Kind {
        Sql,      // run the text on SQLite
        Prepare,  // prepare NAME into sqlda from TEXT
        Execute,  // execute NAME
        Commit,
        Rollback,
        Savepoint,
        RollbackTo,
        Ignore,  // accepted and without effect (SET LOCKMODE, SET SESSION ...)
        SetAutocommit,
        SetReadOnly,     // SET SESSION READ ONLY (flag) / READ WRITE
        CreateTable,     // SQL plus column metadata to record
        CreateTableAs,   // CREATE TABLE name AS a SELECT: name is the table's text, sql the SELECT
        AlterTableAdd,   // ALTER TABLE ADD of a column: SQL plus its metadata and date triggers
        AlterTableDrop,  // ALTER TABLE DROP of a column: the same without it
        DropTable,
        CreateProcedure,
        ExecuteProcedure,
        Grant,
        Revoke,
        DropProcedure,
        SetXaXid,
        Positioned,  // UPDATE / DELETE ... WHERE CURRENT OF
    } kind = Kind::Sql;
    std::string sql;
    std::string name;
    bool flag = false;
    // CreateTable, AlterTableAdd, AlterTableDrop: table and declared (or dropped) columns.
    // Grant: privileges and grantees.
    std::string table;
    std::vector<std::pair<std::string, std::string>> declColumns;
    std::vector<std::string> privileges, grantees;
    // CreateTable, AlterTableAdd, AlterTableDrop: statements that make way for the change, and
    // that complete the table once it has its columns.
    std::vector<std::string> before, after;
    // Prepare of a SELECT: what a cursor over it allows, and (when it can take positioned
    // changes) the text with the row id as hidden last column.
    CursorShape shape;
    std::string rowidSql;
    PositionedChange positioned;
};

// The function every divisor passes through: its value, or the server's division-by-zero error.
constexpr const char* kNonzeroGuard = "ii_nonzero";

bool rewriteStatement(Conn& c, std::string_view text, Rewritten& out, Fault& f);
// The table a CREATE TABLE ... AS SELECT makes, declared with the columns of its SELECT as the
// engine types them (so dates and times compare as dates and times): the CreateTable rewrite of
// that column list.
bool declareTableAs(Conn& c, const Rewritten& as, Rewritten& out, Fault& f);
// Index just past the quoted run that opens at s[open] (the quote character doubled inside stands
// for itself); npos when it is not closed.
size_t quotedEnd(std::string_view s, size_t open);

// Result column typing for a prepared SQLite statement. params: the descriptors of the values
// bound to it, once they are known (at execution).
void describeColumns(Conn& c, sqlite3_stmt* st, std::string_view sql, std::vector<IngType>& cols,
                     std::vector<std::string>& names, const std::vector<IIAPI_DESCRIPTOR>* params = nullptr);
// The same for a statement from the cache, taken from its kept description when that still holds,
// and kept there otherwise.
void describeColumnsKept(Conn& c, sqlite3_stmt* st, std::string_view sql, const std::vector<IIAPI_DESCRIPTOR>& params,
                         StatementCache::Description& kept, std::vector<IngType>& cols,
                         std::vector<std::string>& names);
// The names and types of a view's columns in their order, the types as a query of the view's own
// SELECT is described; null when the name is no view. Kept per session until the schema changes.
const ViewColumns* describeView(Conn& c, const std::string& view);

// The dialect's functions on a new connection; od->session is their session.
void registerFunctions(sqlite3* db, OpenDatabase* od);

// ---- The session's SQLite connection (open_databases.cpp) ------------------------------------

// Gives the session a connection to c.path (sb: the file's stat; null for a database in
// memory): one a session of this process left, still open on the same file, else a new one.
// Each of its steps waits for other connections' locks up to c.settings' lock timeout.
bool openSessionDatabase(Conn& c, const struct stat* sb, Fault& f);
// Takes the session's connection away; with mayKeep it is reset and kept for a later session
// when nothing of this one can reach that one, else closed.
void endSessionDatabase(Conn& c, bool mayKeep);
// Closes the connections kept between sessions.
void closeIdleDatabases();
size_t idleDatabaseCount();

// ---- Catalogs (catalogs.cpp) ----------------------------------------------------------------

// Creates the engine's metadata tables in the database (when it has something to record).
bool ensureMetadata(sqlite3* db, Fault& f);
bool metadataPresent(sqlite3* db);
// (Re)creates the session's catalog views.
void createCatalogs(Conn& c);
// Remakes views made before the engine's metadata tables existed (they change with them).
void refreshCatalogs(Conn& c);
// Forgets views made in a transaction that is rolled back.
void catalogsRolledBack(Conn& c);
bool isCatalogName(std::string_view name);
// Whether an SQL text may name a catalog view (false means it certainly does not).
bool mentionsCatalog(std::string_view sql);

// ---- Procedures (procedures.cpp) ------------------------------------------------------------

struct ProcCall {
    struct Arg {
        std::string name;
        sqlite3_value* value = nullptr;  // borrowed
        bool byRef = false;
    };
    std::string name, owner;
    std::vector<Arg> args;
};

struct ProcResult {
    struct Out {
        std::string name, type;
        bool nullable = true;
        sqlite3_value* value = nullptr;  // owned
    };
    int32_t returnValue = 0;
    std::vector<Out> outs;
    std::vector<std::string> resultTypes;
    std::vector<std::vector<sqlite3_value*>> rows;  // owned
    ProcResult() = default;
    ProcResult(const ProcResult&) = delete;
    ProcResult& operator=(const ProcResult&) = delete;
    ~ProcResult();
};

bool createProcedure(Conn& c, const std::string& text, Fault& f);
bool dropProcedure(Conn& c, const std::string& name, Fault& f);
bool executeProcedure(Conn& c, const ProcCall& call, ProcResult& res, Fault& f);

// ---- Types (types.cpp) ----------------------------------------------------------------------

bool parseTypeText(std::string_view decl, IngType& out, int32_t maxSegment);
std::string sqliteDeclFor(const IngType& t);

// Value from SQLite into the Ingres layout of t (not for long types).  Returns false with f.
bool encodeValue(sqlite3_value* v, const IngType& t, uint8_t* buf, uint16_t& len, Fault& f);
// The same as one encoder per type (Encoder, beside IngType).
Encoder encoderFor(const IngType& t);
// The whole value of a long column in its Ingres form (bytes, or UTF-16 for LONG NVARCHAR).
bool encodeLong(sqlite3_value* v, const IngType& t, std::string& out, Fault& f);
// Clients send dates and timestamps as "yyyy_mm_dd[ hh:mm:ss[.fffffffff]]". The store keeps
// "yyyy-mm-dd hh:mm:ss" with six fraction digits, nine when the nanoseconds need them, none when
// they are zero: one text for one value, the one other programs write, so that a column without
// the engine's date triggers (a plain SQLite file's) compares and sorts them by their bytes.
// Mends such a text in place and says whether it was one; any other text stays.
bool mendClientDate(std::string& b);
// Binds a client value of descriptor d to parameter index i (1-based); a date's text is put in
// the store's form first.
bool bindValue(sqlite3_stmt* st, int i, const IIAPI_DESCRIPTOR& d, ParamValue& v, Fault& f);

// convertData and the text forms used by it.
IIAPI_STATUS convert(IIAPI_CONVERTPARM& p);
bool valueToText(const IIAPI_DESCRIPTOR& d, const void* data, size_t len, std::string& out);

// UTF-8 and UTF-16 helpers. What is not text (a malformed or overlong UTF-8 sequence, a surrogate
// value, a lone UTF-16 surrogate) becomes "?" and clears ok: values and statements from a client
// are refused then (22018), never stored rewritten.
std::u16string utf8ToUtf16(std::string_view s, bool* ok = nullptr);
std::string utf16ToUtf8(const char16_t* s, size_t n, bool* ok = nullptr);
bool utf8Valid(std::string_view s);
// Two hexadecimal digits a byte.
std::string hexBytes(const void* p, size_t n, bool upper);
Fault notTextFault(const std::string& what);
size_t utf8Fit(std::string_view s, size_t maxBytes);  // bytes that hold whole characters

// Dates. The date, time, timestamp and interval types: each value is an IIAPI_DATETIME to the
// client and its text in the store.
constexpr bool isDateTimeType(int type) {
    switch (type) {
        case IIAPI_DATE_TYPE:
        case IIAPI_ADATE_TYPE:
        case IIAPI_TMWO_TYPE:
        case IIAPI_TMTZ_TYPE:
        case IIAPI_TIME_TYPE:
        case IIAPI_TSWO_TYPE:
        case IIAPI_TSTZ_TYPE:
        case IIAPI_TS_TYPE:
        case IIAPI_INTYM_TYPE:
        case IIAPI_INTDS_TYPE:
            return true;
        default:
            return false;
    }
}
bool parseDateText(std::string_view s, IIAPI_DATETIME& dt);
std::string formatDate(const IIAPI_DATETIME& dt, int16_t type);
// The one stored form of a date/time value of type t (declared precision kept), which orders
// and compares as the values do; false when the text is no value of that type.
bool canonicalDateTime(std::string_view in, const IngType& t, std::string& out);

// Orders two date/time texts as the times they stand for, whatever their spelling or fraction
// digits (-1, 0, 1); texts that are no date order after every date, by their bytes.
int compareDateTimeTexts(std::string_view a, std::string_view b);
// The collation of date and time columns, registered on every session, by that order.
constexpr const char* kDateTimeCollation = "ii_datetime";
// Names of the column constraints that keep a value to what its column holds: a string or byte
// value within its length (22001), a number or boolean where one is declared (22018), a number
// within its type's range (22003).
constexpr const char* kFitCheckPrefix = "ii_fit_";
constexpr const char* kNumberCheckPrefix = "ii_num_";
constexpr const char* kRangeCheckPrefix = "ii_range_";
// The function those constraints call (column_checks.cpp), on every connection.
void registerColumnChecks(sqlite3* db);

// Exact decimals.
struct Decimal {
    bool negative = false;
    std::string digits;  // no leading zeros except a lone "0"
    int scale = 0;       // digits after the point
};
bool parseDecimal(std::string_view s, Decimal& d);
bool decimalRescale(Decimal& d, int precision, int scale);  // false on overflow (rounds)
std::string decimalText(const Decimal& d);
void decimalPack(const Decimal& d, int precision, uint8_t* out);
Decimal decimalUnpack(const uint8_t* in, int precision, int scale);

// Decimal arithmetic (decimal.cpp), exact to the 31 digits a result keeps, in 128-bit integers:
// a value is +-coefficient / 10^scale. (The Decimal above converts values of every declared
// precision; this one computes.)
constexpr int kDecimalResultDigits = 31;
struct ExactDecimal {
    unsigned __int128 coefficient = 0;
    int scale = 0;          // 0 to kDecimalResultDigits
    bool negative = false;  // never for zero
};
enum class DecimalFault : uint8_t { None, NotANumber, Overflow, DivisionByZero };
// A number's text (blanks around it, a sign, '.' or ',' as its point, an exponent); more than
// 31 fraction digits are rounded off, more than 38 digits overflow.
DecimalFault exactParse(std::string_view text, ExactDecimal& out);
constexpr size_t kExactTextSize = 48;
// The text with exactly d.scale fraction digits, into out (kExactTextSize bytes); its length.
size_t exactFormat(const ExactDecimal& d, char* out);
std::string exactText(const ExactDecimal& d);
// Results of more than 31 digits overflow. A sum keeps the larger scale, a product the sum of
// the scales (at most 31, the rest rounded), a quotient the scale asked for; rounding is half
// away from zero.
DecimalFault exactAdd(const ExactDecimal& a, const ExactDecimal& b, ExactDecimal& out);
DecimalFault exactSubtract(const ExactDecimal& a, const ExactDecimal& b, ExactDecimal& out);
DecimalFault exactMultiply(const ExactDecimal& a, const ExactDecimal& b, ExactDecimal& out);
DecimalFault exactDivide(const ExactDecimal& a, const ExactDecimal& b, int scale, ExactDecimal& out);
int exactCompare(const ExactDecimal& a, const ExactDecimal& b);
// Orders two texts as the numbers they stand for; a text that is no number orders after every
// number, by its bytes.
int compareDecimalTexts(std::string_view a, std::string_view b);

// The SQL side: decimal columns store canonical text under this collation, and the dialect's
// rewrite hands DECIMAL arithmetic to these functions (each gives the exact result's text).
constexpr const char* kDecimalCollation = "ii_decimal";
constexpr const char* kDecimalAdd = "ii_dec_add";          // (a, b)
constexpr const char* kDecimalSubtract = "ii_dec_sub";     // (a, b)
constexpr const char* kDecimalMultiply = "ii_dec_mul";     // (a, b)
constexpr const char* kDecimalNegate = "ii_dec_neg";       // (a)
constexpr const char* kDecimalDivide = "ii_decdiv";        // (a, b, scale)
constexpr const char* kDecimalCompare = "ii_dec_cmp";      // (a, b): -1, 0 or 1
constexpr const char* kDecimalBetween = "ii_dec_between";  // (x, low, high)
constexpr const char* kDecimalSum = "ii_dec_sum";          // aggregate (x)
// The message of a value that is no number where a decimal is wanted (22018).
constexpr const char* kNotANumberMessage = "invalid decimal value (invalid character value for cast)";
void registerDecimalFunctions(sqlite3* db);

}  // namespace iiapi
