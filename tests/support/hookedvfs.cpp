// The hooked pass-through file layer of the killed-write tests.
#include "hookedvfs.h"

#include <stddef.h>

namespace testsupport {

namespace {

// One open file of the layer; the file of the layer below follows it.
struct LayerFile {
    sqlite3_file base;  // pMethods: the layer's methods of the real file's version
    HookedFile hooked;  // what the hooks are told; hooked.real lies right after this struct
    bool counts;        // its calls reach the file hooks
};

const int kLayerFileBytes = (int)((sizeof(LayerFile) + 7) & ~(size_t)7);

sqlite3_vfs *Below;  // the layer under this one, while it is installed
sqlite3_vfs Layer;
FileHooks Hooks;
bool Installed;

LayerFile *Of(sqlite3_file *f) { return reinterpret_cast<LayerFile *>(f); }
sqlite3_file *Real(sqlite3_file *f) { return Of(f)->hooked.real; }

int Close(sqlite3_file *f) { return Real(f)->pMethods->xClose(Real(f)); }
int Read(sqlite3_file *f, void *buffer, int amount, sqlite3_int64 offset) {
    return Real(f)->pMethods->xRead(Real(f), buffer, amount, offset);
}
int Write(sqlite3_file *f, const void *buffer, int amount, sqlite3_int64 offset) {
    if (Of(f)->counts && Hooks.beforeWrite != NULL) Hooks.beforeWrite(Of(f)->hooked, buffer, amount, offset);
    return Real(f)->pMethods->xWrite(Real(f), buffer, amount, offset);
}
int Truncate(sqlite3_file *f, sqlite3_int64 size) {
    if (Of(f)->counts && Hooks.beforeTruncate != NULL) Hooks.beforeTruncate(Of(f)->hooked, size);
    return Real(f)->pMethods->xTruncate(Real(f), size);
}
int Sync(sqlite3_file *f, int flags) {
    if (Of(f)->counts && Hooks.beforeSync != NULL) Hooks.beforeSync(Of(f)->hooked, flags);
    int rc = Real(f)->pMethods->xSync(Real(f), flags);
    if (Of(f)->counts && Hooks.afterSync != NULL) Hooks.afterSync(Of(f)->hooked, rc);
    return rc;
}
int FileSize(sqlite3_file *f, sqlite3_int64 *size) { return Real(f)->pMethods->xFileSize(Real(f), size); }
int Lock(sqlite3_file *f, int level) {
    if (Of(f)->counts && Hooks.beforeLock != NULL) Hooks.beforeLock(Of(f)->hooked, level);
    return Real(f)->pMethods->xLock(Real(f), level);
}
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
    return Real(f)->pMethods->xFetch(Real(f), offset, amount, out);
}
int Unfetch(sqlite3_file *f, sqlite3_int64 offset, void *page) {
    return Real(f)->pMethods->xUnfetch(Real(f), offset, page);
}

// The methods by interface version (1 to 3): the engine calls no method
// beyond the version a file gives, so each file gives its real file's.
#define KORVANE_HOOKED_METHODS(version)                                                                          \
    {                                                                                                            \
        version, Close, Read, Write, Truncate, Sync, FileSize, Lock, Unlock, CheckReservedLock, FileControl,     \
            SectorSize, DeviceCharacteristics, ShmMap, ShmLock, ShmBarrier, ShmUnmap, Fetch, Unfetch,            \
    }
const sqlite3_io_methods kMethods[3] = {KORVANE_HOOKED_METHODS(1), KORVANE_HOOKED_METHODS(2),
                                        KORVANE_HOOKED_METHODS(3)};
#undef KORVANE_HOOKED_METHODS

int VfsOpen(sqlite3_vfs *, const char *name, sqlite3_file *file, int flags, int *outFlags) {
    LayerFile *f = Of(file);
    f->base.pMethods = NULL;
    f->hooked.name = name;  // the engine keeps it unchanged until the file is closed
    f->hooked.flags = flags;
    f->hooked.real = reinterpret_cast<sqlite3_file *>(reinterpret_cast<char *>(file) + kLayerFileBytes);
    f->counts = Hooks.counts == 0 || (flags & Hooks.counts) != 0;
    int rc = Below->xOpen(Below, name, f->hooked.real, flags, outFlags);
    const sqlite3_io_methods *real = f->hooked.real->pMethods;
    if (real != NULL) {
        int version = real->iVersion < 1 ? 1 : real->iVersion > 3 ? 3 : real->iVersion;
        f->base.pMethods = &kMethods[version - 1];
    }
    return rc;
}
int VfsDelete(sqlite3_vfs *, const char *name, int syncDir) {
    if (Hooks.beforeDelete != NULL) Hooks.beforeDelete(name);
    return Below->xDelete(Below, name, syncDir);
}
int VfsAccess(sqlite3_vfs *, const char *name, int flags, int *out) { return Below->xAccess(Below, name, flags, out); }
int VfsFullPathname(sqlite3_vfs *, const char *name, int n, char *out) {
    return Below->xFullPathname(Below, name, n, out);
}
void *VfsDlOpen(sqlite3_vfs *, const char *name) { return Below->xDlOpen(Below, name); }
void VfsDlError(sqlite3_vfs *, int n, char *out) { Below->xDlError(Below, n, out); }
void (*VfsDlSym(sqlite3_vfs *, void *library, const char *symbol))(void) {
    return Below->xDlSym(Below, library, symbol);
}
void VfsDlClose(sqlite3_vfs *, void *library) { Below->xDlClose(Below, library); }
int VfsRandomness(sqlite3_vfs *, int n, char *out) { return Below->xRandomness(Below, n, out); }
int VfsSleep(sqlite3_vfs *, int microseconds) { return Below->xSleep(Below, microseconds); }
int VfsCurrentTime(sqlite3_vfs *, double *out) { return Below->xCurrentTime(Below, out); }
int VfsGetLastError(sqlite3_vfs *, int n, char *out) { return Below->xGetLastError(Below, n, out); }
int VfsCurrentTimeInt64(sqlite3_vfs *, sqlite3_int64 *out) { return Below->xCurrentTimeInt64(Below, out); }
int VfsSetSystemCall(sqlite3_vfs *, const char *name, sqlite3_syscall_ptr call) {
    return Below->xSetSystemCall(Below, name, call);
}
sqlite3_syscall_ptr VfsGetSystemCall(sqlite3_vfs *, const char *name) { return Below->xGetSystemCall(Below, name); }
const char *VfsNextSystemCall(sqlite3_vfs *, const char *name) { return Below->xNextSystemCall(Below, name); }

}  // namespace

bool InstallHookedVfs(const FileHooks &hooks) {
    if (Installed) return false;
    sqlite3_vfs *below = sqlite3_vfs_find(NULL);
    if (below == NULL) return false;
    Below = below;
    Hooks = hooks;
    // The layer below's own methods are called with the layer below: copy
    // its version and settings, then forward each method it has.
    Layer = *below;
    Layer.szOsFile = kLayerFileBytes + below->szOsFile;
    Layer.pNext = NULL;
    Layer.zName = "korvane-hooked";
    Layer.pAppData = NULL;
    Layer.xOpen = VfsOpen;
    Layer.xDelete = VfsDelete;
    Layer.xAccess = VfsAccess;
    Layer.xFullPathname = VfsFullPathname;
    if (below->xDlOpen != NULL) Layer.xDlOpen = VfsDlOpen;
    if (below->xDlError != NULL) Layer.xDlError = VfsDlError;
    if (below->xDlSym != NULL) Layer.xDlSym = VfsDlSym;
    if (below->xDlClose != NULL) Layer.xDlClose = VfsDlClose;
    Layer.xRandomness = VfsRandomness;
    Layer.xSleep = VfsSleep;
    Layer.xCurrentTime = VfsCurrentTime;
    Layer.xGetLastError = VfsGetLastError;
    if (below->iVersion >= 2 && below->xCurrentTimeInt64 != NULL) Layer.xCurrentTimeInt64 = VfsCurrentTimeInt64;
    if (below->iVersion >= 3) {
        if (below->xSetSystemCall != NULL) Layer.xSetSystemCall = VfsSetSystemCall;
        if (below->xGetSystemCall != NULL) Layer.xGetSystemCall = VfsGetSystemCall;
        if (below->xNextSystemCall != NULL) Layer.xNextSystemCall = VfsNextSystemCall;
    }
    Installed = sqlite3_vfs_register(&Layer, 1) == SQLITE_OK;
    return Installed;
}

void RemoveHookedVfs() {
    if (!Installed) return;
    sqlite3_vfs_unregister(&Layer);
    Installed = false;
}

}  // namespace testsupport
