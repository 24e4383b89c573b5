// The write-coalescing file layer: what the system gets from it is the
// engine's own sequence of file calls with runs of adjacent writes joined,
// nothing reordered, nothing lost; a write that fails late is still
// reported.
#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <vector>

#include "filelayer.h"
#include "sqlite3.h"
#include "testsupport.h"

using testsupport::ScratchFolder;
using testsupport::Utf8;

namespace {

// ---- A recording layer: every call that reaches it, in order ----------------

struct Call {
    char kind;          // W write, R read, S sync, T truncate, Z size, L lock, U unlock, K check lock,
                        // F file control, C close, M fetch, O open, D delete, A access
    std::string file;   // base name
    long long offset;
    long long bytes;
    bool operator==(const Call &o) const {
        return kind == o.kind && file == o.file && offset == o.offset && bytes == o.bytes;
    }
};

std::vector<Call> Calls;
bool Recording;
std::string FailWritesOf;  // writes to this file fail

sqlite3_vfs *Real;
sqlite3_vfs Recorder;

struct RecFile {
    sqlite3_file base;
    sqlite3_file *real;
    std::string *name;
    sqlite3_int64 align_;
};

sqlite3_file *R(sqlite3_file *f) { return reinterpret_cast<RecFile *>(f)->real; }
const std::string &Name(sqlite3_file *f) { return *reinterpret_cast<RecFile *>(f)->name; }

std::string BaseName(const char *path) {
    if (path == NULL) return "(temporary)";
    const char *name = path;
    for (const char *p = path; *p; p++)
        if (*p == '\\' || *p == '/') name = p + 1;
    return name;
}

void Note(char kind, const std::string &file, long long offset = 0, long long bytes = 0) {
    if (Recording) Calls.push_back({kind, file, offset, bytes});
}

int RecClose(sqlite3_file *f) {
    Note('C', Name(f));
    int rc = R(f)->pMethods->xClose(R(f));
    delete reinterpret_cast<RecFile *>(f)->name;
    return rc;
}
int RecRead(sqlite3_file *f, void *b, int n, sqlite3_int64 o) {
    Note('R', Name(f), o, n);
    return R(f)->pMethods->xRead(R(f), b, n, o);
}
int RecWrite(sqlite3_file *f, const void *b, int n, sqlite3_int64 o) {
    Note('W', Name(f), o, n);
    if (Name(f) == FailWritesOf) return SQLITE_IOERR_WRITE;
    return R(f)->pMethods->xWrite(R(f), b, n, o);
}
int RecTruncate(sqlite3_file *f, sqlite3_int64 s) {
    Note('T', Name(f), s);
    return R(f)->pMethods->xTruncate(R(f), s);
}
int RecSync(sqlite3_file *f, int flags) {
    Note('S', Name(f));
    return R(f)->pMethods->xSync(R(f), flags);
}
int RecSize(sqlite3_file *f, sqlite3_int64 *s) {
    Note('Z', Name(f));
    return R(f)->pMethods->xFileSize(R(f), s);
}
int RecLock(sqlite3_file *f, int l) {
    Note('L', Name(f), l);
    return R(f)->pMethods->xLock(R(f), l);
}
int RecUnlock(sqlite3_file *f, int l) {
    Note('U', Name(f), l);
    return R(f)->pMethods->xUnlock(R(f), l);
}
int RecCheck(sqlite3_file *f, int *out) {
    Note('K', Name(f));
    return R(f)->pMethods->xCheckReservedLock(R(f), out);
}
int RecControl(sqlite3_file *f, int op, void *arg) {
    Note('F', Name(f), op);
    return R(f)->pMethods->xFileControl(R(f), op, arg);
}
int RecSector(sqlite3_file *f) { return R(f)->pMethods->xSectorSize(R(f)); }
int RecDevice(sqlite3_file *f) { return R(f)->pMethods->xDeviceCharacteristics(R(f)); }
int RecFetch(sqlite3_file *f, sqlite3_int64 o, int n, void **out) {
    Note('M', Name(f), o, n);
    return R(f)->pMethods->xFetch(R(f), o, n, out);
}
int RecUnfetch(sqlite3_file *f, sqlite3_int64 o, void *p) { return R(f)->pMethods->xUnfetch(R(f), o, p); }

const sqlite3_io_methods kRecMethods = {3,         RecClose,   RecRead,    RecWrite, RecTruncate, RecSync,
                                        RecSize,   RecLock,    RecUnlock,  RecCheck, RecControl,  RecSector,
                                        RecDevice, NULL,       NULL,       NULL,     NULL,        RecFetch,
                                        RecUnfetch};

int RecOpen(sqlite3_vfs *, const char *name, sqlite3_file *file, int flags, int *outFlags) {
    RecFile *f = reinterpret_cast<RecFile *>(file);
    f->real = reinterpret_cast<sqlite3_file *>(f + 1);
    f->base.pMethods = NULL;
    Note('O', BaseName(name));
    int rc = Real->xOpen(Real, name, f->real, flags, outFlags);
    if (f->real->pMethods != NULL) {
        f->name = new std::string(BaseName(name));
        f->base.pMethods = &kRecMethods;
    }
    return rc;
}
int RecDelete(sqlite3_vfs *, const char *name, int syncDir) {
    Note('D', BaseName(name));
    return Real->xDelete(Real, name, syncDir);
}
int RecAccess(sqlite3_vfs *, const char *name, int flags, int *out) {
    Note('A', BaseName(name));
    return Real->xAccess(Real, name, flags, out);
}

// The recorder as the default layer, and the program's layer in front of it.
void InstallLayers() {
    static bool done;
    if (done) return;
    done = true;
    Real = sqlite3_vfs_find(NULL);
    Recorder = *Real;
    Recorder.pNext = NULL;
    Recorder.zName = "recorder";
    Recorder.szOsFile = (int)sizeof(RecFile) + Real->szOsFile;
    Recorder.xOpen = RecOpen;
    Recorder.xDelete = RecDelete;
    Recorder.xAccess = RecAccess;
    ASSERT_EQ(sqlite3_vfs_register(&Recorder, 1), SQLITE_OK);
    ASSERT_TRUE(InstallWriteCoalescing());
    ASSERT_STRNE(sqlite3_vfs_find(NULL)->zName, "recorder");
}

// What the layer is to make of the engine's calls: a write that follows the
// held run in the same file joins it (up to kCoalesceBytes); a read of
// another file passes the held run; every other call writes it out first.
std::vector<Call> Coalesced(const std::vector<Call> &engine) {
    std::vector<Call> out;
    Call held = {0, "", 0, 0};
    auto writeOut = [&]() {
        if (held.kind != 0) out.push_back(held);
        held.kind = 0;
    };
    for (const Call &c : engine) {
        if (c.kind == 'W') {
            if (held.kind != 0 && held.file == c.file && held.offset + held.bytes == c.offset &&
                held.bytes + c.bytes <= kCoalesceBytes) {
                held.bytes += c.bytes;
                continue;
            }
            writeOut();
            held = c;
        } else if (c.kind == 'R' && held.kind != 0 && c.file != held.file) {
            out.push_back(c);
        } else {
            writeOut();
            out.push_back(c);
        }
    }
    writeOut();
    return out;
}

// A transaction larger than the page cache on two books, interleaved, as
// the online update writes its data book and remark book; returns the calls
// that reached the recorder.
std::vector<Call> RunBooks(const std::wstring &folder, const char *vfs) {
    sqlite3 *a = NULL, *b = NULL;
    int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;
    EXPECT_EQ(sqlite3_open_v2(Utf8(folder + L"a.db").c_str(), &a, flags, vfs), SQLITE_OK);
    EXPECT_EQ(sqlite3_open_v2(Utf8(folder + L"b.db").c_str(), &b, flags, vfs), SQLITE_OK);
    const char *setUp =
        "pragma cache_size = 20; create table T(k text primary key, v text);"
        "with recursive n(i) as (select 1 union all select i + 1 from n where i < 3000)"
        " insert into T select printf('%08x', (i * 2654435761) % 4294967296) || i, hex(zeroblob(40)) from n;";
    EXPECT_EQ(sqlite3_exec(a, setUp, NULL, NULL, NULL), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(b, setUp, NULL, NULL, NULL), SQLITE_OK);
    Calls.clear();
    Recording = true;
    EXPECT_EQ(sqlite3_exec(a, "begin", NULL, NULL, NULL), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(b, "begin", NULL, NULL, NULL), SQLITE_OK);
    for (int i = 0; i < 6; i++) {
        sqlite3 *db = i % 2 ? b : a;
        EXPECT_EQ(sqlite3_exec(db, "update T set v = v || 'x' where rowid % 7 = 3", NULL, NULL, NULL), SQLITE_OK);
    }
    EXPECT_EQ(sqlite3_exec(b, "commit", NULL, NULL, NULL), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(a, "commit", NULL, NULL, NULL), SQLITE_OK);
    sqlite3_close(a);
    sqlite3_close(b);
    Recording = false;
    return Calls;
}

TEST(WriteCoalescing, TheSystemGetsTheEngineCallsWithAdjacentWritesJoined) {
    InstallLayers();
    ScratchFolder direct(L"coalescing-direct"), layered(L"coalescing-layered");
    std::vector<Call> engine = RunBooks(direct.path(), "recorder");
    std::vector<Call> system = RunBooks(layered.path(), NULL);
    ASSERT_GT(engine.size(), 100u);
    std::vector<Call> expected = Coalesced(engine);
    ASSERT_EQ(system.size(), expected.size());
    for (size_t i = 0; i < system.size(); i++) {
        ASSERT_TRUE(system[i] == expected[i]) << "call " << i << ": " << system[i].kind << " " << system[i].file
                                              << " " << system[i].offset << "+" << system[i].bytes << ", expected "
                                              << expected[i].kind << " " << expected[i].file << " "
                                              << expected[i].offset << "+" << expected[i].bytes;
    }
    auto journalWrites = [](const std::vector<Call> &calls) {
        size_t n = 0;
        for (const Call &c : calls) n += c.kind == 'W' && c.file.find("-journal") != std::string::npos;
        return n;
    };
    size_t syncs = 0;
    for (const Call &c : system) syncs += c.kind == 'S';
    EXPECT_GE(syncs, 4u);  // both books kept their full syncs
    // A journalled page is three calls of the engine's, about one of the system's.
    EXPECT_LT(journalWrites(system) * 2, journalWrites(engine));
}

// The held run fails when it is written out: the call that wrote it out
// says so, and so does the next sync of its file, so a commit that lost it
// does not pass for durable.
TEST(WriteCoalescing, AWriteThatFailsLateIsReported) {
    InstallLayers();
    ScratchFolder dir(L"coalescing-fail");
    sqlite3_vfs *layer = sqlite3_vfs_find(NULL);
    std::vector<char> storeA((size_t)layer->szOsFile), storeB((size_t)layer->szOsFile);
    sqlite3_file *a = reinterpret_cast<sqlite3_file *>(storeA.data());
    sqlite3_file *b = reinterpret_cast<sqlite3_file *>(storeB.data());
    int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_MAIN_JOURNAL;
    std::string pathA = Utf8(dir.File(L"a-journal")), pathB = Utf8(dir.File(L"b-journal"));
    ASSERT_EQ(layer->xOpen(layer, pathA.c_str(), a, flags, NULL), SQLITE_OK);
    ASSERT_EQ(layer->xOpen(layer, pathB.c_str(), b, flags, NULL), SQLITE_OK);
    char bytes[512];
    memset(bytes, 'k', sizeof bytes);
    Calls.clear();
    Recording = true;
    FailWritesOf = "a-journal";
    EXPECT_EQ(a->pMethods->xWrite(a, bytes, 4, 0), SQLITE_OK);  // held back
    EXPECT_EQ(a->pMethods->xWrite(a, bytes, 512, 4), SQLITE_OK);
    EXPECT_TRUE(Calls.empty());
    EXPECT_EQ(b->pMethods->xSync(b, SQLITE_SYNC_FULL), SQLITE_IOERR_WRITE);  // wrote a's run out first
    ASSERT_EQ(Calls.size(), 1u);
    EXPECT_TRUE((Calls[0] == Call{'W', "a-journal", 0, 516}));
    FailWritesOf.clear();
    EXPECT_EQ(a->pMethods->xSync(a, SQLITE_SYNC_FULL), SQLITE_IOERR_WRITE);
    EXPECT_EQ(a->pMethods->xSync(a, SQLITE_SYNC_FULL), SQLITE_OK);  // said once
    Recording = false;
    a->pMethods->xClose(a);
    b->pMethods->xClose(b);
}

}  // namespace
