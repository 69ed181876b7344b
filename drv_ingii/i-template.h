#pragma once
// SQL template expander: static SQL with 0xFF control codes for arguments and conditional
// sections, expanded into a memory pool. Used for catalog queries and the statements that the
// cursor layer and the SQL analyser build.
//
// Control codes (notation as used in the notation compiler below):
//   FF 01 n            {n}                 argument n (1-based); "NULL" when n is 0 or > count
//   FF 02 id test n    [IF#id TEST n:      section kept when the test on argument n holds
//   FF 03 id test n    [ELSIF#id TEST n:   alternative, tested when the sections before failed
//   FF 04 id           [ELSE#id]           kept when every test before failed
//   FF 05 id           [END#id]            end of the conditional id
// A nested conditional uses another id than the one around it.
#include <cstdint>
#include <string>

struct MPL;

enum : unsigned char {
    SQLT_CTL = 0xFF,
    SQLT_ARG = 1,
    SQLT_IF = 2,
    SQLT_ELSIF = 3,
    SQLT_ELSE = 4,
    SQLT_END = 5,
};

// Tests of a conditional section.
enum : unsigned char {
    SQLT_EMPTY = 1,  // argument absent, exactly "%", empty or blanks only
    SQLT_NOTEMPTY = 2,
    SQLT_WILD = 3,  // argument holds an unescaped "_" or "%" (may strip escapes, see below)
    SQLT_NOWILD = 4,
};

// Appends the expansion of tpl and a closing NUL to the object under construction of pool;
// the caller finishes the object. Arguments are placed as they are (parse-tree regeneration
// places SQL fragments). args may be null when count is 0; entries may be null (absent).
// Always returns 0.
int SqlTemplateExpand(MPL* pool, const char* tpl, char** args, int count);

// The same, but every argument text placed into the result has each "'" doubled, so a name or
// pattern can never end the literal it stands in. Arguments whose bit (1 << (n - 1)) is set in
// raw_args are placed as they are: only for texts the driver builds itself from fixed texts
// (such as a list of quoted type codes).
int SqlTemplateExpandQuoted(MPL* pool, const char* tpl, char** args, int count, uint32_t raw_args);

// Test 1: absent, exactly "%", or blanks only (empty included).
bool SqlTemplateArgEmpty(const char* arg);
// Test 3: true when arg holds a "_" or "%" that is first or not preceded by "\". When it holds
// only escaped wildcards, those escapes are removed in place and the result is false.
bool SqlTemplateArgWild(char* arg);

// New copy (release with free) of text with every "'" doubled; null for null.
char* SqlQuoteDup(const char* text);

// Compiles the readable notation ("{n}", "[IF#id TEST n:", "[ELSIF#id TEST n:", "[ELSE#id]",
// "[END#id]", TEST one of EMPTY NOTEMPTY WILD NOWILD) into template bytes. Anything else,
// including "{" or "[" not starting a code, is copied. Meant for writing templates readably.
std::string SqlTemplateCompile(const char* notation);
