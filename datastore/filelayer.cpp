// The write-coalescing file layer.
#include "filelayer.h"

#include <windows.h>

#include <stdlib.h>
#include <string.h>

namespace {

struct LayerFile {
    sqlite3_file base;     // what the engine sees
    sqlite3_file *real;    // the file of the layer below, right after this struct
    int failed;            // a held-back write to this file that failed; reported by its next sync
    sqlite3_int64 align_;  // keeps the layer below's file aligned
};

sqlite3_vfs *Below;  // the layer this one is in front of
sqlite3_vfs Layer;
bool Installed;

// The one run of writes held back, and its guard (connections of other
// threads share it).
CRITICAL_SECTION Guard;
LayerFile *HeldFile;       // NULL: nothing held
sqlite3_int64 HeldOffset;  // where the run begins in HeldFile
int HeldBytes;
char *Held;                // kCoalesceBytes

sqlite3_file *Real(sqlite3_file *f) { return reinterpret_cast<LayerFile *>(f)->real; }

// Writes the held run out; the caller holds Guard.
int WriteOutLocked() {
    if (HeldFile == NULL) return SQLITE_OK;
    LayerFile *file = HeldFile;
    int bytes = HeldBytes;
    HeldFile = NULL;
    HeldBytes = 0;
    int rc = file->real->pMethods->xWrite(file->real, Held, bytes, HeldOffset);
    if (rc != SQLITE_OK) file->failed = rc;
    return rc;
}

// Writes the held run out, whatever file it is of.
int WriteOut() {
    EnterCriticalSection(&Guard);
    int rc = WriteOutLocked();
    LeaveCriticalSection(&Guard);
    return rc;
}

// Writes the held run out when it is of file f.
int WriteOutIfOf(sqlite3_file *f) {
    EnterCriticalSection(&Guard);
    int rc = HeldFile == reinterpret_cast<LayerFile *>(f) ? WriteOutLocked() : SQLITE_OK;
    LeaveCriticalSection(&Guard);
    return rc;
}

int Close(sqlite3_file *f) {
    int held = WriteOutIfOf(f);
    int rc = Real(f)->pMethods->xClose(Real(f));
    return held != SQLITE_OK ? held : rc;
}

// A read sees what was written before it, so a run of the same file goes
// out first; a read of another file changes nothing the system keeps.
int Read(sqlite3_file *f, void *buffer, int amount, sqlite3_int64 offset) {
    int rc = WriteOutIfOf(f);
    return rc != SQLITE_OK ? rc : Real(f)->pMethods->xRead(Real(f), buffer, amount, offset);
}

int Write(sqlite3_file *f, const void *buffer, int amount, sqlite3_int64 offset) {
    LayerFile *file = reinterpret_cast<LayerFile *>(f);
    EnterCriticalSection(&Guard);
    int rc = SQLITE_OK;
    if (HeldFile != NULL &&
        (HeldFile != file || offset != HeldOffset + HeldBytes || amount > kCoalesceBytes - HeldBytes)) {
        rc = WriteOutLocked();
    }
    if (rc == SQLITE_OK) {
        if (amount <= 0 || amount > kCoalesceBytes) {
            rc = file->real->pMethods->xWrite(file->real, buffer, amount, offset);
        } else {
            if (HeldFile == NULL) {
                HeldFile = file;
                HeldOffset = offset;
            }
            memcpy(Held + HeldBytes, buffer, (size_t)amount);
            HeldBytes += amount;
        }
    }
    LeaveCriticalSection(&Guard);
    return rc;
}

int Truncate(sqlite3_file *f, sqlite3_int64 size) {
    int rc = WriteOut();
    return rc != SQLITE_OK ? rc : Real(f)->pMethods->xTruncate(Real(f), size);
}

int Sync(sqlite3_file *f, int flags) {
    int rc = WriteOut();
    LayerFile *file = reinterpret_cast<LayerFile *>(f);
    if (rc == SQLITE_OK && file->failed != SQLITE_OK) rc = file->failed;
    file->failed = SQLITE_OK;
    return rc != SQLITE_OK ? rc : Real(f)->pMethods->xSync(Real(f), flags);
}

int FileSize(sqlite3_file *f, sqlite3_int64 *size) {
    int rc = WriteOut();
    return rc != SQLITE_OK ? rc : Real(f)->pMethods->xFileSize(Real(f), size);
}

int Lock(sqlite3_file *f, int level) {
    int rc = WriteOut();
    return rc != SQLITE_OK ? rc : Real(f)->pMethods->xLock(Real(f), level);
}

int Unlock(sqlite3_file *f, int level) {
    int rc = WriteOut();
    return rc != SQLITE_OK ? rc : Real(f)->pMethods->xUnlock(Real(f), level);
}

int CheckReservedLock(sqlite3_file *f, int *out) {
    int rc = WriteOut();
    return rc != SQLITE_OK ? rc : Real(f)->pMethods->xCheckReservedLock(Real(f), out);
}

int FileControl(sqlite3_file *f, int op, void *arg) {
    int rc = WriteOut();
    return rc != SQLITE_OK ? rc : Real(f)->pMethods->xFileControl(Real(f), op, arg);
}

int SectorSize(sqlite3_file *f) { return Real(f)->pMethods->xSectorSize(Real(f)); }
int DeviceCharacteristics(sqlite3_file *f) { return Real(f)->pMethods->xDeviceCharacteristics(Real(f)); }

int ShmMap(sqlite3_file *f, int region, int size, int extend, void volatile **out) {
    int rc = WriteOut();
    if (rc != SQLITE_OK) return rc;
    if (Real(f)->pMethods->iVersion < 2) return SQLITE_IOERR_SHMMAP;
    return Real(f)->pMethods->xShmMap(Real(f), region, size, extend, out);
}
int ShmLock(sqlite3_file *f, int offset, int n, int flags) {
    int rc = WriteOut();
    if (rc != SQLITE_OK) return rc;
    if (Real(f)->pMethods->iVersion < 2) return SQLITE_IOERR_SHMLOCK;
    return Real(f)->pMethods->xShmLock(Real(f), offset, n, flags);
}
void ShmBarrier(sqlite3_file *f) {
    WriteOut();
    if (Real(f)->pMethods->iVersion >= 2) Real(f)->pMethods->xShmBarrier(Real(f));
}
int ShmUnmap(sqlite3_file *f, int deleteFlag) {
    int rc = WriteOut();
    if (rc != SQLITE_OK) return rc;
    return Real(f)->pMethods->iVersion < 2 ? SQLITE_OK : Real(f)->pMethods->xShmUnmap(Real(f), deleteFlag);
}

// Pages had from a memory map see the file as the system has it.
int Fetch(sqlite3_file *f, sqlite3_int64 offset, int amount, void **out) {
    *out = NULL;
    int rc = WriteOutIfOf(f);
    if (rc != SQLITE_OK || Real(f)->pMethods->iVersion < 3) return rc;
    return Real(f)->pMethods->xFetch(Real(f), offset, amount, out);
}
int Unfetch(sqlite3_file *f, sqlite3_int64 offset, void *page) {
    if (Real(f)->pMethods->iVersion < 3) return SQLITE_OK;
    return Real(f)->pMethods->xUnfetch(Real(f), offset, page);
}

const sqlite3_io_methods kMethods = {
    3,        Close,   Read,        Write,      Truncate, Sync,      FileSize, Lock,  Unlock,
    CheckReservedLock, FileControl, SectorSize, DeviceCharacteristics, ShmMap, ShmLock, ShmBarrier,
    ShmUnmap, Fetch,   Unfetch,
};

int Open(sqlite3_vfs *, const char *name, sqlite3_file *file, int flags, int *outFlags) {
    LayerFile *f = reinterpret_cast<LayerFile *>(file);
    f->base.pMethods = NULL;
    f->real = reinterpret_cast<sqlite3_file *>(f + 1);
    f->failed = SQLITE_OK;
    int rc = WriteOut();  // a new file is a change the system keeps
    if (rc != SQLITE_OK) return rc;
    rc = Below->xOpen(Below, name, f->real, flags, outFlags);
    if (f->real->pMethods != NULL) f->base.pMethods = &kMethods;
    return rc;
}

int Delete(sqlite3_vfs *, const char *name, int syncDir) {
    int rc = WriteOut();
    return rc != SQLITE_OK ? rc : Below->xDelete(Below, name, syncDir);
}

int Access(sqlite3_vfs *, const char *name, int flags, int *out) {
    int rc = WriteOut();
    return rc != SQLITE_OK ? rc : Below->xAccess(Below, name, flags, out);
}

}  // namespace

bool InstallWriteCoalescing() {
    if (Installed) return true;
    sqlite3_vfs *below = sqlite3_vfs_find(NULL);
    if (below == NULL) return false;
    if (Held == NULL) Held = static_cast<char *>(malloc(kCoalesceBytes));
    if (Held == NULL) return false;
    InitializeCriticalSection(&Guard);
    Below = below;
    Layer = *below;
    Layer.pNext = NULL;
    Layer.zName = "korvane-coalescing";
    Layer.szOsFile = (int)sizeof(LayerFile) + below->szOsFile;
    Layer.xOpen = Open;
    Layer.xDelete = Delete;
    Layer.xAccess = Access;
    Installed = sqlite3_vfs_register(&Layer, 1) == SQLITE_OK;
    if (!Installed) DeleteCriticalSection(&Guard);
    return Installed;
}
