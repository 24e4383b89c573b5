// The counting file layer.
#include "iocount.h"

#include <string.h>

#include <windows.h>

#include <atomic>
#include <vector>

namespace bench {

namespace {

enum Kind { kDb, kJournal, kOther };

struct CountingFile {
    sqlite3_file base;   // what the engine sees
    sqlite3_file *real;  // the system layer's file, right after this struct
    Kind kind;
};

sqlite3_vfs RealVfs;     // a copy of the system layer
sqlite3_vfs CountingVfs;
bool Installed;
std::atomic<long long> Reads[3], Writes[3], Syncs[3], Mapped, Unmapped;
std::atomic<long long> ReadTicks, WriteTicks, SyncTicks;
bool Timing;              // each sync's time is kept in Times
std::vector<double> Times;

long long Ticks() {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now.QuadPart;
}

// Adds the time since start to total on leaving the scope.
struct Timed {
    std::atomic<long long> &total;
    long long start = Ticks();
    explicit Timed(std::atomic<long long> &t) : total(t) {}
    ~Timed() { total += Ticks() - start; }
};

double Seconds() {
    static LARGE_INTEGER frequency;
    if (frequency.QuadPart == 0) QueryPerformanceFrequency(&frequency);
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return (double)t.QuadPart / (double)frequency.QuadPart;
}

sqlite3_file *Real(sqlite3_file *f) { return reinterpret_cast<CountingFile *>(f)->real; }

int Close(sqlite3_file *f) { return Real(f)->pMethods->xClose(Real(f)); }
int Read(sqlite3_file *f, void *buffer, int amount, sqlite3_int64 offset) {
    Reads[reinterpret_cast<CountingFile *>(f)->kind]++;
    Timed timed(ReadTicks);
    return Real(f)->pMethods->xRead(Real(f), buffer, amount, offset);
}
int Write(sqlite3_file *f, const void *buffer, int amount, sqlite3_int64 offset) {
    Writes[reinterpret_cast<CountingFile *>(f)->kind]++;
    Timed timed(WriteTicks);
    return Real(f)->pMethods->xWrite(Real(f), buffer, amount, offset);
}
int Truncate(sqlite3_file *f, sqlite3_int64 size) { return Real(f)->pMethods->xTruncate(Real(f), size); }
int Sync(sqlite3_file *f, int flags) {
    Syncs[reinterpret_cast<CountingFile *>(f)->kind]++;
    Timed timed(SyncTicks);
    if (!Timing) return Real(f)->pMethods->xSync(Real(f), flags);
    double t0 = Seconds();
    int rc = Real(f)->pMethods->xSync(Real(f), flags);
    Times.push_back((Seconds() - t0) * 1e6);
    return rc;
}
int FileSize(sqlite3_file *f, sqlite3_int64 *size) { return Real(f)->pMethods->xFileSize(Real(f), size); }
int Lock(sqlite3_file *f, int level) { return Real(f)->pMethods->xLock(Real(f), level); }
int Unlock(sqlite3_file *f, int level) { return Real(f)->pMethods->xUnlock(Real(f), level); }
int CheckReservedLock(sqlite3_file *f, int *out) { return Real(f)->pMethods->xCheckReservedLock(Real(f), out); }
int FileControl(sqlite3_file *f, int op, void *arg) { return Real(f)->pMethods->xFileControl(Real(f), op, arg); }
int SectorSize(sqlite3_file *f) { return Real(f)->pMethods->xSectorSize(Real(f)); }
int DeviceCharacteristics(sqlite3_file *f) { return Real(f)->pMethods->xDeviceCharacteristics(Real(f)); }
int ShmMap(sqlite3_file *f, int region, int size, int extend, void volatile **out) {
    return Real(f)->pMethods->xShmMap(Real(f), region, size, extend, out);
}
int ShmLock(sqlite3_file *f, int offset, int n, int flags) {
    return Real(f)->pMethods->xShmLock(Real(f), offset, n, flags);
}
void ShmBarrier(sqlite3_file *f) { Real(f)->pMethods->xShmBarrier(Real(f)); }
int ShmUnmap(sqlite3_file *f, int deleteFlag) { return Real(f)->pMethods->xShmUnmap(Real(f), deleteFlag); }
int Fetch(sqlite3_file *f, sqlite3_int64 offset, int amount, void **out) {
    int rc = Real(f)->pMethods->xFetch(Real(f), offset, amount, out);
    if (reinterpret_cast<CountingFile *>(f)->kind == kDb) (rc == SQLITE_OK && *out != NULL ? Mapped : Unmapped)++;
    return rc;
}
int Unfetch(sqlite3_file *f, sqlite3_int64 offset, void *page) {
    return Real(f)->pMethods->xUnfetch(Real(f), offset, page);
}

const sqlite3_io_methods kMethods = {
    3,        Close,   Read,        Write,      Truncate, Sync,      FileSize, Lock,  Unlock,
    CheckReservedLock, FileControl, SectorSize, DeviceCharacteristics, ShmMap, ShmLock, ShmBarrier,
    ShmUnmap, Fetch,   Unfetch,
};

int Open(sqlite3_vfs *, const char *name, sqlite3_file *file, int flags, int *outFlags) {
    CountingFile *c = reinterpret_cast<CountingFile *>(file);
    c->real = reinterpret_cast<sqlite3_file *>(c + 1);
    c->kind = (flags & SQLITE_OPEN_MAIN_DB) ? kDb : (flags & SQLITE_OPEN_MAIN_JOURNAL) ? kJournal : kOther;
    int rc = RealVfs.xOpen(&RealVfs, name, c->real, flags, outFlags);
    c->base.pMethods = c->real->pMethods != NULL ? &kMethods : NULL;
    return rc;
}

}  // namespace

bool InstallIoCounter() {
    if (Installed) return true;
    sqlite3_vfs *system = sqlite3_vfs_find(NULL);
    if (system == NULL || system->iVersion < 3) return false;
    RealVfs = *system;
    CountingVfs = *system;
    CountingVfs.zName = "korvane-counting";
    CountingVfs.szOsFile = (int)sizeof(CountingFile) + system->szOsFile;
    CountingVfs.xOpen = Open;
    Installed = sqlite3_vfs_register(&CountingVfs, 1) == SQLITE_OK;
    return Installed;
}

IoCounts CurrentIoCounts() {
    IoCounts c;
    c.dbReads = Reads[kDb];
    c.dbWrites = Writes[kDb];
    c.journalReads = Reads[kJournal];
    c.journalWrites = Writes[kJournal];
    c.otherReads = Reads[kOther];
    c.otherWrites = Writes[kOther];
    c.syncs = Syncs[kDb] + Syncs[kJournal] + Syncs[kOther];
    c.dbSyncs = Syncs[kDb];
    c.journalSyncs = Syncs[kJournal];
    c.dbMapped = Mapped;
    c.dbUnmapped = Unmapped;
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    c.readSeconds = (double)ReadTicks / (double)frequency.QuadPart;
    c.writeSeconds = (double)WriteTicks / (double)frequency.QuadPart;
    c.syncSeconds = (double)SyncTicks / (double)frequency.QuadPart;
    return c;
}

void ResetIoCounts() {
    for (int i = 0; i < 3; i++) Reads[i] = Writes[i] = Syncs[i] = 0;
    Mapped = Unmapped = 0;
    ReadTicks = WriteTicks = SyncTicks = 0;
    Times.clear();
}

void KeepSyncTimes(bool on) { Timing = on; }
std::vector<double> &SyncTimes() { return Times; }

}  // namespace bench
