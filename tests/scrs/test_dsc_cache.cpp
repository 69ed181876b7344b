// The dataset cache over a scripted lower fetch: rows kept in memory up to 5000, spilled to two
// private temporary files beyond, windows read back, and the files' names, creation and removal.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <string>

#include "scrs/dsc.h"
#include "scrs/ss.h"
#include "util/trymem.h"
#include "tests/scrs/dsc_fixture.h"

using namespace dsc_test;

namespace {

// A result of `rows` rows: column 0 the row number, column 1 text ("r" + number) held by
// reference when `byRef`, else in a fixed NUL-terminated element.
struct Script {
    uint32_t rows = 0;
    uint32_t next = 0;
    bool byRef = false;
    uint32_t failAtCall = 0;  // 1-based call that fails with 70; 0 never
    uint32_t calls = 0;
    uint32_t biggestBlock = 0;
} g_script;

ErrCode ScriptFetch(uint32_t stmt, uint16_t most, Dataset* ds) {
    if (stmt != 77) return ErrCode(21);
    ++g_script.calls;
    if (g_script.failAtCall == g_script.calls) return ErrCode(70);
    DatasetFree(ds);
    if (g_script.next > g_script.rows) return kErrNone;  // past the end: no columns, no rows
    uint32_t n = g_script.rows - g_script.next;
    if (n > most) n = most;
    if (g_script.byRef && n > 1) n = 1;
    if (n > g_script.biggestBlock) g_script.biggestBlock = n;
    MakeColumns(ds, {{DS_INTEGER, 4}, {g_script.byRef ? DS_CHAR_REF : DS_CHAR_NTS, 16}}, n);
    for (uint32_t i = 0; i < n; ++i) {
        const uint32_t r = g_script.next + i;
        Put<int32_t>(ds, 0, i, int32_t(r));
        std::string t = "r" + std::to_string(r);
        if (g_script.byRef) {
            EXPECT_EQ(0, DatasetSetRef(ds, i, 1, t.data(), uint32_t(t.size())));
        } else {
            std::memcpy(DatasetCell(&ds->cols[1], i), t.c_str(), t.size() + 1);
            ds->cols[1].indicators[i] = 0;
        }
    }
    // The call that meets the end gives the columns and no rows; the one after, nothing.
    g_script.next += n ? n : 1;
    return kErrNone;
}

AgentFuncTable g_table{};
AgentLink g_link{2, &g_table};

int32_t IntAt(const Dataset& ds, uint32_t row) {
    int32_t v;
    std::memcpy(&v, DatasetCell(&ds.cols[0], row), 4);
    return v;
}

std::string TextAt(const Dataset& ds, uint32_t row) {
    const DatasetColumn& c = ds.cols[1];
    if (DatasetKindIsRef(c.kind)) {
        DsRef r = DatasetRefGet(DatasetCell(&c, row));
        return std::string(static_cast<const char*>(r.ptr), r.length);
    }
    return reinterpret_cast<const char*>(DatasetCell(&c, row));
}

// Names of the process's open files that are cache files.
std::vector<std::string> OpenCacheFiles() {
    std::vector<std::string> out;
    DIR* d = opendir("/proc/self/fd");
    if (!d) return out;
    while (dirent* e = readdir(d)) {
        char path[300], target[4096];
        snprintf(path, sizeof path, "/proc/self/fd/%s", e->d_name);
        ssize_t n = readlink(path, target, sizeof target - 1);
        if (n <= 0) continue;
        target[n] = 0;
        if (strstr(target, "/kivtmp")) out.emplace_back(target);
    }
    closedir(d);
    return out;
}

size_t EntriesIn(const std::string& dir) {
    size_t n = 0;
    DIR* d = opendir(dir.c_str());
    if (!d) return 0;
    while (dirent* e = readdir(d))
        if (strcmp(e->d_name, ".") && strcmp(e->d_name, "..")) ++n;
    closedir(d);
    return n;
}

class DscCache : public ::testing::Test {
protected:
    void SetUp() override {
        g_script = Script{};
        g_table = AgentFuncTable{};
        g_table.DRV_FetchRows = ScriptFetch;
        char tmpl[] = "/tmp/dsctestXXXXXX";
        ASSERT_NE(nullptr, mkdtemp(tmpl));
        dir_ = tmpl;
        const char* old = getenv("TMPDIR");
        hadTmp_ = old != nullptr;
        if (old) oldTmp_ = old;
        setenv("TMPDIR", dir_.c_str(), 1);
        DSC_Init(&cache_);
    }
    void TearDown() override {
        DSC_Close(&cache_);
        DatasetFree(&ds_);
        dsc_SetTickSourceForTesting(nullptr);
        if (hadTmp_)
            setenv("TMPDIR", oldTmp_.c_str(), 1);
        else
            unsetenv("TMPDIR");
        if (DIR* d = opendir(dir_.c_str())) {
            while (dirent* e = readdir(d))
                if (strcmp(e->d_name, ".") && strcmp(e->d_name, "..")) unlink((dir_ + "/" + e->d_name).c_str());
            closedir(d);
        }
        rmdir(dir_.c_str());
    }
    uint32_t Fill(uint32_t rows, bool byRef = false) {
        g_script.rows = rows;
        g_script.byRef = byRef;
        total_ = 0xDEAD;
        return DSC_Fill(&cache_, &g_link, 77, &ds_, &total_);
    }

    std::string dir_, oldTmp_;
    bool hadTmp_ = false;
    DSC cache_{};
    Dataset ds_{};
    uint32_t total_ = 0;
};

TEST_F(DscCache, InitSetsAClosedCacheWithAWindowOfFiveThousand) {
    DSC c;
    std::memset(&c, 0xAB, sizeof c);
    DSC_Init(&c);
    EXPECT_EQ(kDscMemory, c.state);
    EXPECT_EQ(nullptr, c.data);
    EXPECT_EQ(nullptr, c.index);
    EXPECT_EQ(5000u, c.window);
}

TEST_F(DscCache, FiveThousandRowsStayInMemoryWithoutFiles) {
    ASSERT_EQ(0u, Fill(5000));
    EXPECT_EQ(5000u, total_);
    EXPECT_EQ(kDscMemory, cache_.state);
    EXPECT_EQ(nullptr, cache_.data);
    ASSERT_EQ(5000u, ds_.rows_used);
    EXPECT_EQ(4999, IntAt(ds_, 4999));
    EXPECT_EQ("r4999", TextAt(ds_, 4999));
    EXPECT_EQ(200u, g_script.biggestBlock);
    EXPECT_TRUE(OpenCacheFiles().empty());
}

TEST_F(DscCache, AnEmptyResultKeepsItsColumnsAndNoRows) {
    ASSERT_EQ(0u, Fill(0));
    EXPECT_EQ(0u, total_);
    EXPECT_EQ(kDscMemory, cache_.state);
    EXPECT_EQ(2, ds_.col_count);
    EXPECT_EQ(0u, ds_.rows_used);
}

TEST_F(DscCache, FiveThousandAndOneRowsMoveToFilesAndReadBack) {
    ASSERT_EQ(0u, Fill(5001));
    EXPECT_EQ(5001u, total_);
    EXPECT_EQ(kDscOnFile, cache_.state);
    EXPECT_EQ(0, ds_.col_count);
    EXPECT_EQ(0u, ds_.rows_used);
    ASSERT_NE(nullptr, cache_.data);
    ASSERT_NE(nullptr, cache_.index);
    uint32_t origin = kDscNoWindow;
    ASSERT_EQ(0u, DSC_GetRows(&cache_, 5000, 1, &origin, &ds_));
    EXPECT_EQ(5000u - 2499u, origin);
    EXPECT_EQ(5000, IntAt(ds_, 5000 - origin));
    EXPECT_EQ("r5000", TextAt(ds_, 5000 - origin));
    ASSERT_EQ(0u, DSC_GetRows(&cache_, 0, 10, &origin, &ds_));
    EXPECT_EQ(0u, origin);
    EXPECT_EQ(5000u, ds_.rows_used);
    EXPECT_EQ("r7", TextAt(ds_, 7));
}

TEST_F(DscCache, ByReferenceRowsComeOneAtATimeAndSpillAtTheFiveThousandAndFirst) {
    ASSERT_EQ(0u, Fill(5003, true));
    EXPECT_EQ(5003u, total_);
    EXPECT_EQ(1u, g_script.biggestBlock);
    EXPECT_EQ(5004u, g_script.calls);  // one per row and the one that meets the end
    EXPECT_EQ(kDscOnFile, cache_.state);
    uint32_t origin = kDscNoWindow;
    ASSERT_EQ(0u, DSC_GetRows(&cache_, 5002, 1, &origin, &ds_));
    EXPECT_EQ("r5002", TextAt(ds_, 5002 - origin));
    EXPECT_EQ("r5001", TextAt(ds_, 5001 - origin));
}

TEST_F(DscCache, WindowsAreCentredOnTheRequestAndGrowForLargeRequests) {
    ASSERT_EQ(0u, Fill(15000));
    uint32_t origin = kDscNoWindow;
    ASSERT_EQ(0u, DSC_GetRows(&cache_, 12000, 100, &origin, &ds_));
    EXPECT_EQ(9550u, origin);
    EXPECT_EQ(5000u, ds_.rows_used);
    EXPECT_EQ(14549, IntAt(ds_, ds_.rows_used - 1));
    // Rows inside the window are not read again: a damaged file would not be noticed.
    const uint32_t calls = g_script.calls;
    ASSERT_EQ(0u, DSC_GetRows(&cache_, 10000, 100, &origin, &ds_));
    EXPECT_EQ(9550u, origin);
    EXPECT_EQ(calls, g_script.calls);
    ASSERT_EQ(0u, DSC_GetRows(&cache_, 100, 100, &origin, &ds_));
    EXPECT_EQ(0u, origin);
    ASSERT_EQ(0u, DSC_GetRows(&cache_, 8000, 3000, &origin, &ds_));
    EXPECT_EQ(6000u, cache_.window);
    EXPECT_EQ(6500u, origin);
    EXPECT_EQ(6000u, ds_.rows_used);
    EXPECT_EQ(8000, IntAt(ds_, 8000 - origin));
    ASSERT_EQ(0u, DSC_GetRows(&cache_, 14000, 10, &origin, &ds_));
    EXPECT_EQ(6000u, cache_.window);
    EXPECT_EQ(11005u, origin);
    EXPECT_EQ(3995u, ds_.rows_used);  // the window runs to the last row
    EXPECT_EQ(14999, IntAt(ds_, 3994));
}

// A run read on its own brings only its rows; one that carries on from the rows in hand reads
// ahead in its direction, doubling up to the window; rows in hand are never read again.
TEST_F(DscCache, RunsReadTheirOwnRowsAndReadAheadOnlyWhenScrolling) {
    ASSERT_EQ(0u, Fill(15000));
    EXPECT_EQ(15000u, cache_.rows);
    uint32_t origin = kDscNoWindow;
    struct Step {
        int32_t first;
        uint32_t n;
        uint32_t origin, held;  // after the step
    };
    const Step steps[] = {
        {12000, 10, 12000, 10},   // on its own
        {12010, 10, 12010, 20},   // forward: twice the rows in hand
        {12020, 10, 12010, 20},   // in hand
        {12025, 10, 12025, 40},   // reaching past them
        {12020, 5, 11945, 80},    // backward: the run ends where it asked
        {300, 7, 300, 7},         // far away: its own rows again
        {0, 10, 0, 10},           // before them but not touching: its own rows
        {14990, 100, 14990, 10},  // at the end, clipped
        {14995, 100, 14990, 10},  // the rows in hand run to the end: nothing more to read
        {15000, 10, 14990, 10},   // past the end: nothing exists to read
    };
    for (const Step& st : steps) {
        SCOPED_TRACE(st.first);
        ASSERT_EQ(0u, DSC_GetRun(&cache_, st.first, st.n, &origin, &ds_));
        EXPECT_EQ(st.origin, origin);
        ASSERT_EQ(st.held, ds_.rows_used);
        for (uint32_t i = 0; i < ds_.rows_used; ++i) ASSERT_EQ(int32_t(origin + i), IntAt(ds_, i));
        EXPECT_EQ("r" + std::to_string(origin + ds_.rows_used - 1), TextAt(ds_, ds_.rows_used - 1));
    }
    // Rows in hand are answered without the file: a damaged header goes unnoticed until a read.
    Overwrite(cache_.data, 0, {0, 0, 0, 0});
    ASSERT_EQ(0u, DSC_GetRun(&cache_, 14992, 3, &origin, &ds_));
    EXPECT_EQ(15u, DSC_GetRun(&cache_, 100, 3, &origin, &ds_));
    EXPECT_EQ(14990u, origin);  // a read refused before it began keeps the rows in hand
    EXPECT_EQ(10u, ds_.rows_used);
    EXPECT_EQ(15u, DSC_GetRun(&cache_, -1, 3, &origin, &ds_));
    EXPECT_EQ(15u, DSC_GetRun(nullptr, 0, 3, &origin, &ds_));
    EXPECT_EQ(15u, DSC_GetRun(&cache_, 0, 3, nullptr, &ds_));
}

// Scrolling through the whole result one rowset at a time, either way, takes a handful of reads
// and never holds more than a window.
TEST_F(DscCache, ScrollingRunsReadAFewWindowsEitherWay) {
    ASSERT_EQ(0u, Fill(15000));
    for (int dir : {1, -1}) {
        SCOPED_TRACE(dir);
        DatasetFree(&ds_);
        uint32_t origin = kDscNoWindow, reads = 0, most = 0;
        for (int32_t i = 0; i < 1500; ++i) {
            const int32_t first = dir > 0 ? i * 10 : 14990 - i * 10;
            const uint32_t before = origin;
            const uint32_t heldBefore = ds_.rows_used;
            ASSERT_EQ(0u, DSC_GetRun(&cache_, first, 10, &origin, &ds_));
            if (origin != before || ds_.rows_used != heldBefore) ++reads;
            most = std::max(most, ds_.rows_used);
            ASSERT_LE(origin, uint32_t(first));
            ASSERT_EQ(first, IntAt(ds_, uint32_t(first) - origin));
            ASSERT_EQ(first + 9, IntAt(ds_, uint32_t(first) + 9 - origin));
        }
        EXPECT_LE(reads, 12u);
        EXPECT_EQ(5000u, most);
    }
    // A request larger than half the window widens it, as it does for windows.
    uint32_t origin = kDscNoWindow;
    ASSERT_EQ(0u, DSC_GetRun(&cache_, 100, 3000, &origin, &ds_));
    EXPECT_EQ(6000u, cache_.window);
    EXPECT_EQ(100u, origin);
    EXPECT_EQ(3000u, ds_.rows_used);
    EXPECT_EQ(3099, IntAt(ds_, 2999));
}

TEST_F(DscCache, RowsKeptInMemoryAnswerOnlyFromMemory) {
    ASSERT_EQ(0u, Fill(3000));
    uint32_t origin = 0;
    EXPECT_EQ(0u, DSC_GetRows(&cache_, 10, 2500, &origin, &ds_));
    EXPECT_EQ(0u, DSC_GetRows(&cache_, 4990, 10, &origin, &ds_));
    EXPECT_EQ(15u, DSC_GetRows(&cache_, 4991, 10, &origin, &ds_));
    EXPECT_EQ(15u, DSC_GetRows(&cache_, 0, 2501, &origin, &ds_));
    EXPECT_EQ(0u, origin);
    EXPECT_EQ(3000u, ds_.rows_used);  // the rows survive a refused request
}

TEST_F(DscCache, AWindowPastTheLastRowFailsAndKeepsTheWindowInHand) {
    ASSERT_EQ(0u, Fill(6000));
    uint32_t origin = kDscNoWindow;
    ASSERT_EQ(0u, DSC_GetRows(&cache_, 0, 1, &origin, &ds_));
    EXPECT_EQ(15u, dsc_ReadWindow(&cache_, &ds_, 6000));
    EXPECT_EQ(5000u, ds_.rows_used);
    EXPECT_EQ(15u, DSC_GetRows(&cache_, 9000, 1, &origin, &ds_));
    EXPECT_EQ(0u, origin);
    EXPECT_EQ(0u, dsc_ReadWindow(&cache_, &ds_, 5999));
    EXPECT_EQ(1u, ds_.rows_used);
}

TEST_F(DscCache, ALowerFailureReturnsItsCodeAndTheRowsCountedSoFar) {
    g_script.failAtCall = 3;
    EXPECT_EQ(70u, Fill(1000));
    EXPECT_EQ(400u, total_);
    EXPECT_EQ(400u, ds_.rows_used);
    DSC_Close(&cache_);
    DatasetFree(&ds_);
    g_script = Script{};
    g_script.failAtCall = 30;
    EXPECT_EQ(70u, Fill(8000));
    EXPECT_EQ(5800u, total_);
    EXPECT_EQ(kDscOnFile, cache_.state);
    uint32_t origin = kDscNoWindow;
    ASSERT_EQ(0u, DSC_GetRows(&cache_, 5799, 1, &origin, &ds_));
    EXPECT_EQ(5799, IntAt(ds_, 5799 - origin));
    EXPECT_EQ(15u, dsc_ReadWindow(&cache_, &ds_, 5800));
}

TEST_F(DscCache, MissingRecordsFail) {
    uint32_t origin = kDscNoWindow;
    EXPECT_EQ(15u, DSC_Fill(nullptr, &g_link, 77, &ds_, &total_));
    EXPECT_EQ(15u, DSC_Fill(&cache_, &g_link, 77, nullptr, &total_));
    EXPECT_EQ(15u, dsc_ReadWindow(nullptr, &ds_, 0));
    EXPECT_EQ(15u, dsc_ReadWindow(&cache_, &ds_, 0));  // nothing on file
    EXPECT_EQ(15u, DSC_GetRows(&cache_, 0, 1, nullptr, &ds_));
    EXPECT_EQ(15u, DSC_GetRows(nullptr, 0, 1, &origin, &ds_));
    EXPECT_EQ(15u, dsc_Open(nullptr));
    DSC_Close(nullptr);
    g_table.DRV_FetchRows = nullptr;
    EXPECT_EQ(43u, Fill(10));  // an empty slot is never called
    EXPECT_EQ(0u, total_);
}

// The cache files are made exclusively, private to the owner, and have no name from the moment
// they are open: no cache file outlives its cache, whatever happens to the process.
TEST_F(DscCache, FilesArePrivateNamelessAndGoneWithTheirCache) {
    ASSERT_EQ(0u, Fill(5001));
    auto open = OpenCacheFiles();
    ASSERT_EQ(2u, open.size());
    for (const std::string& name : open) {
        EXPECT_EQ(0u, name.rfind(dir_ + "/kivtmp", 0)) << name;
        EXPECT_NE(std::string::npos, name.find(" (deleted)")) << name;
    }
    EXPECT_EQ(0u, EntriesIn(dir_));
    struct stat st {};
    ASSERT_EQ(0, fstat(fileno(cache_.data), &st));
    EXPECT_EQ(0600u, st.st_mode & 0777);
    DSC_Close(&cache_);
    EXPECT_EQ(kDscMemory, cache_.state);
    EXPECT_EQ(5000u, cache_.window);
    EXPECT_TRUE(OpenCacheFiles().empty());
    DSC_Close(&cache_);  // closing a closed cache is harmless
    EXPECT_EQ(kDscMemory, cache_.state);
}

TEST_F(DscCache, NamesTakeTheTickTheThreadAndACounterInHexadecimal) {
    char a[256], b[256];
    ASSERT_TRUE(dsc_TempName(a, sizeof a, "/var/tmp/", 0x1d2a3f, 0x9c4, 0));
    ASSERT_TRUE(dsc_TempName(b, sizeof b, "/var/tmp", 0x1d2a3f, 0x9c4, 0));
    EXPECT_STREQ("/var/tmp/kivtmp1d2a3f-9c4-0", a);
    EXPECT_STREQ(a, b);
    ASSERT_TRUE(dsc_TempName(a, sizeof a, "/", 0, 1, 0xab));
    EXPECT_STREQ("/kivtmp0-1-ab", a);
    EXPECT_FALSE(dsc_TempName(a, 10, "/var/tmp", 1, 2, 3));
    EXPECT_STREQ(dir_.c_str(), dsc_TempDir());
    setenv("TMPDIR", "", 1);
    EXPECT_STREQ("/tmp", dsc_TempDir());
}

uint32_t FixedTick() { return 0xbeef; }

// A name that exists already, as a file or as a planted link, is skipped, never opened.
TEST_F(DscCache, ExistingNamesAreSkippedAndLeftAlone) {
    dsc_SetTickSourceForTesting(FixedTick);
    char name[512];
    const uint32_t tid = uint32_t(syscall(SYS_gettid));
    ASSERT_TRUE(dsc_TempName(name, sizeof name, dir_.c_str(), 0xbeef, tid, 0));
    int fd = ::open(name, O_CREAT | O_WRONLY, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(4, write(fd, "keep", 4));
    close(fd);
    const std::string victim = dir_ + "/victim";
    fd = ::open(victim.c_str(), O_CREAT | O_WRONLY, 0644);
    ASSERT_GE(fd, 0);
    close(fd);
    char link1[512];
    ASSERT_TRUE(dsc_TempName(link1, sizeof link1, dir_.c_str(), 0xbeef, tid, 1));
    ASSERT_EQ(0, symlink(victim.c_str(), link1));
    ASSERT_EQ(0u, dsc_Open(&cache_));
    EXPECT_EQ(kDscOpened, cache_.state);
    auto open = OpenCacheFiles();
    ASSERT_EQ(2u, open.size());
    char expect2[512], expect3[512];
    ASSERT_TRUE(dsc_TempName(expect2, sizeof expect2, dir_.c_str(), 0xbeef, tid, 2));
    ASSERT_TRUE(dsc_TempName(expect3, sizeof expect3, dir_.c_str(), 0xbeef, tid, 3));
    std::sort(open.begin(), open.end());
    EXPECT_EQ(std::string(expect2) + " (deleted)", open[0]);
    EXPECT_EQ(std::string(expect3) + " (deleted)", open[1]);
    struct stat st {};
    ASSERT_EQ(0, stat(name, &st));
    EXPECT_EQ(4, st.st_size);
    ASSERT_EQ(0, stat(victim.c_str(), &st));
    EXPECT_EQ(0, st.st_size);
    EXPECT_EQ(3u, EntriesIn(dir_));
}

TEST_F(DscCache, AnUnusableDirectoryFailsTheOpenAndTheFill) {
    setenv("TMPDIR", (dir_ + "/missing").c_str(), 1);
    EXPECT_EQ(15u, dsc_Open(&cache_));
    EXPECT_EQ(nullptr, cache_.data);
    EXPECT_EQ(nullptr, cache_.index);
    EXPECT_EQ(kDscMemory, cache_.state);
    EXPECT_EQ(15u, Fill(5201));
    EXPECT_EQ(kDscMemory, cache_.state);
    EXPECT_TRUE(OpenCacheFiles().empty());
}

// A file that cannot be made says why by errno (the cache's message names that reason); memory
// is a failure of its own.
TEST_F(DscCache, AFileThatCannotBeMadeSaysWhy) {
    const std::string plain = dir_ + "/plain";
    const int fd = ::open(plain.c_str(), O_CREAT | O_WRONLY, 0600);
    ASSERT_GE(fd, 0);
    close(fd);
    dsc_SetTickSourceForTesting(FixedTick);
    char name[512];
    const uint32_t tid = uint32_t(syscall(SYS_gettid));
    const std::string taken = dir_ + "/taken";
    ASSERT_EQ(0, mkdir(taken.c_str(), 0700));
    for (uint32_t k = 0; k < 1000; ++k) {
        ASSERT_TRUE(dsc_TempName(name, sizeof name, taken.c_str(), 0xbeef, tid, k));
        const int f = ::open(name, O_CREAT | O_WRONLY, 0600);
        ASSERT_GE(f, 0);
        close(f);
    }
    struct Case {
        std::string dir;
        int err;
    };
    const Case cases[] = {
        {dir_ + "/missing", ENOENT},
        {plain, ENOTDIR},
        {"/" + std::string(5000, 'd'), ENAMETOOLONG},
        {taken, EEXIST},  // every name tried exists already
    };
    for (const Case& c : cases) {
        setenv("TMPDIR", c.dir.c_str(), 1);
        uint32_t counter = 0;
        errno = 0;
        EXPECT_EQ(nullptr, dsc_TempFile(&counter)) << c.dir.substr(0, 40);
        EXPECT_EQ(c.err, errno) << c.dir.substr(0, 40);
        EXPECT_EQ(15u, dsc_Open(&cache_));
        EXPECT_EQ(nullptr, cache_.dir);
    }
    EXPECT_EQ(1000u, EntriesIn(taken));
    setenv("TMPDIR", dir_.c_str(), 1);
    TryMemFailAfter(0);
    EXPECT_EQ(16u, dsc_Open(&cache_));
    TryMemFailAfter(-1);
    EXPECT_EQ(nullptr, cache_.data);
    EXPECT_EQ(kDscMemory, cache_.state);
    EXPECT_TRUE(OpenCacheFiles().empty());
    ASSERT_EQ(0u, dsc_Open(&cache_));
    EXPECT_STREQ(dir_.c_str(), cache_.dir);
    DSC_Close(&cache_);
    EXPECT_EQ(nullptr, cache_.dir);
    for (uint32_t k = 0; k < 1000; ++k) {
        ASSERT_TRUE(dsc_TempName(name, sizeof name, taken.c_str(), 0xbeef, tid, k));
        unlink(name);
    }
    rmdir(taken.c_str());
}

// --- static result sets over the cache --------------------------------------------

struct StaticSet {
    SS_ResultSet* set = nullptr;
    Dataset* out = nullptr;
    StaticSet() { EXPECT_EQ(0u, SCS_StaticSetCreate(&set)); }
    ~StaticSet() {
        if (out) DatasetDelete(out);
        SCS_StaticSetFree(&set);
    }
};

// Runs that reach past the cache's first window of a result held in memory still deliver the
// rows that exist (the cache alone would refuse them, though nothing needs loading).
TEST_F(DscCache, StaticRunsToTheEndOfAResultInMemoryDeliverEveryRow) {
    StaticSet ss;
    g_script.rows = 5000;
    uint32_t total = 0;
    ASSERT_EQ(0u, SS_GetRsltSet(ss.set, &g_link, 77, &total));
    EXPECT_EQ(5000u, total);
    EXPECT_EQ(kDscMemory, ss.set->cache.state);
    uint32_t seen = 0, last = 0;
    for (int guard = 0; guard < 400; ++guard) {
        ASSERT_EQ(0u, SS_GetRows(ss.set, -1, 30, &ss.out));
        if (ss.out->rows_used == 0) break;
        last = ss.out->rows_used;
        for (uint32_t i = 0; i < ss.out->rows_used; ++i, ++seen) ASSERT_EQ(int32_t(seen), IntAt(*ss.out, i));
    }
    EXPECT_EQ(5000u, seen);
    EXPECT_EQ(20u, last);
    EXPECT_EQ(-2, ss.set->readPos);
    // One large run from memory as well.
    ASSERT_EQ(0u, SS_GetRows(ss.set, 1000, 3000, &ss.out));
    EXPECT_EQ(3000u, ss.out->rows_used);
    EXPECT_EQ(3999, IntAt(*ss.out, 2999));
}

TEST_F(DscCache, StaticAbsoluteReadsLoadTheirWindowAndSetTheReadPosition) {
    StaticSet ss;
    g_script.rows = 8000;
    ASSERT_EQ(0u, SS_GetRsltSet(ss.set, &g_link, 77, nullptr));
    EXPECT_EQ(kDscOnFile, ss.set->cache.state);
    EXPECT_EQ(-1, ss.set->origin);
    ASSERT_EQ(0u, SS_GetRows(ss.set, 7000, 10, &ss.out));
    ASSERT_EQ(10u, ss.out->rows_used);
    for (uint32_t i = 0; i < 10; ++i) EXPECT_EQ("r" + std::to_string(7000 + i), TextAt(*ss.out, i));
    EXPECT_EQ(7000, ss.set->readPos);
    ASSERT_EQ(0u, SS_GetRows(ss.set, -1, 5, &ss.out));
    EXPECT_EQ(7000, IntAt(*ss.out, 0));
    EXPECT_EQ(7005, ss.set->readPos);
    ASSERT_EQ(0u, SS_GetRows(ss.set, 7995, 10, &ss.out));
    EXPECT_EQ(5u, ss.out->rows_used);
    ASSERT_EQ(0u, SS_GetRows(ss.set, 0, 0, &ss.out));  // no rows asked: an empty answer
    EXPECT_EQ(0, ss.out->col_count);
}

// A sequential read of a result on file delivers every row once, in order, and stops at the
// end, also when the last run ends exactly at the last row.
TEST_F(DscCache, StaticSequentialReadsOfRowsOnFileDeliverEveryRowOnce) {
    for (uint32_t n : {40u, 30u}) {
        SCOPED_TRACE(n);
        StaticSet ss;
        g_script = Script{};
        g_script.rows = 8000;
        ASSERT_EQ(0u, SS_GetRsltSet(ss.set, &g_link, 77, nullptr));
        ASSERT_EQ(kDscOnFile, ss.set->cache.state);
        uint32_t seen = 0, last = 0;
        for (int guard = 0; guard < 400; ++guard) {
            ASSERT_EQ(0u, SS_GetRows(ss.set, -1, n, &ss.out));
            if (ss.out->rows_used == 0) break;
            last = ss.out->rows_used;
            for (uint32_t i = 0; i < ss.out->rows_used; ++i, ++seen) ASSERT_EQ(int32_t(seen), IntAt(*ss.out, i));
            ASSERT_LE(ss.set->rows->rows_used, ss.set->cache.window);
        }
        EXPECT_EQ(8000u, seen);
        EXPECT_EQ(8000 % n ? 8000 % n : n, last);
        EXPECT_EQ(-2, ss.set->readPos);
        ASSERT_EQ(0u, SS_GetRows(ss.set, -1, n, &ss.out));
        EXPECT_EQ(0u, ss.out->rows_used);
    }
}

TEST_F(DscCache, StaticFillFailureLeavesTheRecordEmpty) {
    StaticSet ss;
    g_script.rows = 6000;
    g_script.failAtCall = 28;
    EXPECT_EQ(70u, SS_GetRsltSet(ss.set, &g_link, 77, nullptr));
    EXPECT_EQ(kDscMemory, ss.set->cache.state);
    EXPECT_EQ(0, ss.set->rows->col_count);
    EXPECT_TRUE(OpenCacheFiles().empty());
    EXPECT_EQ(15u, SS_GetRows(nullptr, 0, 1, &ss.out));
    EXPECT_EQ(15u, SS_GetRows(ss.set, -5, 1, &ss.out));
    EXPECT_EQ(15u, SS_GetRsltSet(nullptr, &g_link, 77, nullptr));
    SCS_StaticSetFree(nullptr);
}

// Every allocation of a window read and of a static run may fail: the answer is the memory
// failure's code, the output is left empty or whole, and nothing leaks (the sanitiser checks).
TEST_F(DscCache, WindowAndRunReadsSurviveEveryAllocationFailure) {
    StaticSet ss;
    g_script.rows = 5201;
    g_script.byRef = true;
    ASSERT_EQ(0u, SS_GetRsltSet(ss.set, &g_link, 77, nullptr));
    ss.set->cache.window = 50;  // small windows keep the walk short
    bool done = false;
    for (long k = 0; k < 100000 && !done; ++k) {
        Dataset window{};
        TryMemFailAfter(k);
        const uint32_t rc = dsc_ReadWindow(&ss.set->cache, &window, 100);
        TryMemFailAfter(-1);
        if (rc == 0) {
            done = true;
            ASSERT_EQ(50u, window.rows_used);
            EXPECT_EQ("r149", TextAt(window, 49));
        } else {
            // Memory is the cause, and said so (S1001).
            ASSERT_EQ(16u, rc);
            ASSERT_EQ(0, window.col_count);
        }
        DatasetFree(&window);
    }
    EXPECT_TRUE(done);
    done = false;
    for (long k = 0; k < 10000 && !done; ++k) {
        TryMemFailAfter(k);
        const uint32_t rc = SS_GetRows(ss.set, 5190, 20, &ss.out);
        TryMemFailAfter(-1);
        if (rc == 0) {
            done = true;
            ASSERT_EQ(11u, ss.out->rows_used);
            EXPECT_EQ("r5200", TextAt(*ss.out, 10));
        } else {
            ASSERT_EQ(16u, rc);
            if (ss.out) {
                ASSERT_EQ(0u, ss.out->rows_used);
            }
        }
    }
    EXPECT_TRUE(done);
}

}  // namespace
