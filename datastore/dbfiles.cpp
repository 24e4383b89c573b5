// Database files, conversion and backup names.
#include "dbfiles.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strsafe.h>

#include <algorithm>

#include "datastore.h"
#include "statement.h"
#include "textutil.h"

sqlite3 *DataDb;
sqlite3 *InitDb;
sqlite3 *DiaryDb;
sqlite3 *RemarkDb;
sqlite3 *TempDiaryDb;
sqlite3 *ImportDb;

WCHAR DataDbPath[kPathChars];
WCHAR InitDbPath[kPathChars];
WCHAR DiaryDbPath[kPathChars];
WCHAR TempDiaryDbPath[kPathChars];
WCHAR RemarkDbPath[kPathChars];
WCHAR DiaryBackupPath[kPathChars];
WCHAR RemarkBackupPath[kPathChars];

static const WCHAR kDataFileName[] = L"KorvaneData.db";
static const WCHAR kInitFileName[] = L"KorvaneInit.db";
static const WCHAR kDiaryFileName[] = L"KorvaneDiary.db";
static const WCHAR kRemarkFileName[] = L"LastRemark.db";
static const WCHAR kRemarkBackupBase[] = L"LastRemark - BACKUP";
static const WCHAR kDiaryBackupBase[] = L"KorvaneDiary - BACKUP";

void BuildDatabasePaths(const WCHAR *programFolder) {
    StringCchPrintfW(DataDbPath, ARRAYSIZE(DataDbPath), L"%ls%ls", programFolder, kDataFileName);
    StringCchPrintfW(InitDbPath, ARRAYSIZE(InitDbPath), L"c:\\%ls", kInitFileName);
    StringCchPrintfW(DiaryDbPath, ARRAYSIZE(DiaryDbPath), L"c:\\%ls", kDiaryFileName);
    StringCchPrintfW(TempDiaryDbPath, ARRAYSIZE(TempDiaryDbPath), L"c:\\Temp_%ls", kDiaryFileName);
    StringCchPrintfW(RemarkDbPath, ARRAYSIZE(RemarkDbPath), L"c:\\%ls", kRemarkFileName);
    StringCchPrintfW(RemarkBackupPath, ARRAYSIZE(RemarkBackupPath), L"c:\\%ls.db", kRemarkBackupBase);
}

bool EngineFileName(const WCHAR *path, char *out, size_t outBytes) {
    // The engine takes file names in UTF-8; for the plain ASCII paths the
    // program uses this is the same text as the ANSI code page would give.
    int n = WideCharToMultiByte(CP_UTF8, 0, path, -1, out, (int)outBytes, NULL, NULL);
    if (n <= 0) {
        if (outBytes > 0) out[0] = 0;
        return false;
    }
    return true;
}

int FindSqlitePrefix(const unsigned char *bytes, int start, int count) {
    if (count < 7) return 0;
    for (int i = start; i <= start + count - 7; i++) {
        if (memcmp(bytes + i, "sqlite", 6) == 0) return i;
    }
    return 0;
}

// Page 1 of a file whose header says pageSizeField (bytes 16-17, big-endian;
// 1 stands for 65536). Anything outside 512..65536 or not a power of two is
// no page size, and the window stays at its 1500 bytes.
static int PageSizeFromHeader(const unsigned char *header) {
    int v = (header[16] << 8) | header[17];
    if (v == 1) return 65536;
    if (v < 512 || (v & (v - 1)) != 0) return 0;
    return v;
}

static bool WriteAt(FILE *f, long offset, const void *bytes, size_t count) {
    if (fseek(f, offset, SEEK_SET) != 0) return false;
    if (fwrite(bytes, 1, count, f) != count) return false;
    return fflush(f) == 0;
}

int ConvertToProgramDatabase(const WCHAR *path) {
    FILE *f = _wfopen(path, L"rb+");
    if (f == NULL) return 0;

    enum { kClassicWindow = 1500 };
    unsigned char header[100] = {0};
    size_t got = fread(header, 1, sizeof header, f);
    if (got < 3 || header[0] != 'S' || header[1] != 'Q' || header[2] != 'L') {
        fclose(f);
        return 1;
    }

    int ok = 1;
    static const char kMagic[] = "ZELD DATABASE 3";  // byte 15 keeps the NUL
    static const unsigned char kRollbackFormat[2] = {1, 1};
    if (!WriteAt(f, 0, kMagic, 15) || !WriteAt(f, 18, kRollbackFormat, 2)) ok = 0;

    // The internal names in the schema rows live on page 1; with 1024-byte
    // pages the classic 1500-byte window holds all of it, with the 4096-byte
    // pages of newer engines the whole page must be searched.
    int window = kClassicWindow;
    int pageSize = got >= 18 ? PageSizeFromHeader(header) : 0;
    if (pageSize > window) window = pageSize;

    unsigned char *bytes = ok ? (unsigned char *)calloc((size_t)window + 1, 1) : NULL;
    if (bytes == NULL) ok = 0;
    int have = 0;
    if (ok && fseek(f, 0, SEEK_SET) == 0) have = (int)fread(bytes, 1, (size_t)window, f);

    // Replace each occurrence that lies wholly inside what was read.
    for (int from = 1; ok;) {
        int at = FindSqlitePrefix(bytes, from, have - from + 1);
        if (at <= 0) break;
        if (!WriteAt(f, at, "ZELDdb", 6)) {
            ok = 0;  // read-only media or a full disk: stop, never loop
            break;
        }
        memcpy(bytes + at, "ZELDdb", 6);
        from = at + 6;
    }
    free(bytes);
    if (fclose(f) != 0) ok = 0;
    return ok;
}

void MonthAbbreviation(int month, WCHAR *buf, int count) {
    if (count <= 0) return;
    StringCchCopyW(buf, (size_t)count, MonthName(month));
    UpperCaseText(buf);
}

void FormatBackupPath(WCHAR *buf, int count, const WCHAR *base, const SYSTEMTIME *t) {
    WCHAR month[8];
    MonthAbbreviation(t->wMonth, month, ARRAYSIZE(month));
    StringCchPrintfW(buf, (size_t)count, L"c:\\%ls %04d-%ls-%02d %02d_%02d_%02d.db", base, t->wYear,
                     month, t->wDay, t->wHour, t->wMinute, t->wSecond);
}

void MakeRemarkBackupPath(WCHAR *buf, int count) {
    SYSTEMTIME now;
    GetLocalTime(&now);
    FormatBackupPath(buf, count, kRemarkBackupBase, &now);
}

void MakeDiaryBackupPath(WCHAR *buf, int count) {
    SYSTEMTIME now;
    GetLocalTime(&now);
    FormatBackupPath(buf, count, kDiaryBackupBase, &now);
}

// This process's address space: its largest free block, all that is free,
// and its largest mapped view of a file.
struct AddressSpaceRoom {
    unsigned long long largestFree = 0, totalFree = 0, largestView = 0;
};

static AddressSpaceRoom MeasureAddressSpace() {
    AddressSpaceRoom room;
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    MEMORY_BASIC_INFORMATION region;
    for (const char *at = (const char *)system.lpMinimumApplicationAddress;
         at < (const char *)system.lpMaximumApplicationAddress && VirtualQuery(at, &region, sizeof region) != 0;
         at = (const char *)region.BaseAddress + region.RegionSize) {
        unsigned long long size = region.RegionSize;
        if (region.State == MEM_FREE) {
            room.totalFree += size;
            room.largestFree = std::max(room.largestFree, size);
        } else if (region.State == MEM_COMMIT && region.Type == MEM_MAPPED) {
            room.largestView = std::max(room.largestView, size);
        }
    }
    return room;
}

long long QueryNumber(sqlite3 *db, const char *sql) {
    Statement query;
    if (query.Prepare(db, sql) != SQLITE_OK || sqlite3_step(query.get()) != SQLITE_ROW) return -1;
    return sqlite3_column_int64(query.get(), 0);
}

long long ChooseDataMapBytes(long long fileBytes, unsigned long long largestFree, unsigned long long totalFree) {
    const unsigned long long mib = 1024 * 1024;
    const unsigned long long most = (unsigned long long)kDataMapMiB * mib;
    const unsigned long long headroom = (unsigned long long)kDataMapHeadroomMiB * mib;
    if (fileBytes <= 0 || totalFree <= headroom) return 0;
    unsigned long long room = std::min(largestFree, totalFree - headroom);
    room &= ~(unsigned long long)(kDataMapGrain - 1);
    if (room >= std::min((unsigned long long)fileBytes, most)) return (long long)most;
    if (room < (unsigned long long)kDataMapLeastMiB * mib) return 0;
    return (long long)room;
}

int SetUpDataBookReads(sqlite3 *db) {
    if (db == NULL) return SQLITE_MISUSE;
    int rc = sqlite3_exec(db, "PRAGMA locking_mode = EXCLUSIVE;", NULL, NULL, NULL);
    if (rc != SQLITE_OK) return rc;
    long long pages = QueryNumber(db, "PRAGMA page_count");
    long long pageSize = QueryNumber(db, "PRAGMA page_size");
    long long fileBytes = pages > 0 && pageSize > 0 ? pages * pageSize : 0;
    AddressSpaceRoom room = MeasureAddressSpace();
    long long mapBytes = ChooseDataMapBytes(fileBytes, room.largestFree, room.totalFree);

    char sql[64];
    StringCchPrintfA(sql, ARRAYSIZE(sql), "PRAGMA mmap_size = %lld;", mapBytes);
    rc = sqlite3_exec(db, sql, NULL, NULL, NULL);
    if (rc != SQLITE_OK || mapBytes == 0) return rc;
    // The engine makes the map when it first reads a page past the first
    // (VLD's root, here), and where the map fails it tries again at every
    // later page: a file mapping made and closed each time, slower than the
    // read itself (and under Wine a file descriptor left behind in the
    // server each time, until no file can be opened). So make it now, and
    // where it was not had, read the file without a map from the start.
    sqlite3_exec(db, "select 1 from VLD limit 1;", NULL, NULL, NULL);
    unsigned long long expected = (unsigned long long)std::min(fileBytes, mapBytes);
    expected &= ~(unsigned long long)(kDataMapGrain - 1);
    if (expected > 0 && MeasureAddressSpace().largestView < expected)
        rc = sqlite3_exec(db, "PRAGMA mmap_size = 0;", NULL, NULL, NULL);
    return rc;
}

namespace {

int OpenWith(sqlite3 **db, const WCHAR *path, int flags) {
    *db = NULL;
    char name[kPathChars * 3];
    if (!EngineFileName(path, name, sizeof(name))) return SQLITE_CANTOPEN;
    int rc = sqlite3_open_v2(name, db, flags, NULL);
    if (rc != SQLITE_OK) CloseBookConnection(db);
    return rc;
}

}  // namespace

int OpenBookConnection(sqlite3 **db, const WCHAR *path) { return OpenWith(db, path, SQLITE_OPEN_READWRITE); }

int OpenOrCreateBookConnection(sqlite3 **db, const WCHAR *path) {
    return OpenWith(db, path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
}

void CloseBookConnection(sqlite3 **db) {
    if (*db != NULL) sqlite3_close_v2(*db);
    *db = NULL;
}
