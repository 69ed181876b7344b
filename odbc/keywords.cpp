#include "odbc/keywords.h"

#include <cstdlib>
#include <cstring>
#include <vector>

#include "odbc/conntext.h"
#include "platform/installer.h"

ConnKeyword ConnKeywordTable[KW_COUNT] = {
    {"DSN", nullptr, 1, 0, 0, nullptr},
    {"UID", "UID", 1, 129, 0, nullptr},
    {"READONLY", "ReadOnly", 1, 5, 0, nullptr},
    {"PWD", "PWD", 0, 129, 0, nullptr},
    {"FBS", "FetchBufferSize", 1, 5, 0, nullptr},
    {"NLB", "NoLoginBox", 1, 5, 0, nullptr},
    {"MAXROWS", "MaxRows", 1, 5, 0, nullptr},
    {"NOAC", "NoAutoCommit", 1, 6, 0, nullptr},
    {"JET", "JET", 1, 6, 0, nullptr},
    {"INGSERVER", "IngServer", 1, 81, 0, nullptr},
    {"NRSSL", "NoRowsetSizeLimit", 1, 6, 0, nullptr},
    {"DRIVER", nullptr, 1, 81, 0, nullptr},
    {"FDSN", "File DSN", 0, 5, 0, nullptr},
    {"INITSQL", "InitialSQL", 1, 81, 0, nullptr},
    {"DYN_CURS_SENSITIVITY", "DynCursSensitivity", 1, 10, 0, nullptr},
    {"FILEDSN", nullptr, 1, 256, 0, nullptr},
    {"SQLDBMSNAME", "SqlDbmsName", 1, 41, 0, nullptr},
    {"GROUP", "GroupName", 1, 32, 0, nullptr},
    {"ROLENAME", "RoleName", 1, 32, 0, nullptr},
    {"ROLEPWD", "RolePwd", 1, 64, 0, nullptr},
    {"EFFUID", "EffectiveUser", 1, 32, 0, nullptr},
    {"DBMSPWD", "DbmsPwd", 1, 64, 0, nullptr},
    {"RTRIMCHAR", "RtrimChar", 1, 5, 0, nullptr},
    {"IV", "IncludeViews", 1, 5, 0, nullptr},
    {"IA", "IncludeAll", 1, 5, 0, nullptr},
};

namespace {

constexpr int kReadBuffer = 255;  // characters read from odbc.ini or a file DSN per entry

using conntext::Utf8ToUtf16;

void ResetTable() {
    for (auto& row : ConnKeywordTable) {
        std::free(row.value);
        row.value = nullptr;
        row.supplied = 0;
    }
}

// ODBC's rule for every keyword: a value that opens with '{' runs to the matching '}', with
// "}}" standing for one '}', and may hold ';' and '='; the braces are not part of it.
void ParseString(const char* text) {
    const char* p = text;
    while (*p) {
        const char* end = std::strchr(p, ';');
        if (!end) end = p + std::strlen(p);
        const char* eq = static_cast<const char*>(std::memchr(p, '=', static_cast<std::size_t>(end - p)));
        std::string value;
        if (eq && eq[1] == '{') {
            const char* q = eq + 2;
            while (*q) {
                if (*q == '}') {
                    if (q[1] != '}') break;
                    ++q;
                }
                value += *q++;
            }
            // Whatever follows the closing brace up to the next ';' is not part of the value.
            end = *q ? std::strchr(q, ';') : q;
            if (!end) end = q + std::strlen(q);
        } else if (eq) {
            value.assign(eq + 1, end);
        }
        if (eq) {
            for (auto& row : ConnKeywordTable) {
                if (!conntext::EqualNoCase(p, static_cast<std::size_t>(eq - p), row.keyword)) continue;
                char* copy = conntext::HeapCopy(value);
                if (copy) {
                    std::free(row.value);
                    row.value = copy;
                    row.supplied = 1;
                }
                break;
            }
        }
        p = *end ? end + 1 : end;
    }
}

// odbc.ini read of section/key; narrow or wide installer call by mode.
// unixODBC's wide calls keep only the low byte of each unit of their arguments, so a name
// outside ASCII is looked up through the narrow call, whose text is the file's own UTF-8.
// wide: the section in UTF-16, when the caller has it already (a connect reads a dozen keys of
// one section).
std::string ReadProfile(const char* section, const char* key, char mode, const std::vector<SQLWCHAR>* wide = nullptr) {
    if (mode == 'W' && conntext::IsAscii(section) && conntext::IsAscii(key)) {
        std::vector<SQLWCHAR> own;
        if (!wide) {
            own = Utf8ToUtf16(section);
            wide = &own;
        }
        const std::vector<SQLWCHAR>& wsection = *wide;
        static const SQLWCHAR wdef[] = {0};
        static const SQLWCHAR wfile[] = {'o', 'd', 'b', 'c', '.', 'i', 'n', 'i', 0};
        std::vector<SQLWCHAR> wkey = Utf8ToUtf16(key);
        SQLWCHAR buf[kReadBuffer + 1] = {0};
        int n = InstGetPrivateProfileStringW(wsection.data(), wkey.data(), wdef, buf, kReadBuffer, wfile);
        if (n <= 0) return std::string();
        buf[kReadBuffer] = 0;
        return conntext::InstallerWideToUtf8(buf);
    }
    char buf[kReadBuffer + 1] = {0};
    int n = InstGetPrivateProfileString(section, key, "", buf, kReadBuffer, "odbc.ini");
    if (n <= 0) return std::string();
    buf[kReadBuffer] = 0;
    return std::string(buf);
}

// Entry of the file DSN's "ODBC" section; false when the installer found nothing.
bool ReadFileDsn(const char* file, const char* keyword, char mode, std::string& out) {
    unsigned short len = 0;
    if (mode == 'W' && conntext::IsAscii(file) && conntext::IsAscii(keyword)) {
        std::vector<SQLWCHAR> wfile = Utf8ToUtf16(file), wapp = Utf8ToUtf16("ODBC"), wkey = Utf8ToUtf16(keyword);
        SQLWCHAR buf[kReadBuffer + 1] = {0};
        if (!InstReadFileDSNW(wfile.data(), wapp.data(), wkey.data(), buf, kReadBuffer, &len)) return false;
        buf[kReadBuffer] = 0;
        out = conntext::InstallerWideToUtf8(buf);
        return true;
    }
    char buf[kReadBuffer + 1] = {0};
    if (!InstReadFileDSN(file, "ODBC", keyword, buf, kReadBuffer, &len)) return false;
    buf[kReadBuffer] = 0;
    out = buf;
    return true;
}

void CompleteTable(char mode) {
    // Noted before the walk: the walk itself never changes them (DSN and FILEDSN have no key).
    std::string dsn = ConnKeywordTable[KW_DSN].value ? ConnKeywordTable[KW_DSN].value : "";
    std::string filedsn = ConnKeywordTable[KW_FILEDSN].value ? ConnKeywordTable[KW_FILEDSN].value : "";
    const char* section = !dsn.empty() ? dsn.c_str() : "Default";
    const std::vector<SQLWCHAR> wsection = Utf8ToUtf16(section);
    for (auto& row : ConnKeywordTable) {
        if (row.supplied || !row.key) continue;
        std::string value;
        if (!dsn.empty()) {
            value = ReadProfile(section, row.key, mode, &wsection);
            if (value.empty() && std::strcmp(row.key, "UID") == 0)
                value = ReadProfile(section, "LastUser", mode, &wsection);
        } else if (!filedsn.empty()) {
            if (!ReadFileDsn(filedsn.c_str(), row.keyword, mode, value)) value.clear();
        } else {
            value = ReadProfile(section, row.key, mode, &wsection);
        }
        conntext::CutUtf8(value, row.maximum > 0 ? row.maximum - 1 : 0);
        char* copy = conntext::HeapCopy(value);
        if (!copy) return;  // out of memory: the connect goes on with what the table holds
        std::free(row.value);
        row.value = copy;
    }
}

}  // namespace

void ConnKeywordParse(const char* text, char mode) {
    ResetTable();
    if (!text) return;
    ParseString(text);
    CompleteTable(mode);
}

const char* ConnKeywordValue(int row) {
    if (row < 0 || row >= KW_COUNT) return nullptr;
    return ConnKeywordTable[row].value;
}

bool ConnKeywordSupplied(int row) {
    if (row < 0 || row >= KW_COUNT) return false;
    return ConnKeywordTable[row].supplied != 0;
}

bool ConnKeywordSet(int row, const char* value, bool supplied) {
    if (row < 0 || row >= KW_COUNT) return false;
    char* copy = nullptr;
    if (value) {
        copy = conntext::HeapCopy(value);
        if (!copy) return false;
    }
    std::free(ConnKeywordTable[row].value);
    ConnKeywordTable[row].value = copy;
    ConnKeywordTable[row].supplied = supplied ? 1 : 0;
    return true;
}

char* DsnDriverName() {
    char* buf = static_cast<char*>(std::calloc(kReadBuffer, 1));
    if (!buf) return nullptr;
    const char* dsn = ConnKeywordTable[KW_DSN].value;
    // An ini file has no unnamed value to stand for a missing name.
    if (dsn && *dsn) InstGetUserThenSystem("ODBC Data Sources", dsn, buf, kReadBuffer);
    buf[kReadBuffer - 1] = 0;
    return buf;
}

std::string DsnReadUid(const char* dsn, char mode) {
    std::string uid = ReadProfile(dsn ? dsn : "", "UID", mode);
    conntext::CutUtf8(uid, 128);
    return uid;
}
