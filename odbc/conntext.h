#pragma once
// UTF-8 / UTF-16 helpers for the connection code: keyword values, installer calls and
// password scrambling. Conversions are total: malformed input becomes U+FFFD.
#include <sql.h>
#include <sqlucode.h>

#include <cstddef>
#include <string>
#include <vector>

#include "util/utf.h"

namespace conntext {

// NUL-terminated UTF-16 copy of len bytes of UTF-8 (len < 0: up to the NUL).
std::vector<SQLWCHAR> Utf8ToUtf16(const char* s, std::ptrdiff_t len = -1);
// UTF-8 copy of len units of UTF-16 (len < 0: up to the NUL unit).
std::string Utf16ToUtf8(const SQLWCHAR* s, std::ptrdiff_t len = -1);
// Units before the terminating NUL (0 for null).
using ::WideLen;
// Cuts s to at most max bytes without splitting a UTF-8 sequence.
void CutUtf8(std::string& s, std::size_t max);
// UTF-8 of a UTF-16 result from the installer. unixODBC's wide calls widen each byte of the
// (UTF-8) file on its own, sign-extending bytes above 0x7F; such a result is taken back to its
// bytes when they form valid UTF-8, anything else is converted as the UTF-16 it claims to be.
std::string InstallerWideToUtf8(const SQLWCHAR* s);
// True when the text is plain ASCII (unixODBC's wide calls keep only the low byte of each unit).
bool IsAscii(const char* s);
// Case-insensitive ASCII comparison, the way keywords are matched.
bool EqualNoCase(const char* a, std::size_t alen, const char* b);
// malloc'ed copies (null when memory runs out), released with free().
char* HeapCopy(const std::string& s);
SQLWCHAR* HeapCopyW(const std::vector<SQLWCHAR>& s);

}  // namespace conntext
