// The diary jobs on a large diary against the data file: CleanUp in each
// of its three modes and Update Diary, end to end (backup, rebuild,
// replace, compress), each on a fresh copy of the same diary, with their
// progress line written into a stand-in of the password entry dialog.
//
//   bench_diaryjobs DATAFILE FOLDER [ROWS] [SEED]
//
// The diary of ROWS rows (default 1000000) is made in FOLDER once per
// size: its plates come from a pool of 60% of ROWS, so about two rows in
// five repeat a plate, and one plate in three is one the data wants; the
// locations come from a pool of 500 places.
#include <windows.h>

#include <commctrl.h>
#include <stdio.h>
#include <stdlib.h>
#include <strsafe.h>

#include <string>
#include <utility>
#include <vector>

#include "benchutil.h"
#include "bookjob.h"
#include "books.h"
#include "cipher.h"
#include "datastore.h"
#include "datatool.h"
#include "dbfiles.h"
#include "schema.h"
#include "sqlexec.h"

namespace {

std::wstring Folder;
int LinePaints;  // texts written into the message line

bench::StepLog Steps;  // the steps of the job under way

LRESULT CALLBACK CountLineTexts(HWND w, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR) {
    if (msg == WM_SETTEXT) {
        LinePaints++;
        Steps.Note(lParam != 0 ? (const wchar_t *)lParam : L"");
    }
    return DefSubclassProc(w, msg, wParam, lParam);
}

void BenchBackupName(WCHAR *buf, int count) {
    StringCchPrintfW(buf, (size_t)count, L"%ls\\KorvaneDiary - BACKUP.db", Folder.c_str());
}

std::string Field(const BlowfishContext &ctx, const std::wstring &text) {
    char field[kCipherFieldBytes];
    EncodeField(ctx, text.c_str(), field);
    return field;
}

bool Exec(sqlite3 *db, const char *sql) {
    char *message = NULL;
    if (sqlite3_exec(db, sql, NULL, NULL, &message) == SQLITE_OK) return true;
    fprintf(stderr, "bench_diaryjobs: %s: %s\n", sql, message != NULL ? message : "");
    sqlite3_free(message);
    return false;
}

// The diary of rows rows at path, made with the program's own creation.
bool MakeDiary(const std::wstring &path, int rows, uint64_t seed) {
    StringCchCopyW(DiaryDbPath, kPathChars, path.c_str());
    DeleteFileW(path.c_str());
    if (CreateDiaryDatabase(NULL) != kSchemaDone) return false;
    const char *indexes[] = {"idxC1", "idxC2", "idxC3", "idxC6", "idxC8", "idxC9", "idxC10", "idxC11"};
    if (!Exec(DiaryDb, "PRAGMA synchronous = OFF") || !Exec(DiaryDb, "BEGIN")) return false;
    for (const char *index : indexes) {
        std::string drop = std::string("DROP INDEX ") + index;
        if (!Exec(DiaryDb, drop.c_str())) return false;
    }
    sqlite3_stmt *put = NULL;
    sqlite3_prepare_v2(DiaryDb, "INSERT INTO VLS VALUES(?,?,?,?,?,?,?,?,?,?,?)", -1, &put, NULL);
    int pool = rows * 3 / 5;
    uint32_t r = (uint32_t)seed * 2654435761u + 1;
    for (int i = 0; i < rows; i++) {
        r = r * 1664525u + 1013904223u;
        int plateNo = (int)((r >> 8) % (uint32_t)pool);
        bool wanted = plateNo % 3 == 0;
        std::wstring plate;
        if (wanted) {
            plate = datatool::SyntheticVehicle(seed, (uint32_t)plateNo).plate;
        } else {
            WCHAR text[16];
            StringCchPrintfW(text, ARRAYSIZE(text), L"QX%07d", plateNo);
            plate = text;
        }
        WCHAR stamp[32], place[64];
        int minutes = i / 3;
        StringCchPrintfW(stamp, ARRAYSIZE(stamp), L"2025-%02d-%02d %02d:%02d:%02d", 1 + (minutes / 40000) % 12,
                         1 + (minutes / 1440) % 28, (minutes / 60) % 24, minutes % 60, i % 60);
        StringCchPrintfW(place, ARRAYSIZE(place), L"JALAN %d, TAMAN BENCH", (int)((r >> 4) % 500));
        std::string texts[11] = {bench::Utf8(stamp), wanted ? "1" : "0", Field(LocalCipher, plate),
                                 wanted ? Field(LocalCipher, L"05 Mar 2025") : "",
                                 wanted ? Field(LocalCipher, L"SALOON 1.6 SILVER") : "", wanted ? "BANK ISLAM" : "",
                                 wanted ? Field(LocalCipher, L"7") : "", (r & 7) == 0 ? "" : bench::Utf8(place),
                                 "20250101.000", "", "ALI"};
        for (int c = 0; c < 11; c++) sqlite3_bind_text(put, c + 1, texts[c].c_str(), -1, SQLITE_TRANSIENT);
        if (sqlite3_step(put) != SQLITE_DONE) return false;
        sqlite3_reset(put);
    }
    sqlite3_finalize(put);
    for (const char *index : indexes) {
        std::string column = index + 3;
        std::string create = std::string("CREATE INDEX ") + index + " ON VLS(" + column + ")";
        if (!Exec(DiaryDb, create.c_str())) return false;
    }
    bool ok = Exec(DiaryDb, "COMMIT");
    sqlite3_close(DiaryDb);
    DiaryDb = NULL;
    return ok;
}

}  // namespace

int wmain(int argc, wchar_t **argv) {
    if (argc < 3) {
        fprintf(stderr, "usage: bench_diaryjobs DATAFILE FOLDER [ROWS] [SEED]\n");
        return 2;
    }
    Folder = argv[2];
    int rows = argc > 3 ? _wtoi(argv[3]) : 1000000;
    uint64_t seed = argc > 4 ? (uint64_t)_wtoi(argv[4]) : 1;
    KeyCipherContexts();
    bench::WatchAddressSpace();
    UseEnglish = 1;
    BackupNameHook = BenchBackupName;

    std::wstring master = Folder + L"\\diary-bench-" + std::to_wstring(rows) + L".db";
    std::wstring diary = Folder + L"\\KorvaneDiary-bench.db";
    StringCchCopyW(TempDiaryDbPath, kPathChars, (Folder + L"\\Temp_KorvaneDiary-bench.db").c_str());
    if (GetFileAttributesW(master.c_str()) == INVALID_FILE_ATTRIBUTES) {
        double t0 = bench::Now();
        if (!MakeDiary(master + L".part", rows, seed) ||
            !MoveFileExW((master + L".part").c_str(), master.c_str(), MOVEFILE_REPLACE_EXISTING)) {
            fprintf(stderr, "bench_diaryjobs: the diary could not be made\n");
            return 1;
        }
        printf("diary jobs: diary of %d rows made in %.1f s\n", rows, bench::Now() - t0);
    }
    StringCchCopyW(DiaryDbPath, kPathChars, diary.c_str());

    std::string dataName = bench::Utf8(argv[1]);
    if (sqlite3_open_v2(dataName.c_str(), &DataDb, SQLITE_OPEN_READWRITE, NULL) != SQLITE_OK) {
        fprintf(stderr, "bench_diaryjobs: the data file does not open\n");
        return 1;
    }
    SetUpDataBookReads(DataDb);
    StringCchCopyW(DataVersionUpdate, kTextChars, L"20261201.001");
    printf("diary jobs: data file of %lld vehicles, %lld cleared\n",
           QueryNumber(DataDb, "select count(*) from VLD"), QueryNumber(DataDb, "select count(*) from VLC"));

    HWND dialog = CreateWindowW(L"STATIC", L"Diary Password", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 320, 240, NULL,
                                NULL, GetModuleHandleW(NULL), NULL);
    CreateWindowW(L"BUTTON", L"OK", WS_CHILD | WS_VISIBLE, 10, 180, 60, 24, dialog, (HMENU)603, NULL, NULL);
    CreateWindowW(L"BUTTON", L"Cancel", WS_CHILD | WS_VISIBLE, 80, 180, 60, 24, dialog, (HMENU)604, NULL, NULL);
    HWND line = CreateWindowW(L"STATIC", L"", WS_CHILD | WS_VISIBLE | SS_CENTER | WS_BORDER, 10, 60, 290, 80, dialog,
                              (HMENU)605, NULL, NULL);
    SetWindowSubclass(line, CountLineTexts, 1, 0);
    PasswordEntryDialogHandle = dialog;

    const wchar_t *names[] = {L"CleanUp, mode 0", L"CleanUp, mode 1", L"CleanUp, mode 2", L"Update Diary"};
    for (int job = 0; job < 4; job++) {
        DeleteFileW(diary.c_str());
        if (!CopyFileW(master.c_str(), diary.c_str(), FALSE) || OpenBookConnection(&DiaryDb, diary.c_str()) != SQLITE_OK) {
            fprintf(stderr, "bench_diaryjobs: the diary copy does not open\n");
            return 1;
        }
        long long before = QueryNumber(DiaryDb, "select count(*) from VLS");
        LinePaints = 0;
        Steps.steps.clear();
        double t0 = bench::Now();
        if (job < 3)
            CleanUpDiaryDuplicates(job);
        else
            UpdateDiaryFromData();
        double seconds = bench::Now() - t0;
        WCHAR title[128];
        GetWindowTextW(dialog, title, ARRAYSIZE(title));
        long long after = QueryNumber(DiaryDb, "select count(*) from VLS");
        printf("diary jobs: %-16ls %8.1f s  rows %lld -> %lld  line texts %d (%.0f/s)  [%ls]\n", names[job],
               seconds, before, after, LinePaints, LinePaints / seconds, title);
        Steps.Print(t0 + seconds);
        fflush(stdout);
        sqlite3_close(DiaryDb);
        DiaryDb = NULL;
        WCHAR backup[kPathChars];
        BenchBackupName(backup, kPathChars);
        DeleteFileW(backup);
        ShowWindow(GetDlgItem(dialog, 603), SW_SHOW);
        ShowWindow(GetDlgItem(dialog, 604), SW_SHOW);
    }
    DeleteFileW(diary.c_str());
    bench::ReportMemory("diary jobs: ");
    DestroyWindow(dialog);
    sqlite3_close(DataDb);
    return 0;
}
