// Long multibyte text read with SQLGetData in small pieces, through the Driver Manager for both
// builds.
#include <chrono>
#include <cstring>
#include <string>
#include <vector>

#include "results_fixture.h"

namespace resultstest {
namespace {

// Characters of one to four UTF-8 bytes (and one or two UTF-16 units), mixed so that every
// small buffer meets a character it cannot hold whole.
const std::string kMixed = "a\xC3\xA9\xE6\x97\xA5\xE6\x9C\xAC\xF0\x9F\x98\x80z\xD0\x96\xE2\x82\xAC";


class Pieces : public ResultsTest {
protected:
    std::string t;
    // A table with the text as long varchar and long nvarchar, built up by doubling so the
    // statement stays short: kMixed times 2^doublings.
    void MakeText(int doublings) {
        t = Make("pieces", "v long varchar, n long nvarchar");
        ASSERT_EQ(SQL_SUCCESS, ExecText(stmt, "insert into " + t + " values ('" + kMixed + "', '" + kMixed + "')"))
            << Diag();
        SQLFreeStmt(stmt, SQL_CLOSE);
        for (int i = 0; i < doublings; ++i) Must("update " + t + " set v = v || v, n = n || n");
    }
    static std::string Repeat(int doublings) {
        std::string s = kMixed;
        for (int i = 0; i < doublings; ++i) s += s;
        return s;
    }
};

// Reads column `col` of the fetched row as SQL_C_CHAR in pieces of `buffer` bytes. Every
// truncated piece holds exactly buffer - 1 bytes and reports what is left; the loop is bounded,
// so a piece that never advances fails instead of hanging.
::testing::AssertionResult ReadNarrow(SQLHSTMT stmt, SQLUSMALLINT col, SQLLEN buffer, const std::string& want) {
    std::string got;
    std::vector<char> buf(size_t(buffer) + 1);
    for (size_t call = 0; call <= want.size() + 2; ++call) {
        SQLLEN len = kPoison();
        std::memset(buf.data(), 0x5A, buf.size());
        const SQLRETURN rc = SQLGetData(stmt, col, SQL_C_CHAR, buf.data(), buffer, &len);
        if (rc == SQL_NO_DATA) {
            if (got == want) return ::testing::AssertionSuccess();
            return ::testing::AssertionFailure() << "read " << got.size() << " bytes of " << want.size();
        }
        if (!SQL_SUCCEEDED(rc)) return ::testing::AssertionFailure() << "call " << call << ": " << DiagText(SQL_HANDLE_STMT, stmt);
        if (len != SQLLEN(want.size() - got.size()))
            return ::testing::AssertionFailure() << "call " << call << " reports " << len << " bytes left, not "
                                                 << want.size() - got.size();
        const size_t n = std::strlen(buf.data());
        if (buf[size_t(buffer)] != 0x5A) return ::testing::AssertionFailure() << "written past the buffer";
        if (rc == SQL_SUCCESS_WITH_INFO) {
            if (DiagText(SQL_HANDLE_STMT, stmt).substr(0, 5) != "01004")
                return ::testing::AssertionFailure() << DiagText(SQL_HANDLE_STMT, stmt);
            if (n != size_t(buffer - 1))
                return ::testing::AssertionFailure() << "call " << call << ": a truncated piece of " << n
                                                     << " bytes in a buffer of " << buffer;
        } else if (n != want.size() - got.size()) {
            return ::testing::AssertionFailure() << "the last piece holds " << n << " bytes";
        }
        got.append(buf.data(), n);
    }
    return ::testing::AssertionFailure() << "no end after " << want.size() + 2 << " calls";
}

// The same as SQL_C_WCHAR: a truncated piece holds (buffer - 2) / 2 units, or one less where
// that keeps a surrogate pair together, and never none.
::testing::AssertionResult ReadWide(SQLHSTMT stmt, SQLUSMALLINT col, SQLLEN buffer, const std::u16string& want) {
    std::u16string got;
    std::vector<SQLWCHAR> buf(size_t(buffer) / 2 + 1);
    const size_t per = size_t(buffer - 2) / 2;
    for (size_t call = 0; call <= want.size() + 2; ++call) {
        SQLLEN len = kPoison();
        const SQLRETURN rc = SQLGetData(stmt, col, SQL_C_WCHAR, buf.data(), buffer, &len);
        if (rc == SQL_NO_DATA) {
            if (got == want) return ::testing::AssertionSuccess();
            return ::testing::AssertionFailure() << "read " << got.size() << " units of " << want.size();
        }
        if (!SQL_SUCCEEDED(rc)) return ::testing::AssertionFailure() << "call " << call << ": " << DiagText(SQL_HANDLE_STMT, stmt);
        if (len != SQLLEN(2 * (want.size() - got.size())))
            return ::testing::AssertionFailure() << "call " << call << " reports " << len << " bytes left, not "
                                                 << 2 * (want.size() - got.size());
        size_t n = 0;
        while (n <= per && buf[n] != 0) ++n;
        const bool whole = rc == SQL_SUCCESS ? n == want.size() - got.size() : n == per || (n + 1 == per && n > 0);
        if (!whole) return ::testing::AssertionFailure() << "call " << call << ": a piece of " << n << " units";
        got.append(reinterpret_cast<const char16_t*>(buf.data()), n);
    }
    return ::testing::AssertionFailure() << "no end after " << want.size() + 2 << " calls";
}

TEST_P(Pieces, SmallBuffersReadEveryByteOfMultibyteTextOnceAndEnd) {
    const int doublings = 6;  // 1280 bytes
    ASSERT_NO_FATAL_FAILURE(MakeText(doublings));
    const std::string text = Repeat(doublings);
    const std::u16string wide = Utf16(text);
    for (SQLUSMALLINT col : {1, 2}) {
        for (SQLLEN buffer : {2, 3, 4, 5, 6, 7, 8, 512}) {
            SCOPED_TRACE(testing::Message() << "column " << col << ", SQL_C_CHAR, buffer " << buffer);
            ASSERT_EQ(SQL_SUCCESS, Exec("select v, n from " + t)) << Diag();
            ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt)) << Diag();
            EXPECT_TRUE(ReadNarrow(stmt, col, buffer, text));
            SQLFreeStmt(stmt, SQL_CLOSE);
        }
        for (SQLLEN buffer : {4, 5, 6, 8, 512}) {
            SCOPED_TRACE(testing::Message() << "column " << col << ", SQL_C_WCHAR, buffer " << buffer);
            ASSERT_EQ(SQL_SUCCESS, Exec("select v, n from " + t)) << Diag();
            ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt)) << Diag();
            EXPECT_TRUE(ReadWide(stmt, col, buffer, wide));
            SQLFreeStmt(stmt, SQL_CLOSE);
        }
    }
}

// Each piece costs what it converts: counting the rest of the value at every piece (what the
// length reported needs) makes a read in pieces quadratic. Ten MiB in pieces of 1 KiB take
// thousands of pieces: linear, the whole read is a second or two even under the sanitizers;
// quadratic, each piece scans megabytes again and the read takes many minutes. The bound is
// generous for a loaded machine and the loop gives up as soon as it is passed.
TEST_P(Pieces, LongTextReadsInPiecesOfTheOtherEncodingInLinearTime) {
    const int doublings = 19;  // 19 bytes * 2^19: 9.5 MiB
    ASSERT_NO_FATAL_FAILURE(MakeText(doublings));
    const size_t bytes = kMixed.size() << doublings;
    const size_t units = Utf16(kMixed).size() << doublings;
    const auto bound = std::chrono::seconds(60);
    // The narrow column read as wide text, and the wide one read as narrow text.
    for (auto [col, cType] : {std::pair{SQLUSMALLINT(1), SQLSMALLINT(SQL_C_WCHAR)}, {SQLUSMALLINT(2), SQL_C_CHAR}}) {
        SCOPED_TRACE(testing::Message() << "column " << col);
        ASSERT_EQ(SQL_SUCCESS, Exec("select v, n from " + t)) << Diag();
        ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt)) << Diag();
        const auto start = std::chrono::steady_clock::now();
        std::vector<char> buf(1024);
        size_t read = 0, pieces = 0;
        SQLRETURN rc;
        SQLLEN len = 0;
        while ((rc = SQLGetData(stmt, col, cType, buf.data(), SQLLEN(buf.size()), &len)) == SQL_SUCCESS_WITH_INFO) {
            ++pieces;
            if (cType == SQL_C_WCHAR) {
                size_t n = 0;
                while (n < buf.size() / 2 && reinterpret_cast<const SQLWCHAR*>(buf.data())[n] != 0) ++n;
                read += n;
            } else {
                read += buf.size() - 1;
            }
            ASSERT_LT(std::chrono::steady_clock::now() - start, bound)
                << "after " << pieces << " pieces, " << read << " units";
        }
        ASSERT_EQ(SQL_SUCCESS, rc) << Diag();
        read += cType == SQL_C_WCHAR ? size_t(len) / 2 : size_t(len);
        EXPECT_EQ(cType == SQL_C_WCHAR ? units : bytes, read);
        EXPECT_GT(pieces, 5000u);
        SQLFreeStmt(stmt, SQL_CLOSE);
    }
}

INSTANTIATE_TEST_SUITE_P(Builds, Pieces, ::testing::ValuesIn(DriverBuilds()),
                         [](const auto& info) { return BuildName(info.param); });

}  // namespace
}  // namespace resultstest
