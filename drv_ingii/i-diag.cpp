#include "drv_ingii/i-diag.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "drv_ingii/i-errtab.h"
#include "drv_ingii/i-desc.h"
#include "drv_ingii/i-glob.h"
#include "util/errtable.h"
#include "util/utf.h"

static void EntryFree(IngDiagEntry* e) {
    std::free(e->sqlstate);
    std::free(e);
}

void IngDiagAppend(IngDiagList* list, IngDiagEntry* entry) {
    if (list == nullptr || entry == nullptr) return;
    entry->next = nullptr;
    IngDiagEntry** at = &list->first;
    while (*at) at = &(*at)->next;
    *at = entry;
}

void IngDiagClear(IngDiagList* list) {
    if (list == nullptr) return;
    IngDiagEntry* e = list->first;
    while (e) {
        IngDiagEntry* next = e->next;
        EntryFree(e);
        e = next;
    }
    list->first = nullptr;
}

uint32_t IngDiagCount(const IngDiagList* list) {
    uint32_t n = 0;
    for (const IngDiagEntry* e = list ? list->first : nullptr; e; e = e->next) ++n;
    return n;
}

IngDiagEntry* IngDiagEntryFromRow(uint32_t code) {
    auto* e = static_cast<IngDiagEntry*>(std::calloc(1, sizeof(IngDiagEntry)));
    if (e == nullptr) return nullptr;
    std::snprintf(e->text, sizeof e->text, "%s", IngErrorText(code));
    e->sqlstate = strdup(IngErrorState(code));
    if (e->sqlstate == nullptr) {
        std::free(e);
        return nullptr;
    }
    return e;
}

IngDiagEntry* IngDiagEntryFromText(const char* text, long native, const char* sqlstate) {
    auto* e = static_cast<IngDiagEntry*>(std::calloc(1, sizeof(IngDiagEntry)));
    if (e == nullptr) return nullptr;
    if (text == nullptr) text = "";
    // The message is cut, between characters, so the native code always fits behind it.
    const int keep = int(Utf8CutLength(text, std::strlen(text), 2028));
    std::snprintf(e->text, sizeof e->text, "%.*s (%ld)", keep, text, native);
    e->text[sizeof e->text - 1] = '\0';
    e->native = uint32_t(native);
    e->sqlstate = strdup(sqlstate ? sqlstate : "");
    if (e->sqlstate == nullptr) {
        std::free(e);
        return nullptr;
    }
    return e;
}

void IngDiagPostCode(IngDiagList* list, uint32_t code) {
    if (list == nullptr) return;
    if (!list->keep) IngDiagClear(list);
    IngDiagAppend(list, IngDiagEntryFromRow(code));
}

void IngDiagPostText(IngDiagList* list, const char* text, uint32_t code) {
    if (list == nullptr) return;
    if (!list->keep) IngDiagClear(list);
    IngDiagAppend(list, IngDiagEntryFromText(text, 0, IngErrorState(code)));
}

void IngDiagPostDriver(IngDiagList* list, const char* text, uint32_t code) {
    if (list == nullptr) return;
    if (!list->keep) IngDiagClear(list);
    IngDiagEntry* e = IngDiagEntryFromRow(code);
    if (e == nullptr) return;
    if (text != nullptr) {
        const int keep = int(Utf8CutLength(text, std::strlen(text), sizeof e->text - 1));
        std::snprintf(e->text, sizeof e->text, "%.*s", keep, text);
    }
    e->driver = 1;
    IngDiagAppend(list, e);
}

void IngDiagPostServer(uint32_t* result, const char* sqlstate, const char* message, long native, IngDiagList* list) {
    char state[8];
    if (sqlstate == nullptr || sqlstate[0] == '\0') sqlstate = "S1000";
    std::snprintf(state, sizeof state, "%.5s", sqlstate);
    if (list == nullptr) return;
    // Control characters become blanks; the rest is the server's UTF-8 text as it came.
    char* clean = strdup(message ? message : "");
    if (clean != nullptr) {
        for (char* p = clean; *p; ++p)
            if (static_cast<unsigned char>(*p) < 0x20) *p = ' ';
    }
    if (!list->keep) IngDiagClear(list);
    IngDiagAppend(list, IngDiagEntryFromText(clean ? clean : "", native, state));
    std::free(clean);
    uint32_t row = IngErrorFindState(state);
    if (result != nullptr && *result == 0) *result = row ? row : kErrGeneral;
}

static uint32_t HandOut(IngDiagList* list, AgentErrors* out) {
    if (list->first == nullptr) {
        out->count = 0;
        out->texts = nullptr;
        return 0;
    }
    uint32_t n = IngDiagCount(list);
    char** texts = static_cast<char**>(std::calloc(n, sizeof(char*)));
    if (texts == nullptr) return kErrNoMemory;
    uint32_t i = 0;
    for (IngDiagEntry* e = list->first; e; e = e->next, ++i) {
        if (e->text[0] == '\0') continue;
        const char* st = e->sqlstate ? e->sqlstate : "";
        size_t len = std::strlen(e->text) + std::strlen(st) + 40;
        texts[i] = static_cast<char*>(std::malloc(len));
        if (texts[i] == nullptr) {
            for (uint32_t k = 0; k < i; ++k) std::free(texts[k]);
            std::free(texts);
            return kErrNoMemory;
        }
        std::snprintf(texts[i], len, "%s%s[SQLSTATE:%s]", e->driver ? "[Driver]" : "[IngresII Server]", e->text, st);
    }
    out->native = list->first->native;
    out->count = n;
    out->texts = texts;
    IngDiagClear(list);
    return 0;
}

ErrCode IngGetErrors(uint32_t handle, AgentErrors* out) {
    if (out == nullptr) return kErrBadArg;
    if (IngStmt* s = IngStmtFind(handle)) return ErrCode(HandOut(&s->messages, out));
    if (IngConn* c = IngConnFind(handle)) return ErrCode(HandOut(&c->messages, out));
    if (IngServer* sv = IngServerFind(handle)) {
        std::lock_guard<std::recursive_mutex> guard(sv->lock);
        return ErrCode(HandOut(&sv->messages, out));
    }
    return kErrBadArg;
}
