// One scan or parse of the SQL analyser (scsql_lex.l, scsql.y): the state a run owns, its table of
// interned names, and the way out of the generated code on a fatal scanner error.
#include "scrs/scr_parse.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "scrs/scr_node.h"
#include "scrs/scsql.tab.h"
#include "util/tree.h"
#include "util/strutil.h"

// The generated scanner's interface (reentrant, prefix scsql_).
using ScsqlScanner = void*;
int scsql_lex_init_extra(ScsqlCtx* extra, ScsqlScanner* scanner);
int scsql_lex_destroy(ScsqlScanner scanner);
void* scsql_get_extra(ScsqlScanner scanner);
int scsql_lex(SCSQL_STYPE* lval, void* scanner);

namespace {

int CompareWord(const void* value, const void* key) {
    return AsciiCaseCompare(static_cast<const char*>(key), static_cast<const char*>(value));
}
int CompareExact(const void* value, const void* key) {
    return std::strcmp(static_cast<const char*>(key), static_cast<const char*>(value));
}
int ConstructName(void** value, const void* key) {
    const char* k = static_cast<const char*>(key);
    size_t n = std::strlen(k) + 1;
    void* p = std::malloc(n);
    if (p == nullptr) return 0;
    std::memcpy(p, k, n);
    *value = p;
    return 1;
}
void DestroyName(void*) {}

char* Dup(const char* s) {
    if (s == nullptr) return nullptr;
    size_t n = std::strlen(s) + 1;
    auto* p = static_cast<char*>(std::malloc(n));
    if (p != nullptr) std::memcpy(p, s, n);
    return p;
}

// Owns the context and the scanner of one scan; the context is large (its echo buffer), so
// it lives on the heap.
struct Session {
    ScsqlCtx* ctx = nullptr;
    ScsqlScanner scanner = nullptr;
    bool Open(const char* text, size_t len) {
        ctx = static_cast<ScsqlCtx*>(std::calloc(1, sizeof(ScsqlCtx)));
        if (ctx == nullptr) return false;
        ctx->next = text;
        ctx->end = text + len;
        ctx->words = tree_create(CompareWord, ConstructName, DestroyName);
        ctx->exact = tree_create(CompareExact, ConstructName, DestroyName);
        if (ctx->words == nullptr || ctx->exact == nullptr) return false;
        return scsql_lex_init_extra(ctx, &scanner) == 0;
    }
    ~Session() {
        if (scanner != nullptr) scsql_lex_destroy(scanner);
        if (ctx != nullptr) {
            tree_destroy(ctx->words);
            tree_destroy(ctx->exact);
            std::free(ctx->errText);
            std::free(ctx->message);
            SCR_NodeFree(&ctx->result, nullptr);
            std::free(ctx);
        }
    }
};

}  // namespace

const char* ScsqlIntern(ScsqlCtx* ctx, const char* text, bool exact) {
    TREE_NODE* n = tree_find_or_insert(exact ? ctx->exact : ctx->words, text);
    return n != nullptr ? static_cast<const char*>(n->value) : nullptr;
}

void ScsqlEcho(ScsqlCtx* ctx, const char* text, size_t len) {
    // The echo only serves the error text: beyond its size it stops growing.
    size_t room = sizeof ctx->echo - 1 - ctx->echoPos;
    if (len > room) len = room;
    std::memcpy(ctx->echo + ctx->echoPos, text, len);
    ctx->echoPos += len;
    ctx->echo[ctx->echoPos] = '\0';
}

void ScsqlError(ScsqlCtx* ctx, const char* msg) {
    ctx->echo[ctx->echoPos] = '\0';
    size_t n = ctx->echoPos + 2;
    auto* et = static_cast<char*>(std::malloc(n));
    if (et != nullptr) std::snprintf(et, n, "%s^", ctx->echo);
    std::free(ctx->errText);
    ctx->errText = et;
    std::free(ctx->message);
    ctx->message = Dup(msg);
}

void ScsqlFatal(ScsqlCtx* ctx, const char* msg) {
    ScsqlError(ctx, msg);
    std::longjmp(ctx->fatal, 1);
}

// Kept apart from the C++ objects of the caller: a scanner failure returns here by longjmp.
// 3: the scanner gave up (its buffers could not be had).
static int RunParse(ScsqlCtx* ctx, ScsqlScanner scanner) {
    if (setjmp(ctx->fatal) != 0) return 3;
    return scsql_parse(ctx, scanner);
}

int ScsqlParseText(const char* text, size_t len, SCR_Node** root, char** errText, char** message) {
    *root = nullptr;
    *errText = nullptr;
    *message = nullptr;
    Session s;
    if (!s.Open(text, len)) {
        *message = Dup("memory exhausted");
        return 2;
    }
    int rc = RunParse(s.ctx, s.scanner);
    // Nesting deeper than the parser's stacks is refused ("memory exhausted") as a statement
    // that does not parse; running out of memory is only what the scanner, the nodes or the
    // symbol tables could not get.
    if (rc == 2) rc = 1;
    if (rc == 3) rc = 2;
    // An unterminated literal is reported but scanning goes on without its quote: the tree
    // would then say something the statement does not, so it is not accepted.
    if (rc == 0 && s.ctx->message != nullptr) rc = 1;
    // A node that could not be made usually ends the parse as a syntax error, which it is not.
    if (s.ctx->failed || (rc == 0 && s.ctx->result == nullptr)) {
        rc = 2;
        ScsqlError(s.ctx, "memory exhausted");
    }
    if (rc == 0) {
        *root = s.ctx->result;
        s.ctx->result = nullptr;
    } else {
        // Whatever was built belongs to no statement; the stacks' own nodes went with the parse.
        SCR_NodeFree(&s.ctx->result, nullptr);
    }
    *errText = s.ctx->errText;
    *message = s.ctx->message;
    s.ctx->errText = nullptr;
    s.ctx->message = nullptr;
    return rc == 1 ? 1 : rc == 0 ? 0 : 2;
}

static int RunScan(ScsqlCtx* ctx, ScsqlScanner scanner, ScsqlTokens* out) {
    if (setjmp(ctx->fatal) != 0) return -1;
    SCSQL_STYPE lval;
    while (out->count < int(sizeof out->tokens / sizeof out->tokens[0])) {
        lval.text = nullptr;
        int t = scsql_lex(&lval, scanner);
        if (t == 0) break;
        out->tokens[out->count] = t;
        std::snprintf(out->texts[out->count], sizeof out->texts[0], "%s", lval.text ? lval.text : "");
        ++out->count;
    }
    return out->count;
}

int ScsqlScanAll(const char* text, ScsqlTokens* out) {
    if (text == nullptr || out == nullptr) return -1;
    out->count = 0;
    Session s;
    if (!s.Open(text, std::strlen(text))) return -1;
    return RunScan(s.ctx, s.scanner, out);
}
