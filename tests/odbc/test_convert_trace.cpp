// The conversion family's lines on the debug trace.
#include "tests/odbc/datapath_fixture.h"
#include "util/trace.h"

#include <unistd.h>

#include <fstream>
#include <sstream>

namespace {

std::string ReadFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST(ConversionTrace, LinesNameTheConversionAndTheCType) {
    char dir[] = "/tmp/tv-convert-trace-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string path = std::string(dir) + "/trace.log";
    setenv("KIV_DEBUGFILE", path.c_str(), 1);
    DebugOpen(0);
    ASSERT_TRUE(DebugTraceOn());

    char buf[40];
    SQLLEN len;
    uint32_t err;
    int32_t v;
    ConvertCHAR(" 42", 3, 3, SQL_C_LONG, &v, 4, &len, &err, 0, 0);
    ConvertDOUBLE(1.5, SQL_C_CHAR, buf, 40, &len, &err, 0, 0);
    const SQL_TIMESTAMP_STRUCT ts{2024, 2, 29, 13, 45, 10, 0};
    ConvertTIMESTAMP(ts, SQL_C_CHAR, buf, 40, &len, 65535, &err);
    OneColumn c(DS_INTEGER, 4);
    FakeStmt st;
    st.ctx.trace = nullptr;  // lines go to the debug trace
    ColumnBinding b = Bind(3, SQL_C_LONG, &v, 4, &len);
    GetColumn(st.ctx, 0, b, c.ds);

    DebugClose(0);
    unsetenv("KIV_DEBUGFILE");
    const std::string text = ReadFile(path);
    for (const char* line :
         {"ConvertCHAR: retBufferLength(4) to SQL_C_LONG", "CharToNumber:  42",
          "ConvertDOUBLE: value (1.5) to SQL_C_CHAR", "ConvertTIMESTAMP: precision,scale (40,65535) to SQL_C_CHAR",
          "ConvertTIMESTAMP temBuf string = 2024-02-29 13:45:10.000000000", "GetColumn: col out of range (3,1)"})
        EXPECT_NE(text.find(line), std::string::npos) << line << "\n" << text;
    std::remove(path.c_str());
    rmdir(dir);
}

}  // namespace
