// A connected agent session through the operation table against the embedded engine, a new
// database for each, with statements, parameter Datasets built by hand and fetched blocks read
// back. The agent's and the cursor layer's tests build on it.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

#include "tests/support/temp_dirs_fixture.h"
#include "odbc/globals.h"
#include "drv_ingii/i-desc.h"
#include "drv_ingii/i-errtab.h"
#include "drv_ingii/i-glob.h"
#include "drv_ingii/i-optable.h"
#include "iiapi/iiapi.h"
#include "util/dataset.h"

namespace stmttest {

// A data directory for the program: one another fixture of the program set up already is
// kept (its databases live there), else a new one, removed at exit.
inline void UseTempDataDir() {
    static std::string dir = tvtest::EngineDataDir("tv-stmt-", true);
    // Databases go where the engine looks now (another fixture may have moved it).
    (void)dir;
}

inline std::string NewDatabase() {
    UseTempDataDir();
    static std::atomic<int> n{0};
    std::string name = "stmt" + std::to_string(getpid()) + "x" + std::to_string(n.fetch_add(1));
    std::string err;
    EXPECT_TRUE(tvtest::CreateDatabase(name, &err)) << err;
    return name;
}

// A connected agent session and the link its calls go through.
class AgentSession : public ::testing::Test {
protected:
    AgentLink link{};
    uint32_t server = 0;
    uint32_t conn = 0;
    std::string db;

    void Open(bool unicode = false, bool noAutocommit = false, bool sample = false) {
        db = NewDatabase();
        if (sample) {
            char err[512] = {};
            ASSERT_EQ(iiengine_loadSample(db.c_str(), "owner", nullptr, err, sizeof err), 0) << err;
        }
        AgentStackInstall(&link);
        ASSERT_EQ(AgentCall<DRV_ServerAlloc>(&link, nullptr, &server), 0u);
        IngConnectParams p{};
        p.marker = unicode ? "W\x7F\x01\x01" : "";
        p.database = db.c_str();
        p.user = sample ? "owner" : nullptr;
        IngDsnSettings settings{};
        settings.noAutoCommit = noAutocommit ? 1 : 0;
        p.settings = &settings;
        uint32_t rc = AgentCall<DRV_Connect>(&link, server, &p, &conn);
        ASSERT_EQ(rc, 0u) << Errors(server);
    }
    void SetUp() override { Open(); }
    void TearDown() override {
        for (uint32_t s : stmts) AgentCall<DRV_FreeStmt>(&link, s);
        if (conn) AgentCall<DRV_Disconnect>(&link, conn);
        if (server) AgentCall<DRV_ServerFree>(&link, server);
    }

    std::vector<uint32_t> stmts;
    uint32_t Stmt() {
        uint32_t s = 0;
        EXPECT_EQ(AgentCall<DRV_AllocStmt>(&link, conn, &s), 0u);
        stmts.push_back(s);
        return s;
    }

    std::string Errors(uint32_t h) {
        AgentErrors e{};
        if (AgentCall<DRV_GetErrors>(&link, h, &e) != 0) return "(no errors)";
        std::string out;
        for (uint32_t i = 0; i < e.count; ++i)
            if (e.texts[i]) out += std::string(e.texts[i]) + "\n";
        AgentErrorsFree(&e);
        return out;
    }

    // Prepares and executes a statement without parameters.
    uint32_t Run(uint32_t s, const char* sql) {
        uint32_t rc = AgentCall<DRV_Prepare>(&link, s, sql);
        if (rc == 0) rc = AgentCall<DRV_Execute>(&link, s);
        return rc;
    }
    void Exec(const char* sql) {
        uint32_t s = Stmt();
        ASSERT_EQ(Run(s, sql), 0u) << sql << "\n" << Errors(s);
    }
};

// Builds a parameter Dataset column by column.
struct ParamSet {
    Dataset* ds = nullptr;
    explicit ParamSet(std::vector<std::pair<uint32_t, uint32_t>> kindsAndLengths, uint32_t rows) {
        ds = static_cast<Dataset*>(std::calloc(1, sizeof(Dataset)));
        DatasetInit(ds, uint16_t(kindsAndLengths.size()));
        for (size_t i = 0; i < kindsAndLengths.size(); ++i) {
            ds->cols[i].kind = kindsAndLengths[i].first;
            ds->cols[i].width = DatasetWidth(kindsAndLengths[i].first, kindsAndLengths[i].second);
        }
        ds->col_count = uint16_t(kindsAndLengths.size());
        DatasetAllocRows(ds, rows);
        ds->rows_used = rows;
    }
    uint8_t* Cell(uint16_t c, uint32_t r) {
        ds->cols[c].indicators[r] = DS_IND_VALUE;
        return DatasetCell(&ds->cols[c], r);
    }
    void Text(uint16_t c, uint32_t r, const std::string& t) { std::memcpy(Cell(c, r), t.c_str(), t.size() + 1); }
    template <class T>
    void Put(uint16_t c, uint32_t r, T v) {
        std::memcpy(Cell(c, r), &v, sizeof v);
    }
    void Ref(uint16_t c, uint32_t r, const void* bytes, uint32_t len) { DatasetSetRef(ds, r, c, bytes, len); }
    void Null(uint16_t c, uint32_t r) { ds->cols[c].indicators[r] = DS_IND_NULL; }
    // The agent takes the Dataset over.
    Dataset* Give() {
        Dataset* d = ds;
        ds = nullptr;
        return d;
    }
    ~ParamSet() {
        if (ds) DatasetDelete(ds);
    }
};

// A fetched block, freed at scope end.
struct Block {
    Dataset ds{};
    ~Block() { DatasetFree(&ds); }
    std::string Text(uint16_t c, uint32_t r) const {
        const DatasetColumn& col = ds.cols[c];
        const uint8_t* cell = DatasetCell(&col, r);
        switch (col.kind) {
            case DS_CHAR_NTS:
                return reinterpret_cast<const char*>(cell);
            case DS_CHAR_LEN2: {
                uint16_t n;
                std::memcpy(&n, cell, 2);
                return std::string(reinterpret_cast<const char*>(cell + 2), n);
            }
            case DS_CHAR_REF:
            case DS_BINARY_REF: {
                DsRef ref = DatasetRefGet(cell);
                return ref.ptr ? std::string(static_cast<const char*>(ref.ptr), ref.length) : std::string();
            }
            case DS_BINARY_LEN4: {
                uint32_t n;
                std::memcpy(&n, cell, 4);
                return std::string(reinterpret_cast<const char*>(cell + 4), n);
            }
            default:
                return "(kind " + std::to_string(col.kind) + ")";
        }
    }
    template <class T>
    T Get(uint16_t c, uint32_t r) const {
        T v;
        std::memcpy(&v, DatasetCell(&ds.cols[c], r), sizeof v);
        return v;
    }
    bool IsNull(uint16_t c, uint32_t r) const { return ds.cols[c].indicators[r] == DS_IND_NULL; }
};

}  // namespace stmttest
