// The Diary window on a large diary: opening the window; Show of "All",
// of "Found Only" with a financier and of a location search, each until
// the first rows are painted; every page from the top to the end through
// the row cache, as the owner-data list asks for its rows, with the
// slowest page; Page Down painted at the top and near the end. The rows
// of one page loaded by OFFSET at three depths show what a cache that
// skips rows by OFFSET would pay.
//
//   bench_diary FOLDER [ROWS]
//
// A diary of ROWS rows (default 1000000) is made in FOLDER by the data
// tool, once; a diary of that name and size is used again.
#include <windows.h>

#include <commctrl.h>
#include <stdio.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include "benchutil.h"
#include "bookjob.h"
#include "books.h"
#include "cipher.h"
#include "datastore.h"
#include "datatool.h"
#include "dbfiles.h"
#include "listviewbox.h"
#include "resource.h"

namespace {

double Ms(double seconds) { return seconds * 1000.0; }

long long StatementsRun;  // statements the diary connection ran

int CountStatement(unsigned, void *, void *, void *) {
    StatementsRun++;
    return 0;
}

void Paint(HWND window) { RedrawWindow(window, NULL, NULL, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN); }

void Choose(HWND dialog, int combo, int index) {
    SendDlgItemMessageW(dialog, combo, CB_SETCURSEL, (WPARAM)index, 0);
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(combo, CBN_SELCHANGE), (LPARAM)GetDlgItem(dialog, combo));
}

// Show, timed until the list's first rows are painted; prints the median
// and the slowest of five.
void TimeShow(HWND dialog, const char *name) {
    std::vector<double> shows;
    for (int i = 0; i < 5; i++) {
        double start = bench::Now();
        SendMessageW(GetDlgItem(dialog, IDC_DIARY_SHOW), BM_CLICK, 0, 0);
        UpdateWindow(DiaryList.list);
        shows.push_back(Ms(bench::Now() - start));
    }
    printf("diary: Show %s, %d rows, to the first rows painted: median %.2f ms, max %.2f ms\n", name,
           DiaryList.ListViewBoxGetItemCount(), bench::Percentile(shows, 50), bench::Percentile(shows, 100));
}

// The list's requests of every page from the top to the end, without
// painting: the cache hint of the page, then every cell's text and the
// row's icon, as a paint of the page asks for them.
void TimeRowRequests(HWND dialog, const char *name) {
    HWND list = DiaryList.list;
    int count = DiaryList.ListViewBoxGetItemCount();
    int perPage = (int)SendMessageW(list, LVM_GETCOUNTPERPAGE, 0, 0);
    if (perPage <= 0) perPage = 40;
    std::vector<double> pages;
    long long statementsBefore = StatementsRun;
    double slowestAt = 0, slowest = -1;
    for (int top = 0; top < count; top += perPage) {
        int last = top + perPage - 1 < count ? top + perPage - 1 : count - 1;
        double start = bench::Now();
        NMLVCACHEHINT hint = {};
        hint.hdr.hwndFrom = list;
        hint.hdr.idFrom = IDC_DIARY_LIST;
        hint.hdr.code = LVN_ODCACHEHINT;
        hint.iFrom = top;
        hint.iTo = last;
        SendMessageW(dialog, WM_NOTIFY, IDC_DIARY_LIST, (LPARAM)&hint);
        for (int row = top; row <= last; row++) {
            for (int column = 0; column < 10; column++) {
                WCHAR text[260];
                NMLVDISPINFOW info = {};
                info.hdr = hint.hdr;
                info.hdr.code = LVN_GETDISPINFOW;
                info.item.mask = LVIF_TEXT | (column == 0 ? LVIF_IMAGE : 0);
                info.item.iItem = row;
                info.item.iSubItem = column;
                info.item.pszText = text;
                info.item.cchTextMax = ARRAYSIZE(text);
                SendMessageW(dialog, WM_NOTIFY, IDC_DIARY_LIST, (LPARAM)&info);
            }
        }
        double ms = Ms(bench::Now() - start);
        pages.push_back(ms);
        if (ms > slowest) {
            slowest = ms;
            slowestAt = top;
        }
    }
    std::vector<double> lastPages(pages.end() - (pages.size() > 10 ? 10 : pages.size()), pages.end());
    printf("diary: the rows of every page of %s, top to end, as the list asks for them (%zu pages of %d rows): "
           "median %.3f ms, p99 %.3f ms, slowest %.3f ms (at row %.0f), slowest of the last 10 %.3f ms; "
           "%.2f row loads a page\n",
           name, pages.size(), perPage, bench::Percentile(pages, 50), bench::Percentile(pages, 99),
           bench::Percentile(pages, 100), slowestAt, bench::Percentile(lastPages, 100),
           (double)(StatementsRun - statementsBefore) / (double)(pages.empty() ? 1 : pages.size()));
}

// Page Down, painted, for pages pages from the row at first; prints the
// pages' times.
void TimePaintedPaging(const char *name, int first, int pageCount) {
    HWND list = DiaryList.list;
    SetFocus(list);
    SendMessageW(list, WM_KEYDOWN, VK_HOME, 0);
    if (first > 0) SendMessageW(list, LVM_ENSUREVISIBLE, (WPARAM)first, FALSE);
    UpdateWindow(list);
    std::vector<double> pages;
    for (int i = 0; i < pageCount; i++) {
        double start = bench::Now();
        SendMessageW(list, WM_KEYDOWN, VK_NEXT, 0);
        UpdateWindow(list);
        pages.push_back(Ms(bench::Now() - start));
    }
    printf("diary: Page Down painted, %s, %d pages: median %.2f ms, slowest %.2f ms\n", name, pageCount,
           bench::Percentile(pages, 50), bench::Percentile(pages, 100));
    // The list's own handling of the key, its painting left out.
    std::vector<double> keys;
    for (int i = 0; i < pageCount; i++) {
        double start = bench::Now();
        SendMessageW(list, WM_KEYDOWN, VK_NEXT, 0);
        keys.push_back(Ms(bench::Now() - start));
        ValidateRect(list, NULL);
    }
    printf("diary: Page Down key alone (no paint), %s: median %.2f ms, slowest %.2f ms\n", name,
           bench::Percentile(keys, 50), bench::Percentile(keys, 100));
}

}  // namespace

int wmain(int argc, wchar_t **argv) {
    if (argc < 2) {
        fprintf(stderr, "usage: bench_diary FOLDER [ROWS]\n");
        return 2;
    }
    setvbuf(stdout, NULL, _IONBF, 0);
    int rows = argc > 2 ? _wtoi(argv[2]) : 1000000;
    bool plansOnly = argc > 3;
    std::wstring book = std::wstring(argv[1]) + L"\\KorvaneDiary-bench-" + std::to_wstring(rows) + L".db";
    KeyCipherContexts();
    bool made = false;
    if (OpenBookConnection(&DiaryDb, book.c_str()) == SQLITE_OK &&
        bench::QueryNumber(DiaryDb, "select count(*) from VLS") == rows) {
        made = true;
    } else {
        sqlite3_close(DiaryDb);
        DiaryDb = NULL;
    }
    if (!made) {
        std::string error;
        double t0 = bench::Now();
        if (datatool::MakeDiaryFile(book.c_str(), 15, rows, false, {}, &error) != 0) {
            fprintf(stderr, "bench_diary: %s\n", error.c_str());
            return 1;
        }
        sqlite3_close(DiaryDb);
        DiaryDb = NULL;
        printf("diary: diary of %d rows made in %.1f s\n", rows, bench::Now() - t0);
        if (OpenBookConnection(&DiaryDb, book.c_str()) != SQLITE_OK) return 1;
    }
    UseEnglish = 1;
    SoundOnFound = 0;
    sqlite3_trace_v2(DiaryDb, SQLITE_TRACE_STMT, CountStatement, NULL);

    if (plansOnly) {
        const char *const queries[] = {
            "select *,rowid from VLS where C2 >= 1 and C6 >= 'BINTANG LEASING SDN BHD' and C6 < 'BINTANG LEASING SDN BHE' order by RowID desc LIMIT 51 OFFSET 0",
            "select *,rowid from VLS where rowid < 500000 and (C2 >= 1 and C6 >= 'BINTANG LEASING SDN BHD' and C6 < 'BINTANG LEASING SDN BHE') order by RowID desc LIMIT 51 OFFSET 0",
            "select count(*) from VLS where C2 >= 1 and C6 >= 'BINTANG LEASING SDN BHD' and C6 < 'BINTANG LEASING SDN BHE'",
            "select *,rowid from VLS where C8 like '%AMPANG%' order by RowID desc LIMIT 51 OFFSET 0",
            "select count(*) from VLS where C8 like '%AMPANG%'",
        };
        for (const char *q : queries) {
            std::string plan = std::string("explain query plan ") + q;
            sqlite3_stmt *stmt = NULL;
            sqlite3_prepare_v2(DiaryDb, plan.c_str(), -1, &stmt, NULL);
            printf("%s\n", q);
            while (sqlite3_step(stmt) == SQLITE_ROW) printf("    %s\n", (const char *)sqlite3_column_text(stmt, 3));
            sqlite3_finalize(stmt);
            double t = bench::Now();
            sqlite3_exec(DiaryDb, q, NULL, NULL, NULL);
            printf("    %.2f ms\n", Ms(bench::Now() - t));
        }
        return 0;
    }
    double start = bench::Now();
    HWND dialog = CreateDialogParamW(GetModuleHandleW(NULL), MAKEINTRESOURCEW(IDD_DIARY), NULL, DiaryDialogProc, 0);
    if (dialog == NULL) return 1;
    ShowWindow(dialog, SW_SHOW);
    Paint(dialog);
    printf("diary: opening the window: %.2f ms\n", Ms(bench::Now() - start));

    TimeShow(dialog, "All");
    TimeRowRequests(dialog, "All");
    int count = DiaryList.ListViewBoxGetItemCount();
    TimePaintedPaging("from the top", 0, 50);
    TimePaintedPaging("near the end", count > 3000 ? count - 3000 : 0, 50);

    // The data file's financiers are not open here: the second (which found rows name) is put into
    // the combo as the window's financier select would.
    std::wstring financier = datatool::SyntheticFinanciers()[1];
    SendDlgItemMessageW(dialog, IDC_DIARY_FINANCIER, CB_ADDSTRING, 0, (LPARAM)financier.c_str());
    Choose(dialog, IDC_DIARY_VIEW, kDiaryViewFound);
    Choose(dialog, IDC_DIARY_FINANCIER, 1);
    TimeShow(dialog, ("\"Found Only\" of " + bench::Utf8(financier)).c_str());
    TimeRowRequests(dialog, "\"Found Only\" of a financier");

    Choose(dialog, IDC_DIARY_VIEW, kDiaryViewLocation);
    SetDlgItemTextW(dialog, IDC_DIARY_FIND, L"AMPANG");
    TimeShow(dialog, "of the location AMPANG (every row)");
    SetDlgItemTextW(dialog, IDC_DIARY_FIND, L"KLANG");
    TimeShow(dialog, "of the location KLANG (no row)");

    // What a page costs when its rows are skipped to by OFFSET.
    Choose(dialog, IDC_DIARY_VIEW, kDiaryViewAll);
    Choose(dialog, IDC_DIARY_FINANCIER, 0);
    SendMessageW(GetDlgItem(dialog, IDC_DIARY_SHOW), BM_CLICK, 0, 0);
    for (int offset : {0, rows / 2, rows - 60}) {
        std::vector<double> loads;
        for (int i = 0; i < 5; i++) {
            DiaryRowCache->free_table();
            double t = bench::Now();
            DiaryRowCache->load_window(CurrentListQuery, offset, offset + 60);
            loads.push_back(Ms(bench::Now() - t));
        }
        printf("diary: one page's rows loaded by OFFSET at row %d: median %.2f ms\n", offset,
               bench::Percentile(loads, 50));
    }
    DestroyWindow(dialog);
    sqlite3_close(DiaryDb);
    DiaryDb = NULL;
    return 0;
}
