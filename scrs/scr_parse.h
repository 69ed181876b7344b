// Shared state of one scan and parse of the SQL analyser (scanner scsql_lex.l, grammar
// scsql.y). Every scan and parse owns one of these; callers hold the parser mutex around it.
#pragma once

#include <csetjmp>
#include <cstddef>
#include <cstdint>

struct SCR_Node;
struct TREE;

struct ScsqlCtx {
    const char* next;  // next input byte
    const char* end;   // end of the input
    TREE* words;       // symbol table of words, compared without regard to case
    TREE* exact;       // symbol table of literals and quoted names, compared exactly
    char echo[20000];  // scanned text since the last statement keyword, blanks squeezed
    size_t echoPos;
    bool lastWord;     // the previous token was a word that ends where this one starts
    SCR_Node* result;  // the statement's tree once accepted
    char* errText;     // echo up to the error and "^"
    char* message;
    bool failed;         // memory ran out while building nodes or interning
    std::jmp_buf fatal;  // where the scanner's fatal errors return to
};

// Interns text (case-insensitive unless exact); null without memory.
const char* ScsqlIntern(ScsqlCtx* ctx, const char* text, bool exact);
// The error routine: keeps the echo and "^" as the error text and msg as the message.
void ScsqlError(ScsqlCtx* ctx, const char* msg);
void ScsqlEcho(ScsqlCtx* ctx, const char* text, size_t len);
[[noreturn]] void ScsqlFatal(ScsqlCtx* ctx, const char* msg);

// Scans and parses text[0..len); 0 accepted (*root set), 1 syntax error (nesting too deep
// included), 2 memory exhausted.
// *errText and *message receive heap copies (or null).
int ScsqlParseText(const char* text, size_t len, SCR_Node** root, char** errText, char** message);

// Token stream only (for tests and diagnosis): fills up to max token numbers and their
// texts (interned, valid until the next call on this thread) and returns the count, or -1.
struct ScsqlTokens {
    int count;
    int tokens[256];
    char texts[256][64];
};
int ScsqlScanAll(const char* text, ScsqlTokens* out);
