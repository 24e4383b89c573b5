// Hooks on the hooked file layer that copy a database and its journal as
// they lie on the disk just before one chosen write: the files a power cut
// or a killed writer leaves at that point.
#include "testsupport.h"

#include "hookedvfs.h"

#include <string.h>

namespace testsupport {

namespace {

CrashCopy *Active;  // the one copier installed, or NULL

// The changes that count: writes and truncations of main databases and
// journals, and the deletion of a journal.
void BeforeWrite(const HookedFile &, const void *, int, sqlite3_int64) { Active->BeforeChange(); }
void BeforeTruncate(const HookedFile &, sqlite3_int64) { Active->BeforeChange(); }
void BeforeDelete(const char *name) {
    size_t length = strlen(name);
    if (length > 8 && strcmp(name + length - 8, "-journal") == 0) Active->BeforeChange();
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
    FileHooks hooks = {};
    hooks.counts = SQLITE_OPEN_MAIN_DB | SQLITE_OPEN_MAIN_JOURNAL;
    hooks.beforeWrite = BeforeWrite;
    hooks.beforeTruncate = BeforeTruncate;
    hooks.beforeDelete = BeforeDelete;
    if (InstallHookedVfs(hooks)) {
        Active = this;
        installed_ = true;
    }
}

CrashCopy::~CrashCopy() {
    if (!installed_) return;
    RemoveHookedVfs();
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
