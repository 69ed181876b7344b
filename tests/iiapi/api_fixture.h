// Drives the raw IIapi_* calls for the engine's tests.
#pragma once

#include "iiapi/iiapi.h"

#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace apitest {

struct Msg {
    std::string sqlstate;
    long native = 0;
    std::string text;
};

std::vector<Msg> drain(II_PTR errorHandle);
// The text of the first message, or "" when there is none (for failure output).
std::string firstMessage(const std::vector<Msg>& msgs);

// Waits the way a client does, then gives the call's status.
IIAPI_STATUS finish(IIAPI_GENPARM& gp);

struct Param {
    IIAPI_DESCRIPTOR d{};
    std::string bytes;
    bool null = false;
    std::string name;
};

Param pInt(long long v, int len = 4);
Param pFloat(double v, int len = 8);
Param pChar(const std::string& s);
Param pVarchar(const std::string& s, int declared = 0);
Param pNChar(const std::u16string& s);
Param pNVarchar(const std::u16string& s);
Param pByte(const std::string& s);
Param pVarbyte(const std::string& s);
Param pLong(int16_t type, const std::string& bytes);  // long varchar / long byte / long nvarchar
Param pDecimal(const std::string& text, int precision, int scale);
Param pMoney(double v);
Param pDate(int16_t type, const std::string& text);
Param pBool(bool v);
Param pNull(int16_t type, int len);
Param pService(const std::string& s);

struct Result {
    IIAPI_STATUS status = IIAPI_ST_SUCCESS;  // first failing status, or success
    std::vector<Msg> msgs;
    std::vector<IIAPI_DESCRIPTOR> desc;
    std::vector<std::string> names;
    std::vector<std::vector<std::optional<std::string>>> rows;  // values as text (convertData)
    long rowCount = -1;
    long procReturn = 0;
    bool hasProcReturn = false;
    II_PTR stmt = nullptr;  // closed unless keepOpen
};

class Session {
public:
    Session() = default;
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    IIAPI_STATUS connect(II_PTR env, const std::string& target, const char* user = nullptr,
                         const char* password = nullptr, std::vector<Msg>* msgs = nullptr);
    IIAPI_STATUS disconnect();

    // Runs a statement of the given type with parameters and reads all its rows (one row per
    // call with `block` rows per getColumns call).
    Result run(const std::string& text, const std::vector<Param>& params = {}, long queryType = IIAPI_QT_QUERY,
               int block = 1);
    Result exec(const std::string& text) { return run(text); }
    IIAPI_STATUS commit(std::vector<Msg>* msgs = nullptr);
    IIAPI_STATUS rollback();

    // Starts a query and stops before any row is read.
    II_PTR open(const std::string& text, const std::vector<Param>& params, long queryType, IIAPI_STATUS& st,
                std::vector<Msg>* msgs = nullptr);
    static IIAPI_STATUS close(II_PTR stmt);

    II_PTR conn = nullptr;
    II_PTR tran = nullptr;
    long sizeAdvise = 0;
    long apiLevel = 0;
};

// Fetches one row of an open statement with a single column into the buffer at value; gives the
// call's status and, when asked, its messages.
IIAPI_STATUS fetchOne(II_PTR stmt, void* value, std::vector<Msg>* msgs = nullptr);
// Reads the descriptors of an open statement (copies); on failure, its messages when asked.
IIAPI_STATUS descriptors(II_PTR stmt, std::vector<IIAPI_DESCRIPTOR>& desc, std::vector<std::string>& names,
                         std::vector<Msg>* msgs = nullptr);
// Converts one value to text with IIapi_convertData.
std::optional<std::string> toText(const IIAPI_DESCRIPTOR& d, const IIAPI_DATAVALUE& v);

// The process environment for all tests: initialise once, data directory in a temp folder.
II_PTR environment();
// A new, empty database; returns its name.
std::string freshDatabase(const char* user = nullptr, const char* password = nullptr);

// A fresh database holding the sample data, connected as its owner ("owner").
class SampleDatabase : public ::testing::Test {
protected:
    void SetUp() override;
    std::string db;
    Session s;
};

// A text value without its trailing blanks; "<null>" for NULL.
std::string trimmed(const std::optional<std::string>& v);

// Checks the one column of a one-row result: its type (a decimal's precision and scale too) and,
// unless null, its value as text. what names the case in failures.
void expectOneValue(const Result& r, const std::string& what, int16_t type, int16_t precision, int16_t scale,
                    const char* value);

}  // namespace apitest
