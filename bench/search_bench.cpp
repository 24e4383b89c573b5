// The plate lookup on a large data file: the lookup key (LookupCipher, then
// MD5) and the indexed select of the plate search, timed one lookup at a
// time over random plates, found and not found.
//
//   bench_search DATAFILE [LOOKUPS] [SEED] [DIARYFOLDER]
//
// DATAFILE is a data file made by "KorvaneDataTool make-data FILE COUNT
// SEED"; the found plates are drawn from its synthetic vehicles. With
// DIARYFOLDER the search is also timed as the Find button runs it
// (LookUpAndLogPlate: the find history, SelectSql select mode 0 and the
// search's diary rows, into a scratch diary made there), with its commits
// and syncs, the time of each sync, and the disk's own sync time before and
// after it, so that a slow disk can be told from a slow program.
#include <winsock2.h>

#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strsafe.h>

#include <random>
#include <string>
#include <vector>

#include "benchutil.h"
#include "iocount.h"
#include "cipher.h"
#include "datastore.h"
#include "dbfiles.h"
#include "datatool.h"
#include "mainwindow.h"
#include "md5.h"
#include "schema.h"
#include "sqlexec.h"
#include "sqlite3.h"

namespace {

struct Lookup {
    int rows;              // rows the select returned
    WCHAR fields[4][kPlainBytes];  // the last row, deciphered as the row handler does
};

int OnRow(void *param, int columns, char **values, char **) {
    Lookup *lookup = static_cast<Lookup *>(param);
    lookup->rows++;
    for (int i = 1; i <= 4 && i < columns; i++) {
        DecodeField(DataCipher, values[i] ? values[i] : "", lookup->fields[i - 1]);
    }
    return 0;
}

// One lookup as the search makes it: key, statement text, select, rows
// deciphered. Returns the rows found.
int LookUp(sqlite3 *db, const WCHAR *plate) {
    char key[kMd5HexBytes];
    VehicleLookupKey(plate, key);
    char statement[128];
    StringCchPrintfA(statement, ARRAYSIZE(statement), "select * from VLD where C1 = '%s'", key);
    Lookup lookup;
    lookup.rows = 0;
    sqlite3_exec(db, statement, OnRow, &lookup, NULL);
    return lookup.rows;
}

void Report(const char *what, std::vector<double> &microseconds) {
    size_t n = microseconds.size();
    double median = bench::Percentile(microseconds, 50);
    double p99 = bench::Percentile(microseconds, 99);
    double worst = n ? microseconds.back() : 0;
    printf("  %-34s %7u lookups  median %8.1f us  p99 %8.1f us  max %9.1f us\n", what, (unsigned)n, median,
           p99, worst);
}

// The plates to look up: every other one drawn from the file's vehicles,
// the rest of a form the synthetic data never has ("QQQQ" and digits).
std::vector<std::wstring> Plates(uint64_t seed, uint32_t vehicles, int count, std::mt19937 &random) {
    std::vector<std::wstring> plates;
    plates.reserve((size_t)count);
    for (int i = 0; i < count; i++) {
        if (i % 2 == 0) {
            plates.push_back(datatool::SyntheticVehicle(seed, random() % vehicles).plate);
        } else {
            WCHAR plate[16];
            StringCchPrintfW(plate, ARRAYSIZE(plate), L"QQQQ%u", (unsigned)(random() % 100000));
            plates.push_back(plate);
        }
    }
    return plates;
}

int CountCommit(void *counter) {
    (*static_cast<long long *>(counter))++;
    return 0;
}

// count times (microseconds) of a 1 KB write and its FlushFileBuffers on a
// scratch file at path, as the engine writes and syncs a diary page.
std::vector<double> DiskSyncs(const std::wstring &path, int count) {
    std::vector<double> times;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, NULL, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) return times;
    char page[1024];
    for (int i = 0; i < count; i++) {
        memset(page, i & 0xff, sizeof page);
        OVERLAPPED at = {};
        at.Offset = (DWORD)((i % 8) * sizeof page);
        DWORD written = 0;
        double t0 = bench::Now();
        WriteFile(file, page, sizeof page, &written, &at);
        FlushFileBuffers(file);
        times.push_back((bench::Now() - t0) * 1e6);
    }
    CloseHandle(file);
    DeleteFileW(path.c_str());
    return times;
}

void ReportSyncs(const char *what, std::vector<double> &microseconds) {
    size_t n = microseconds.size();
    double total = 0;
    for (double us : microseconds) total += us;
    double median = bench::Percentile(microseconds, 50);  // sorts them
    printf("  %-34s %7u syncs    median %8.1f us  p99 %8.1f us  max %9.1f us  total %.2f s\n", what, (unsigned)n,
           median, bench::Percentile(microseconds, 99), n ? microseconds.back() : 0.0, total / 1e6);
}

}  // namespace

int wmain(int argc, wchar_t **argv) {
    if (argc < 2) {
        fprintf(stderr, "usage: bench_search DATAFILE [LOOKUPS] [SEED] [DIARYFOLDER]\n");
        return 2;
    }
    std::wstring dataPath = argv[1];
    int count = argc > 2 ? _wtoi(argv[2]) : 20000;
    uint64_t seed = argc > 3 ? (uint64_t)_wtoi64(argv[3]) : 1;
    std::wstring diaryFolder = argc > 4 ? argv[4] : L"";
    if (count <= 0) count = 20000;
    KeyCipherContexts();
    bench::WatchAddressSpace();
    bool counted = bench::InstallIoCounter();

    sqlite3 *db = NULL;
    double openStart = bench::Now();
    if (sqlite3_open(bench::Utf8(dataPath).c_str(), &db) != SQLITE_OK) {
        fprintf(stderr, "bench_search: cannot open %ls: %s\n", dataPath.c_str(), sqlite3_errmsg(db));
        return 1;
    }
    SetUpDataBookReads(db);  // as the program opens it
    double opened = bench::Now();
    long long vehicles = bench::QueryNumber(db, "select max(rowid) from VLD");
    if (vehicles <= 0) {
        fprintf(stderr, "bench_search: %ls has no vehicles\n", dataPath.c_str());
        return 1;
    }
    printf("plate search: %lld vehicles in %ls\n", vehicles, dataPath.c_str());
    {
        // The first lookup after the book is opened, as the agent's first
        // search after start-up meets it.
        std::mt19937 first(7);
        std::wstring plate = Plates(seed, (uint32_t)vehicles, 1, first)[0];
        double t0 = bench::Now();
        LookUp(db, plate.c_str());
        printf("  open %.1f ms; first lookup after it  %.1f us\n", (opened - openStart) * 1e3,
               (bench::Now() - t0) * 1e6);
    }

    std::mt19937 random(20260105);
    // Warm the file into the system's cache and the engine's pages, as a
    // running program has it after its first searches.
    double warmStart = bench::Now();
    for (const std::wstring &plate : Plates(seed, (uint32_t)vehicles, 2000, random)) LookUp(db, plate.c_str());
    printf("  warm-up (2000 lookups)             %.2f s\n", bench::Now() - warmStart);

    std::vector<std::wstring> plates = Plates(seed, (uint32_t)vehicles, count, random);
    // The key alone: LookupCipher and MD5.
    std::vector<double> keys;
    for (size_t i = 0; i < plates.size() && i < 5000; i++) {
        char key[kMd5HexBytes];
        double t0 = bench::Now();
        VehicleLookupKey(plates[i].c_str(), key);
        keys.push_back((bench::Now() - t0) * 1e6);
    }
    Report("lookup key alone", keys);

    bench::ResetIoCounts();
    std::vector<double> found, missing, all;
    for (const std::wstring &plate : plates) {
        double t0 = bench::Now();
        int rows = LookUp(db, plate.c_str());
        double us = (bench::Now() - t0) * 1e6;
        (rows > 0 ? found : missing).push_back(us);
        all.push_back(us);
    }
    Report("lookup, found", found);
    Report("lookup, not found", missing);
    Report("lookup, all", all);
    if (counted) {
        bench::IoCounts io = bench::CurrentIoCounts();
        double lookups = (double)plates.size();
        printf("  file reads per lookup              %.2f\n", (double)io.dbReads / lookups);
        printf("  pages from the memory map a lookup %.2f (asked of it and not had: %.2f)\n",
               (double)io.dbMapped / lookups, (double)io.dbUnmapped / lookups);
        const char *path = io.dbMapped == 0   ? "file reads: the memory map was not had"
                           : io.dbReads == 0 ? "the memory map of the whole file"
                                             : "the memory map, and file reads past its end";
        printf("  read path                          %s\n", path);
    } else {
        printf("  read path                          not counted (the counting file layer was refused)\n");
    }
    bench::ReportMemory("  ");

    if (!diaryFolder.empty()) {
        if (diaryFolder.back() != L'\\') diaryFolder += L'\\';
        std::wstring diary = diaryFolder + L"bench-diary.db";
        DeleteFileW(diary.c_str());
        StringCchCopyW(DiaryDbPath, ARRAYSIZE(DiaryDbPath), diary.c_str());
        if (CreateDiaryDatabase(NULL) != kSchemaDone || DiaryDb == NULL) {
            fprintf(stderr, "bench_search: cannot make the diary %ls\n", diary.c_str());
            return 1;
        }
        DataDb = db;
        StringCchCopyW(LocationText, ARRAYSIZE(LocationText), L"JALAN AMPANG, KUALA LUMPUR");
        long long commits = 0;
        sqlite3_commit_hook(DiaryDb, CountCommit, &commits);

        // The disk's own sync, beside the program's: a small write and its
        // sync on a scratch file next to the diary, before and after.
        std::wstring probe = diaryFolder + L"bench-sync-probe.tmp";
        std::vector<double> diskBefore = DiskSyncs(probe, 200);

        // The Find button's part that reads and writes the books: the find
        // history and the diary rows of the search written in the search's
        // diary transaction, the lookup through SelectSql mode 0.
        int searches = count < 2000 ? count : 2000;
        std::vector<double> modeFound, modeMissing, modeAll;
        int refused = 0;
        bench::ResetIoCounts();
        bench::KeepSyncTimes(true);
        for (int i = 0; i < searches; i++) {
            StringCchCopyW(FindHistory[2], kFindHistoryChars, FindHistory[1]);
            StringCchCopyW(FindHistory[1], kFindHistoryChars, FindHistory[0]);
            StringCchCopyW(FindHistory[0], kFindHistoryChars, plates[(size_t)i].c_str());
            double t0 = bench::Now();
            if (LookUpAndLogPlate() != SQLITE_OK) refused++;
            double us = (bench::Now() - t0) * 1e6;
            (VehicleFound ? modeFound : modeMissing).push_back(us);
            modeAll.push_back(us);
        }
        bench::KeepSyncTimes(false);
        bench::IoCounts io = bench::CurrentIoCounts();
        std::vector<double> syncTimes = bench::SyncTimes();
        std::vector<double> diskAfter = DiskSyncs(probe, 200);
        long long diaryRows = bench::QueryNumber(DiaryDb, "select count(*) from VLS");
        Report("search + diary, found", modeFound);
        Report("search + diary, not found", modeMissing);
        Report("search + diary, all", modeAll);
        printf("  diary rows written                 %lld (searches the diary refused: %d)\n", diaryRows, refused);
        printf("  diary commits a search             %.2f\n", (double)commits / (double)searches);
        if (counted) {
            printf("  syncs to the disk a search         %.2f (journal %.2f, diary %.2f)\n",
                   (double)io.syncs / (double)searches, (double)io.journalSyncs / (double)searches,
                   (double)io.dbSyncs / (double)searches);
            ReportSyncs("the searches' own syncs", syncTimes);
        }
        ReportSyncs("the disk's sync, before", diskBefore);
        ReportSyncs("the disk's sync, after", diskAfter);
        sqlite3_close(DiaryDb);
        DiaryDb = NULL;
        DataDb = NULL;
        DeleteFileW(diary.c_str());
    }
    sqlite3_close(db);
    return 0;
}
