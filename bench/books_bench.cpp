// The Remark window on a large remark book: Show (time until the first
// rows are painted) and paging through the list to its end with Page Down,
// each page painted through the owner-data list and the row cache; where
// a page's time goes (the row load at three depths, a repaint of cached
// rows); and the FollowUp window's due query as start-up runs it.
//
//   bench_books FOLDER [ROWS]
//
// A remark book of ROWS rows (default 100000; half of them with a past
// follow-up date) is made in FOLDER by the data tool.
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

void Paint(HWND window) { RedrawWindow(window, NULL, NULL, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN); }

}  // namespace

int wmain(int argc, wchar_t **argv) {
    if (argc < 2) {
        fprintf(stderr, "usage: bench_books FOLDER [ROWS]\n");
        return 2;
    }
    int rows = argc > 2 ? _wtoi(argv[2]) : 100000;
    std::wstring book = std::wstring(argv[1]) + L"\\LastRemark-bench.db";
    KeyCipherContexts();
    std::string error;
    double t0 = bench::Now();
    if (datatool::MakeRemarkFile(book.c_str(), 1002, rows, {}, &error) != 0) {
        fprintf(stderr, "bench_books: %s\n", error.c_str());
        return 1;
    }
    printf("books: remark book of %d rows made in %.1f s\n", rows, bench::Now() - t0);
    if (OpenBookConnection(&RemarkDb, book.c_str()) != SQLITE_OK) return 1;
    UseEnglish = 1;
    SoundOnFound = 0;

    // The FollowUp window's due query at start-up: count and first rows.
    std::vector<double> due;
    int dueRows = 0;
    for (int i = 0; i < 20; i++) {
        double start = bench::Now();
        SYSTEMTIME now;
        GetLocalTime(&now);
        WCHAR query[256];
        FormatDueQuery(query, ARRAYSIZE(query), &now);
        SetListQuery(query);
        NewRemarkRowCache();
        dueRows = RemarkRowCache->refresh(CurrentListQuery, true);
        RemarkRowCache->cell_text(CurrentListQuery, 0, 0);
        due.push_back(Ms(bench::Now() - start));
    }
    printf("books: FollowUp due query, %d due rows: median %.2f ms, max %.2f ms\n", dueRows,
           bench::Percentile(due, 50), bench::Percentile(due, 100));

    HWND dialog = CreateDialogParamW(GetModuleHandleW(NULL), MAKEINTRESOURCEW(IDD_REMARK), NULL, RemarkDialogProc, 0);
    if (dialog == NULL) return 1;
    ShowWindow(dialog, SW_SHOW);
    Paint(dialog);

    std::vector<double> shows;
    for (int i = 0; i < 5; i++) {
        double start = bench::Now();
        SendMessageW(GetDlgItem(dialog, IDC_RM_SHOW), BM_CLICK, 0, 0);
        UpdateWindow(RemarkList.list);
        shows.push_back(Ms(bench::Now() - start));
    }
    printf("books: Remark Show of %d rows to the first rows painted: median %.2f ms, max %.2f ms\n",
           RemarkList.ListViewBoxGetItemCount(), bench::Percentile(shows, 50), bench::Percentile(shows, 100));

    HWND list = RemarkList.list;
    SetFocus(list);
    std::vector<double> pages;
    int top = -1;
    for (int guard = 0; guard < 1000000; guard++) {
        double start = bench::Now();
        SendMessageW(list, WM_KEYDOWN, VK_NEXT, 0);
        UpdateWindow(list);
        pages.push_back(Ms(bench::Now() - start));
        int now = (int)SendMessageW(list, LVM_GETTOPINDEX, 0, 0);
        if (now == top) break;
        top = now;
    }
    size_t pageCount = pages.size();
    printf("books: paging to the end, %zu pages (top row %d): median %.3f ms, p99 %.3f ms, slowest %.3f ms\n",
           pageCount, top, bench::Percentile(pages, 50), bench::Percentile(pages, 99), bench::Percentile(pages, 100));
    // Where a page's time goes: the row window's load alone at three
    // depths of the book, and a repaint of rows already cached.
    for (int offset : {0, rows / 2, rows - 60}) {
        std::vector<double> loads;
        for (int i = 0; i < 5; i++) {
            double start = bench::Now();
            RemarkRowCache->load_window(CurrentListQuery, offset, offset + 60);
            loads.push_back(Ms(bench::Now() - start));
        }
        printf("books: one page's rows loaded at row %d: median %.2f ms\n", offset, bench::Percentile(loads, 50));
    }
    std::vector<double> repaints;
    for (int i = 0; i < 10; i++) {
        double start = bench::Now();
        Paint(list);
        repaints.push_back(Ms(bench::Now() - start));
    }
    printf("books: repaint of a cached page: median %.2f ms\n", bench::Percentile(repaints, 50));
    DestroyWindow(dialog);
    sqlite3_close(RemarkDb);
    RemarkDb = NULL;
    DeleteFileW(book.c_str());
    return 0;
}
