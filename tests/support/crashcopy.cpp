// A file layer over the engine's own that copies a database and its journal
// as they lie on the disk just before one chosen write: the files a power
// cut or a killed writer leaves at that point.
#include "testsupport.h"

#include <string.h>

namespace testsupport {

namespace {

// One open file of the layer; the engine's own file follows it.
struct LayerFile {
    sqlite3_file base;   // pMethods: the layer's methods
    sqlite3_file *real;  // the engine's file, right after this struct
    bool counted;        // a main database or its journal: its writes count
};

const int kLayerFileBytes = (int)((sizeof(LayerFile) + 7) & ~(size_t)7);

sqlite3_vfs *RealVfs;
sqlite3_vfs LayerVfs;
CrashCopy *Active;  // the one layer installed, or NULL

sqlite3_file *Real(sqlite3_file *file) { return reinterpret_cast<LayerFile *>(file)->real; }

int LayerClose(sqlite3_file *file) { return Real(file)->pMethods->xClose(Real(file)); }
int LayerRead(sqlite3_file *file, void *buffer, int amount, sqlite3_int64 offset) {
    return Real(file)->pMethods->xRead(Real(file), buffer, amount, offset);
}
int LayerWrite(sqlite3_file *file, const void *buffer, int amount, sqlite3_int64 offset) {
    if (reinterpret_cast<LayerFile *>(file)->counted) Active->BeforeChange();
    return Real(file)->pMethods->xWrite(Real(file), buffer, amount, offset);
}
int LayerTruncate(sqlite3_file *file, sqlite3_int64 size) {
    if (reinterpret_cast<LayerFile *>(file)->counted) Active->BeforeChange();
    return Real(file)->pMethods->xTruncate(Real(file), size);
}
int LayerSync(sqlite3_file *file, int flags) { return Real(file)->pMethods->xSync(Real(file), flags); }
int LayerFileSize(sqlite3_file *file, sqlite3_int64 *size) {
    return Real(file)->pMethods->xFileSize(Real(file), size);
}
int LayerLock(sqlite3_file *file, int level) { return Real(file)->pMethods->xLock(Real(file), level); }
int LayerUnlock(sqlite3_file *file, int level) { return Real(file)->pMethods->xUnlock(Real(file), level); }
int LayerCheckReservedLock(sqlite3_file *file, int *out) {
    return Real(file)->pMethods->xCheckReservedLock(Real(file), out);
}
int LayerFileControl(sqlite3_file *file, int op, void *arg) {
    return Real(file)->pMethods->xFileControl(Real(file), op, arg);
}
int LayerSectorSize(sqlite3_file *file) { return Real(file)->pMethods->xSectorSize(Real(file)); }
int LayerDeviceCharacteristics(sqlite3_file *file) {
    return Real(file)->pMethods->xDeviceCharacteristics(Real(file));
}

// Version 1: no shared memory and no memory mapping through the layer.
const sqlite3_io_methods kLayerMethods = {
    1,           LayerClose,    LayerRead,        LayerWrite,        LayerTruncate,
    LayerSync,   LayerFileSize, LayerLock,        LayerUnlock,       LayerCheckReservedLock,
    LayerFileControl, LayerSectorSize, LayerDeviceCharacteristics,
    NULL,        NULL,          NULL,             NULL,              NULL,
    NULL,
};

int LayerOpen(sqlite3_vfs *, const char *name, sqlite3_file *file, int flags, int *outFlags) {
    LayerFile *layer = reinterpret_cast<LayerFile *>(file);
    layer->real = reinterpret_cast<sqlite3_file *>(reinterpret_cast<char *>(file) + kLayerFileBytes);
    layer->counted = (flags & (SQLITE_OPEN_MAIN_DB | SQLITE_OPEN_MAIN_JOURNAL)) != 0;
    int rc = RealVfs->xOpen(RealVfs, name, layer->real, flags, outFlags);
    layer->base.pMethods = rc == SQLITE_OK && layer->real->pMethods != NULL ? &kLayerMethods : NULL;
    return rc;
}

int LayerDelete(sqlite3_vfs *, const char *name, int syncDir) {
    size_t length = strlen(name);
    if (length > 8 && strcmp(name + length - 8, "-journal") == 0) Active->BeforeChange();
    return RealVfs->xDelete(RealVfs, name, syncDir);
}

// Copies from to to as it lies on the disk now, or removes to when from is
// not there.
void CopyAsItLies(const std::wstring &from, const std::wstring &to) {
    SetFileAttributesW(to.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(to.c_str());
    HANDLE file = CreateFileW(from.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) return;
    std::vector<unsigned char> bytes;
    unsigned char buffer[65536];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof buffer, &got, NULL) && got > 0) bytes.insert(bytes.end(), buffer, buffer + got);
    CloseHandle(file);
    WriteFileBytes(to, bytes);
}

}  // namespace

CrashCopy::CrashCopy(const std::wstring &path, int at, const std::wstring &to) : path_(path), to_(to), at_(at) {
    if (Active != NULL) return;
    RealVfs = sqlite3_vfs_find(NULL);
    LayerVfs = *RealVfs;
    LayerVfs.zName = "crashcopy";
    LayerVfs.szOsFile = kLayerFileBytes + RealVfs->szOsFile;
    LayerVfs.pNext = NULL;
    LayerVfs.xOpen = LayerOpen;
    LayerVfs.xDelete = LayerDelete;
    if (sqlite3_vfs_register(&LayerVfs, 1) == SQLITE_OK) {
        Active = this;
        installed_ = true;
    }
}

CrashCopy::~CrashCopy() {
    if (!installed_) return;
    sqlite3_vfs_unregister(&LayerVfs);
    Active = NULL;
}

void CrashCopy::BeforeChange() {
    changes_++;
    if (changes_ != at_) return;
    CopyAsItLies(path_, to_);
    CopyAsItLies(path_ + L"-journal", to_ + L"-journal");
    copied_ = true;
}

}  // namespace testsupport
