// What start-up's checks of the data file and the books cost a healthy
// start-up, beside the whole-file quick_check of the data file that the
// data file's check stands in for.
//
//   bench_startup DATAFILE WORKFOLDER [DIARYROWS] [RUNS]
//
// DATAFILE is a data file made by "KorvaneDataTool make-data"; the first
// check of it runs on the file as the system's cache holds it (scripts/
// bench.sh drops it from the cache first), the others warm. In WORKFOLDER
// the books of a new PC are made (init, a new diary, a new remark book) and
// a diary of DIARYROWS searches (default 20000), and PrepareBookFile timed
// on each.
#include <winsock2.h>

#include <windows.h>

#include <stdio.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include "benchutil.h"
#include "bookcheck.h"
#include "cipher.h"
#include "datastore.h"
#include "datatool.h"
#include "iocount.h"
#include "sqlite3.h"

namespace {

// The data file's start-up check: header, open, what a search needs.
// Returns the check's result; *ms gets its time.
int CheckDataFile(const std::wstring &path, double *ms) {
    double t0 = bench::Now();
    char detail[256] = "";
    int rc = CheckDataFileHeader(path.c_str(), detail, sizeof detail);
    sqlite3 *db = NULL;
    if (rc == SQLITE_OK) rc = sqlite3_open(bench::Utf8(path).c_str(), &db);
    if (rc == SQLITE_OK) rc = CheckDataConnection(db, detail, sizeof detail);
    *ms = (bench::Now() - t0) * 1e3;
    sqlite3_close(db);
    if (rc != SQLITE_OK) fprintf(stderr, "bench_startup: the data check failed: %d %s\n", rc, detail);
    return rc;
}

// PrepareBookFile on a sound book, runs times; the median in ms.
double TimeBookCheck(const BookFile &book, int runs) {
    std::vector<double> ms;
    for (int i = 0; i < runs; i++) {
        WCHAR aside[kPathChars];
        double t0 = bench::Now();
        int state = PrepareBookFile(book, aside);
        ms.push_back((bench::Now() - t0) * 1e3);
        if (state != kBookReady) {
            fprintf(stderr, "bench_startup: %ls is not ready (%d)\n", book.path, state);
            return -1;
        }
    }
    return bench::Percentile(ms, 50);
}

double TimePragma(sqlite3 *db, const char *sql, std::string *verdict) {
    double t0 = bench::Now();
    sqlite3_stmt *stmt = NULL;
    *verdict = "(failed)";
    if (sqlite3_prepare_v2(db, sql, -1, &stmt, NULL) == SQLITE_OK && sqlite3_step(stmt) == SQLITE_ROW) {
        const unsigned char *text = sqlite3_column_text(stmt, 0);
        *verdict = text ? (const char *)text : "";
    }
    sqlite3_finalize(stmt);
    return (bench::Now() - t0) * 1e3;
}

}  // namespace

int wmain(int argc, wchar_t **argv) {
    if (argc < 3) {
        fprintf(stderr, "usage: bench_startup DATAFILE WORKFOLDER [DIARYROWS] [RUNS]\n");
        return 2;
    }
    std::wstring dataPath = argv[1];
    std::wstring work = argv[2];
    if (work.back() != L'\\') work += L'\\';
    int diaryRows = argc > 3 ? _wtoi(argv[3]) : 20000;
    int runs = argc > 4 ? _wtoi(argv[4]) : 20;
    if (runs <= 0) runs = 20;
    KeyCipherContexts();
    bool counted = bench::InstallIoCounter();

    printf("start-up checks: data file %ls\n", dataPath.c_str());
    double first = 0;
    bench::ResetIoCounts();
    if (CheckDataFile(dataPath, &first) != SQLITE_OK) return 1;
    long long reads = counted ? bench::CurrentIoCounts().dbReads : -1;
    std::vector<double> warm;
    for (int i = 0; i < runs; i++) {
        double ms = 0;
        CheckDataFile(dataPath, &ms);
        warm.push_back(ms);
    }
    double dataWarm = bench::Percentile(warm, 50);
    printf("  data check, first (cache dropped)  %8.2f ms  (%lld file reads)\n", first, reads);
    printf("  data check, warm                   %8.2f ms median, %8.2f ms max of %d\n", dataWarm,
           warm.back(), runs);

    // The books of a new PC, and a diary that has been in use.
    std::string error;
    std::wstring init = work + L"bench-init.db", diary = work + L"bench-diary.db",
                 remark = work + L"bench-remark.db", used = work + L"bench-used-diary.db";
    for (const std::wstring &path : {init, diary, remark, used}) DeleteFileW(path.c_str());
    {
        sqlite3 *db = NULL;
        sqlite3_open(bench::Utf8(init).c_str(), &db);
        sqlite3_exec(db, "CREATE TABLE PRI(C1 TEXT PRIMARY KEY, C2 TEXT); INSERT INTO PRI VALUES('DSP','')", NULL,
                     NULL, NULL);
        sqlite3_close(db);
    }
    if (datatool::MakeDiaryFile(diary.c_str(), 15, 0, false, {}, &error) != 0 ||
        datatool::MakeRemarkFile(remark.c_str(), 1002, 0, {}, &error) != 0 ||
        datatool::MakeDiaryFile(used.c_str(), 15, diaryRows, false, {}, &error) != 0) {
        fprintf(stderr, "bench_startup: %s\n", error.c_str());
        return 1;
    }
    const BookFile initBook = {init.c_str(), L"bench-init - DAMAGED", "PRI", false, false};
    const BookFile diaryBook = {diary.c_str(), L"bench-diary - DAMAGED", "PRS", true, true};
    const BookFile remarkBook = {remark.c_str(), L"bench-remark - DAMAGED", "PRS", true, true};
    const BookFile usedBook = {used.c_str(), L"bench-used - DAMAGED", "PRS", true, true};
    double initMs = TimeBookCheck(initBook, runs);
    double diaryMs = TimeBookCheck(diaryBook, runs);
    double remarkMs = TimeBookCheck(remarkBook, runs);
    double usedMs = TimeBookCheck(usedBook, runs);
    if (initMs < 0 || diaryMs < 0 || remarkMs < 0 || usedMs < 0) return 1;
    printf("  book check, init                   %8.2f ms median\n", initMs);
    printf("  book check, new diary              %8.2f ms median\n", diaryMs);
    printf("  book check, new remark book        %8.2f ms median\n", remarkMs);
    printf("  book check, diary of %6d rows    %8.2f ms median\n", diaryRows, usedMs);
    printf("  healthy start-up, all checks       %8.2f ms (new books, warm data file)\n",
           dataWarm + initMs + diaryMs + remarkMs);
    printf("  healthy start-up, all checks       %8.2f ms (used diary, data file as first met)\n",
           first + initMs + usedMs + remarkMs);
    for (const std::wstring &path : {init, diary, remark, used}) DeleteFileW(path.c_str());

    // What the data check stands in for.
    sqlite3 *db = NULL;
    if (sqlite3_open_v2(bench::Utf8(dataPath).c_str(), &db, SQLITE_OPEN_READONLY, NULL) != SQLITE_OK) {
        fprintf(stderr, "bench_startup: cannot open the data file\n");
        return 1;
    }
    std::string verdict;
    double prd = TimePragma(db, "PRAGMA quick_check(PRD)", &verdict);
    printf("  quick_check(PRD)                   %8.2f ms  %s\n", prd, verdict.c_str());
    double whole = TimePragma(db, "PRAGMA quick_check", &verdict);
    printf("  quick_check, whole data file       %8.2f ms  %s\n", whole, verdict.c_str());
    sqlite3_close(db);
    return 0;
}
