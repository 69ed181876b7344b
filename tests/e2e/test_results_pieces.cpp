// Long multibyte text read with SQLGetData in small pieces, and exact numbers read into integer C
// types, through the Driver Manager for both builds.
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
        if (!SQL_SUCCEEDED(rc))
            return ::testing::AssertionFailure() << "call " << call << ": " << DiagText(SQL_HANDLE_STMT, stmt);
        if (len != SQLLEN(want.size() - got.size()))
            return ::testing::AssertionFailure()
                   << "call " << call << " reports " << len << " bytes left, not " << want.size() - got.size();
        const size_t n = std::strlen(buf.data());
        if (buf[size_t(buffer)] != 0x5A) return ::testing::AssertionFailure() << "written past the buffer";
        if (rc == SQL_SUCCESS_WITH_INFO) {
            if (DiagText(SQL_HANDLE_STMT, stmt).substr(0, 5) != "01004")
                return ::testing::AssertionFailure() << DiagText(SQL_HANDLE_STMT, stmt);
            if (n != size_t(buffer - 1))
                return ::testing::AssertionFailure()
                       << "call " << call << ": a truncated piece of " << n << " bytes in a buffer of " << buffer;
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
        if (!SQL_SUCCEEDED(rc))
            return ::testing::AssertionFailure() << "call " << call << ": " << DiagText(SQL_HANDLE_STMT, stmt);
        if (len != SQLLEN(2 * (want.size() - got.size())))
            return ::testing::AssertionFailure()
                   << "call " << call << " reports " << len << " bytes left, not " << 2 * (want.size() - got.size());
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
// length reported needs) makes a read in pieces quadratic. Five MiB in pieces of 256 bytes take
// some twenty thousand pieces: linear, the whole read is a second or two even under the
// sanitizers; quadratic, each piece scans megabytes again and the read takes many minutes (as
// many as ten MiB in pieces of 1 KiB would: the scans grow with the square of the length over
// the piece). The bound is generous for a loaded machine and the loop gives up as soon as it is
// passed.
TEST_P(Pieces, LongTextReadsInPiecesOfTheOtherEncodingInLinearTime) {
    const int doublings = 18;  // 19 bytes * 2^18: 4.75 MiB
    ASSERT_NO_FATAL_FAILURE(MakeText(doublings));
    const size_t bytes = kMixed.size() << doublings;
    const size_t units = Utf16(kMixed).size() << doublings;
    const auto bound = std::chrono::seconds(60);
    // The narrow column read as wide text, and the wide one read as narrow text, each selected
    // alone: the fetch of the row moves only the value read.
    for (auto [column, cType] : {std::pair{"v", SQLSMALLINT(SQL_C_WCHAR)}, {"n", SQL_C_CHAR}}) {
        SCOPED_TRACE(testing::Message() << "column " << column);
        const SQLUSMALLINT col = 1;
        ASSERT_EQ(SQL_SUCCESS, Exec(std::string("select ") + column + " from " + t)) << Diag();
        ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt)) << Diag();
        const auto start = std::chrono::steady_clock::now();
        std::vector<char> buf(256);
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

using Decimals = ResultsTest;

// A scaled DECIMAL read into the integer C types converts: dropped fraction digits are 01S07,
// a value that does not fit 22003.
TEST_P(Decimals, ScaledDecimalsReadIntoIntegerTypes) {
    struct Case {
        const char* value;
        SQLSMALLINT cType;
        SQLRETURN rc;
        const char* state;  // "" for none
        long long expect;
    } cases[] = {
        {"1600.00", SQL_C_SLONG, SQL_SUCCESS, "", 1600},
        {"1600.00", SQL_C_SBIGINT, SQL_SUCCESS, "", 1600},
        {"1600.00", SQL_C_SSHORT, SQL_SUCCESS, "", 1600},
        {"1600.00", SQL_C_UBIGINT, SQL_SUCCESS, "", 1600},
        {"2.50", SQL_C_SLONG, SQL_SUCCESS_WITH_INFO, "01S07", 2},
        {"2.50", SQL_C_SBIGINT, SQL_SUCCESS_WITH_INFO, "01S07", 2},
        {"2.50", SQL_C_SSHORT, SQL_SUCCESS_WITH_INFO, "01S07", 2},
        {"2.50", SQL_C_UBIGINT, SQL_SUCCESS_WITH_INFO, "01S07", 2},
        {"-2.50", SQL_C_SLONG, SQL_SUCCESS_WITH_INFO, "01S07", -2},
        {"-2.50", SQL_C_UBIGINT, SQL_ERROR, "range", 0},
        {"-0.50", SQL_C_UBIGINT, SQL_SUCCESS_WITH_INFO, "01S07", 0},
        {"99999999.99", SQL_C_SSHORT, SQL_ERROR, "range", 0},
        {"99999999.99", SQL_C_SLONG, SQL_SUCCESS_WITH_INFO, "01S07", 99999999},
        {"40000.00", SQL_C_SSHORT, SQL_ERROR, "range", 0},
        {"-32768.00", SQL_C_SSHORT, SQL_SUCCESS, "", -32768},
        {"1.00", SQL_C_BIT, SQL_SUCCESS, "", 1},
        {"1.50", SQL_C_BIT, SQL_SUCCESS_WITH_INFO, "01S07", 1},
    };
    const std::string t = Make("decint", "k integer, d decimal(10,2)");
    int k = 0;
    for (const Case& c : cases) Must("insert into " + t + " values (" + std::to_string(++k) + ", " + c.value + ")");
    k = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.value << " as C type " << c.cType);
        ASSERT_EQ(SQL_SUCCESS, Exec("select d from " + t + " where k = " + std::to_string(++k))) << Diag();
        ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt)) << Diag();
        alignas(8) unsigned char buf[8] = {};
        SQLLEN ind = kPoison();
        const SQLRETURN rc = SQLGetData(stmt, 1, c.cType, buf, sizeof buf, &ind);
        EXPECT_EQ(c.rc, rc) << Diag();
        // Out of range is told by its message, whichever SQLSTATE form the environment maps it to.
        if (std::string(c.state) == "range") {
            EXPECT_NE(std::string::npos, Diag().find("Numeric value out of range")) << Diag();
        } else if (*c.state) {
            EXPECT_EQ(c.state, Diag().substr(0, 5));
        }
        if (SQL_SUCCEEDED(rc)) {
            long long v = 0;
            switch (c.cType) {
                case SQL_C_SSHORT: {
                    int16_t s;
                    std::memcpy(&s, buf, 2);
                    v = s;
                    EXPECT_EQ(SQLLEN(2), ind);
                    break;
                }
                case SQL_C_SLONG: {
                    int32_t s;
                    std::memcpy(&s, buf, 4);
                    v = s;
                    EXPECT_EQ(SQLLEN(4), ind);
                    break;
                }
                case SQL_C_BIT:
                    v = buf[0];
                    break;
                default:
                    std::memcpy(&v, buf, 8);
                    EXPECT_EQ(SQLLEN(8), ind);
            }
            EXPECT_EQ(c.expect, v);
        }
        SQLFreeStmt(stmt, SQL_CLOSE);
    }
    // A bound column takes the same road at fetch.
    SQLINTEGER bound = 0;
    SQLLEN ind = 0;
    ASSERT_EQ(SQL_SUCCESS, Exec("select d from " + t + " where k = 5")) << Diag();
    ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt, 1, SQL_C_SLONG, &bound, 0, &ind));
    EXPECT_EQ(SQL_SUCCESS_WITH_INFO, SQLFetch(stmt)) << Diag();
    EXPECT_EQ("01S07", Diag().substr(0, 5));
    EXPECT_EQ(2, bound);
    SQLFreeStmt(stmt, SQL_CLOSE);
    SQLFreeStmt(stmt, SQL_UNBIND);
}

TEST_P(Decimals, InputOutputDecimalParameterReadsIntoAnInteger) {
    const std::string p = "pdecio" + std::string(GetParam().wide ? "_w" : "_n");
    Exec("drop procedure " + p);
    SQLFreeStmt(stmt, SQL_CLOSE);
    Must("CREATE PROCEDURE " + p + " (INOUT c decimal(9,2)) AS BEGIN c = c * 2 + 0.5; END");
    const std::string call = "{call " + p + "(?)}";
    ASSERT_EQ(SQL_SUCCESS, SQLPrepare(stmt, (SQLCHAR*)call.c_str(), SQL_NTS)) << Diag();
    SQLINTEGER c = 800;
    SQLLEN ind = 0;
    ASSERT_EQ(SQL_SUCCESS,
              SQLBindParameter(stmt, 1, SQL_PARAM_INPUT_OUTPUT, SQL_C_SLONG, SQL_DECIMAL, 9, 2, &c, 0, &ind));
    EXPECT_EQ(SQL_SUCCESS_WITH_INFO, SQLExecute(stmt)) << Diag();
    EXPECT_EQ("01S07", Diag().substr(0, 5));
    EXPECT_EQ(1600, c);
    EXPECT_EQ(SQLLEN(4), ind);
    SQLFreeStmt(stmt, SQL_CLOSE);
    SQLFreeStmt(stmt, SQL_RESET_PARAMS);
    // A value without a fraction comes back without a warning.
    SQLBIGINT big = 1000;
    Must("drop procedure " + p);
    Must("CREATE PROCEDURE " + p + " (INOUT c decimal(9,2)) AS BEGIN c = c * 2; END");
    ASSERT_EQ(SQL_SUCCESS, SQLPrepare(stmt, (SQLCHAR*)call.c_str(), SQL_NTS)) << Diag();
    ASSERT_EQ(SQL_SUCCESS,
              SQLBindParameter(stmt, 1, SQL_PARAM_INPUT_OUTPUT, SQL_C_SBIGINT, SQL_DECIMAL, 9, 2, &big, 0, &ind));
    EXPECT_EQ(SQL_SUCCESS, SQLExecute(stmt)) << Diag();
    EXPECT_EQ(2000, big);
    SQLFreeStmt(stmt, SQL_CLOSE);
    SQLFreeStmt(stmt, SQL_RESET_PARAMS);
    Must("drop procedure " + p);
}

INSTANTIATE_TEST_SUITE_P(Builds, Pieces, ::testing::ValuesIn(DriverBuilds()),
                         [](const auto& info) { return BuildName(info.param); });
INSTANTIATE_TEST_SUITE_P(Builds, Decimals, ::testing::ValuesIn(DriverBuilds()),
                         [](const auto& info) { return BuildName(info.param); });

}  // namespace
}  // namespace resultstest
