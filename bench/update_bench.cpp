// The online update on a large data file: a data reply of many rows of
// mixed operations (upserts that update and insert, D, X and Z) applied
// through ApplyUpdateRows, then the whole DownloadDataUpdate against the
// stand-in update server on loopback, each on a fresh copy of the file.
//
//   bench_update DATAFILE WORKFOLDER [ROWS] [SEED]
//
// DATAFILE is a data file made by "KorvaneDataTool make-data FILE COUNT
// SEED" and is never changed: the runs work on copies in WORKFOLDER, with
// a remark book of their own there.
#include <winsock2.h>

#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <strsafe.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "benchutil.h"
#include "iocount.h"
#include "cipher.h"
#include "datastore.h"
#include "dbfiles.h"
#include "filelayer.h"
#include "datatool.h"
#include "fakeupdateserver.h"
#include "mainwindow.h"
#include "md5.h"
#include "resource.h"
#include "schema.h"
#include "sqlite3.h"
#include "update.h"
#include "updatereply.h"

namespace {

std::string Field(const BlowfishContext &ctx, const std::wstring &text) {
    char field[kCipherFieldBytes];
    EncodeField(ctx, text.c_str(), field);
    return field;
}

bool Exec(sqlite3 *db, const char *sql) {
    char *message = NULL;
    int rc = sqlite3_exec(db, sql, NULL, NULL, &message);
    if (rc != SQLITE_OK) fprintf(stderr, "bench_update: %s: %s\n", sql, message ? message : "");
    sqlite3_free(message);
    return rc == SQLITE_OK;
}

// A fresh copy of the data file and a fresh remark book with its rows, open
// on DataDb and RemarkDb.
bool PrepareBooks(const std::wstring &source, const std::wstring &work, const std::vector<std::wstring> &remarks) {
    sqlite3_close(DataDb);
    sqlite3_close(RemarkDb);
    DataDb = RemarkDb = NULL;
    std::wstring data = work + L"bench-data.db";
    std::wstring remark = work + L"bench-remark.db";
    if (!bench::CopyOver(source, data)) {
        fprintf(stderr, "bench_update: cannot copy %ls to %ls\n", source.c_str(), data.c_str());
        return false;
    }
    DeleteFileW(remark.c_str());
    StringCchCopyW(RemarkDbPath, ARRAYSIZE(RemarkDbPath), remark.c_str());
    if (CreateRemarkDatabase(NULL) != kSchemaDone || RemarkDb == NULL) return false;
    if (!Exec(RemarkDb, "begin")) return false;
    sqlite3_stmt *insert = NULL;
    sqlite3_prepare_v2(RemarkDb, "insert into VLS values (?, '', '', '', 'CALL OWNER', '2026-01-05 10:00:00', 'NULL')",
                       -1, &insert, NULL);
    for (const std::wstring &plate : remarks) {
        std::string key = Field(LocalCipher, plate);
        sqlite3_bind_text(insert, 1, key.c_str(), (int)key.size(), SQLITE_TRANSIENT);
        sqlite3_step(insert);
        sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    if (!Exec(RemarkDb, "commit")) return false;
    if (sqlite3_open(bench::Utf8(data).c_str(), &DataDb) != SQLITE_OK) return false;
    SetUpDataBookReads(DataDb);  // as the program opens it
    return true;
}

void PrintIo(const bench::IoCounts &c, double seconds) {
    long long calls = c.dbReads + c.dbWrites + c.journalReads + c.journalWrites + c.otherReads + c.otherWrites;
    printf("  file calls: data+remark reads %lld, writes %lld; journal writes %lld, reads %lld; other %lld;"
           " syncs %lld; %.1f us a call on average\n",
           c.dbReads, c.dbWrites, c.journalWrites, c.journalReads, c.otherReads + c.otherWrites, c.syncs,
           calls ? seconds * 1e6 / (double)calls : 0.0);
    printf("  time in the calls: reads %.3f s, writes %.3f s, syncs %.3f s; the rest %.3f s\n", c.readSeconds,
           c.writeSeconds, c.syncSeconds, seconds - c.readSeconds - c.writeSeconds - c.syncSeconds);
}

// One book's page cache since the last ResetCache: pages read (misses),
// pages written, and of those the ones written early to make room (spills).
void ResetCache(sqlite3 *db) {
    int unused = 0;
    for (int op : {SQLITE_DBSTATUS_CACHE_MISS, SQLITE_DBSTATUS_CACHE_WRITE, SQLITE_DBSTATUS_CACHE_SPILL})
        sqlite3_db_status(db, op, &unused, &unused, 1);
}

void PrintCache(const char *book, sqlite3 *db) {
    int misses = 0, writes = 0, spills = 0, unused = 0;
    sqlite3_db_status(db, SQLITE_DBSTATUS_CACHE_MISS, &misses, &unused, 0);
    sqlite3_db_status(db, SQLITE_DBSTATUS_CACHE_WRITE, &writes, &unused, 0);
    sqlite3_db_status(db, SQLITE_DBSTATUS_CACHE_SPILL, &spills, &unused, 0);
    printf("  %s book: pages read %d, written %d (%d of them spilled before the commit)\n", book, misses, writes,
           spills);
}

void PrintCounts(const char *when) {
    printf("  %-8s VLD %lld  VLC %lld  remarks %lld\n", when,
           bench::QueryNumber(DataDb, "select count(*) from VLD"),
           bench::QueryNumber(DataDb, "select count(*) from VLC"),
           bench::QueryNumber(RemarkDb, "select count(*) from VLS"));
}

HWND MakeHost() {
    HWND host = CreateWindowExW(0, L"STATIC", L"bench", WS_OVERLAPPEDWINDOW, 0, 0, 900, 300, NULL, NULL,
                                GetModuleHandleW(NULL), NULL);
    MainWindow = host;
    int y = 0;
    for (int id : {IDC_UPDATE_STATUS, IDC_DATA_VERSION, IDC_START_MESSAGE}) {
        CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE, 0, y += 30, 800, 25, host, (HMENU)(INT_PTR)id,
                        GetModuleHandleW(NULL), NULL);
    }
    for (int id : {IDC_DOWNLOAD_1, IDC_DOWNLOAD_2}) {
        CreateWindowExW(0, L"BUTTON", L"", WS_CHILD | WS_VISIBLE, 0, y += 30, 300, 25, host, (HMENU)(INT_PTR)id,
                        GetModuleHandleW(NULL), NULL);
    }
    HWND email = CreateWindowExW(0, L"EDIT", L"ejen@contoh.my", WS_CHILD | WS_VISIBLE, 0, y += 30, 300, 25, host,
                                 (HMENU)(INT_PTR)IDC_EMAIL, GetModuleHandleW(NULL), NULL);
    (void)email;
    return host;
}

}  // namespace

int wmain(int argc, wchar_t **argv) {
    if (argc < 3) {
        fprintf(stderr, "usage: bench_update DATAFILE WORKFOLDER [ROWS] [SEED]\n");
        return 2;
    }
    std::wstring source = argv[1];
    std::wstring work = argv[2];
    if (work.back() != L'\\') work += L'\\';
    int count = argc > 3 ? _wtoi(argv[3]) : 100000;
    uint64_t seed = argc > 4 ? (uint64_t)_wtoi64(argv[4]) : 1;
    if (count <= 0) count = 100000;
    KeyCipherContexts();
    bench::WatchAddressSpace();
    UseEnglish = 1;
    if (!bench::InstallIoCounter()) fprintf(stderr, "bench_update: the file calls are not counted\n");
    // As the program has it, in front of the counter: the calls counted are
    // the ones the system gets.
    if (!InstallWriteCoalescing()) fprintf(stderr, "bench_update: the program's file layer is not had\n");
    CreateDirectoryW(work.c_str(), NULL);

    sqlite3 *probe = NULL;
    long long vehicles = -1;
    if (sqlite3_open_v2(bench::Utf8(source).c_str(), &probe, SQLITE_OPEN_READONLY, NULL) == SQLITE_OK) {
        vehicles = bench::QueryNumber(probe, "select max(rowid) from VLD");
    }
    sqlite3_close(probe);
    if (vehicles <= 0) {
        fprintf(stderr, "bench_update: %ls has no vehicles\n", source.c_str());
        return 1;
    }

    std::vector<std::wstring> remarks;
    bench::UpdateMix mix;
    double t0 = bench::Now();
    std::vector<UpdateRow> rows = bench::MakeUpdateRows(seed, (uint32_t)vehicles, count, &remarks, &mix);
    printf("online update: %lld vehicles in %ls; %d reply rows made in %.2f s\n", vehicles, source.c_str(), count,
           bench::Now() - t0);
    printf("  mix: %d upsert-updates, %d upsert-inserts, %d D, %d X, %d Z\n", mix.updates, mix.inserts,
           mix.deletes, mix.clears, mix.unclears);

    // 1. The apply step alone: first with the engine's calls going to the
    // system one by one (the counter as the default layer), then through
    // the program's layer.
    sqlite3_vfs *layered = sqlite3_vfs_find(NULL);
    for (int pass = 0; pass < 2; pass++) {
        sqlite3_vfs_register(pass == 0 ? sqlite3_vfs_find("korvane-counting") : layered, 1);
        printf(" %s\n", pass == 0 ? "without the write-coalescing layer:" : "with the write-coalescing layer:");
        t0 = bench::Now();
        if (!PrepareBooks(source, work, remarks)) return 1;
        printf("  fresh copy of the data file and remark book: %.2f s\n", bench::Now() - t0);
        PrintCounts("before");
        std::string error;
        bench::ResetIoCounts();
        ResetCache(DataDb);
        ResetCache(RemarkDb);
        t0 = bench::Now();
        bool applied = ApplyUpdateRows(rows, L"20270101.000", &error);
        double applySeconds = bench::Now() - t0;
        bench::IoCounts io = bench::CurrentIoCounts();
        if (!applied) {
            fprintf(stderr, "bench_update: the apply failed: %s\n", error.c_str());
            return 1;
        }
        PrintCounts("after");
        printf("  ApplyUpdateRows: %d rows in %.3f s, %.0f rows/s\n", count, applySeconds, count / applySeconds);
        PrintIo(io, applySeconds);
        PrintCache("data", DataDb);
        PrintCache("remark", RemarkDb);
        bench::ReportMemory("  ");
    }

    // 2. The whole run against the stand-in server on loopback.
    if (!PrepareBooks(source, work, remarks)) return 1;
    peers::FakeUpdateServer server;
    if (!server.Start()) {
        fprintf(stderr, "bench_update: the stand-in server does not start\n");
        return 1;
    }
    for (int i = 0; i < 2; i++) {
        StringCchCopyA(UpdateServerBase[i], ARRAYSIZE(UpdateServerBase[i]), server.BaseUrl().c_str());
    }
    std::string reply = bench::DataReplyJson(rows, "20270101");
    server.Script(peers::ScriptedReply::Json(
        "{\"ReplyType\":\"Challenge\",\"BeginData\":\"ok\",\"EndData\":\"DataComplete\"}"));
    server.Script(peers::ScriptedReply::Json(reply));
    StringCchCopyW(PlatformText, ARRAYSIZE(PlatformText), L"Windows 6.1");
    StringCchCopyW(DataVersion, ARRAYSIZE(DataVersion), L"20260105.000");
    StringCchCopyW(DataVersionUpdate, ARRAYSIZE(DataVersionUpdate), L"20260105.000");
    StringCchCopyW(DataVersionPatch, ARRAYSIZE(DataVersionPatch), L"FACTORY");
    HWND host = MakeHost();
    t0 = bench::Now();
    DownloadDataUpdate(1);
    double runSeconds = bench::Now() - t0;
    WCHAR status[256] = L"";
    GetWindowTextW(GetDlgItem(host, IDC_UPDATE_STATUS), status, ARRAYSIZE(status));
    bool green = UpdateStatusColour == RGB(36, 143, 36);
    printf("  DownloadDataUpdate: reply of %.1f MB, request to %s in %.3f s (%.0f rows/s)\n",
           reply.size() / 1048576.0, green ? "green" : "NOT green", runSeconds, count / runSeconds);
    printf("  status: %ls\n", status);
    PrintCounts("after");
    bench::ReportMemory("  ");
    server.Stop();
    DestroyWindow(host);
    MainWindow = NULL;
    sqlite3_close(DataDb);
    sqlite3_close(RemarkDb);
    DataDb = RemarkDb = NULL;
    DeleteFileW((work + L"bench-data.db").c_str());
    DeleteFileW((work + L"bench-remark.db").c_str());
    return green ? 0 : 1;
}
