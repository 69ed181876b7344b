// A cursor-layer description context over an agent session on the sample database.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/agent_stmt_fixture.h"
#include "drv_ingii/i-cat.h"
#include "drv_ingii/i-diag.h"
#include "scrs/ks.h"
#include "scrs/sc_coldesc.h"
#include "scrs/scr_analyse.h"
#include "util/hash.h"
#include "util/scrarray.h"

namespace keystest {

class DescSession : public stmttest::AgentSession {
protected:
    SCS_DescCtx ctx{};
    SCR_Analysis an{};
    SCR_Array* tables = nullptr;
    IngDiagList msgs{};
    uint32_t aux = 0;
    bool unicode = false;  // a wide connection: catalog text arrives as UTF-16
    // Catalog calls seen through the counting table.
    static inline int calls[66] = {};
    // Per slot: 1 refuses the call as not capable; 2 asks for a table that does not exist.
    static inline int mode[66] = {};
    static inline std::string only;  // when set, mode applies only to this table
    AgentFuncTable counting{};
    AgentLink countLink{};

    void SetUp() override {
        Open(unicode, false, true);
        aux = Stmt();
        counting = *link.table;
        Hook<DRV_DDSpecialColumns>();
        Hook<DRV_DDStatistics>();
        Hook<DRV_DDPrimaryKeys>();
        Hook<DRV_DDColumns>();
        Hook<DRV_DDTables>();
        countLink = {link.word, &counting};
        ResetCalls();
        ResetModes();
        ctx.lower = &countLink;
        ctx.auxStmt = aux;
        ctx.messages = &msgs;
        ctx.quote = '"';
        ctx.identCase = 2;
        ctx.quotedCase = 3;
        ctx.userName = "owner";
        ctx.dbmsName = "INGRES";
        SCR_AnalysisInit(&an);
        logs.clear();
        IngSetLogHook([](int, const char* text) { logs.push_back(text); });
    }
    static inline std::vector<std::string> logs;
    static bool Logged(const std::string& text) {
        for (const auto& l : logs)
            if (l.find(text) != std::string::npos) return true;
        return false;
    }
    void TearDown() override {
        SCS_DescCtxRelease(&ctx);
        KS_KeyColCacheFree(ctx.keyCache);
        SCR_ArrayFree(&tables, SCR_TableRefFree);
        SCR_AnalysisFree(&an);
        IngDiagClear(&msgs);
        IngSetLogHook(nullptr);
        AgentSession::TearDown();
    }

    template <class F>
    struct RecordOf;
    template <class R>
    struct RecordOf<ErrCode (*)(uint32_t, const R*)> {
        using type = R;
    };

    template <int S>
    void Hook() {
        using R = typename RecordOf<AgentSlotType<S>>::type;
        static AgentSlotType<S> real;
        real = AgentSlotGet<S>(link.table);
        counting.*AgentSlotSig<S>::field = +[](uint32_t stmt, const R* args) -> ErrCode {
            ++calls[S];
            bool applies = only.empty() || (args && args->table && only == args->table);
            if (applies && mode[S] == 1) return ErrCode(43u);
            // Tables: 3 widens an owner-less look-up to every "e..." table, 4 widens every look-up.
            if constexpr (S == DRV_DDTables) {
                if (mode[S] == 4 || (mode[S] == 3 && args->schema && std::string(args->schema) == "%")) {
                    char pat[] = "e%";
                    R a = *args;
                    a.table = pat;
                    return real(stmt, &a);
                }
            }
            if (applies && mode[S] == 2) {
                R a = *args;
                a.table = "no_such_table";
                return real(stmt, &a);
            }
            return real(stmt, args);
        };
    }
    static void ResetCalls() {
        for (int& c : calls) c = 0;
    }
    static void ResetModes() {
        for (int& m : mode) m = 0;
        only.clear();
    }

    // Analyses sql and resolves its tables; returns the resolution's code.
    uint32_t Analyse(const char* sql) {
        SCR_AnalysisFree(&an);
        SCR_AnalysisInit(&an);
        EXPECT_EQ(SCR_AnalyseSQL(&an, sql, 0, 1), 0u) << sql;
        SCR_ArrayFree(&tables, SCR_TableRefFree);
        tables = SCR_ArrayCreate(sizeof(SCR_TableRef));
        EXPECT_EQ(SCR_TablesGet(&an, tables, 1), 0u);
        ctx.analysis = &an;
        ctx.tables = tables;
        ctx.shapeFlags = an.flags;
        return scs_p_GetTblDescs(&ctx, tables, tables->count);
    }
    SCR_TableRef* Table(uint32_t i) { return static_cast<SCR_TableRef*>(SCR_ArrayAt(tables, i)); }

    static std::vector<std::string> Columns(const SCR_Array* arr) {
        std::vector<std::string> out;
        for (uint32_t i = 0; arr && i < arr->count; ++i)
            out.push_back(static_cast<const ColDesc*>(SCR_ArrayAt(arr, i))->column);
        return out;
    }
    static const ColDesc* At(const SCR_Array* arr, uint32_t i) {
        return static_cast<const ColDesc*>(SCR_ArrayAt(arr, i));
    }
};

}  // namespace keystest
