// The List Location window on a large diary: its opening, from the dialog's
// creation until the first page of locations is painted (the count of the
// distinct locations and the first rows of the grouped list), in each of the
// three views; each view's two queries alone; and the load of the rows of
// the list's last page, the deepest a scroll goes.
//
//   bench_listlocation FOLDER [ROWS] [LOCATIONS]
//
// A diary of ROWS rows (default 1000000) is made in FOLDER by the data
// tool; its rows are then spread over LOCATIONS locations (default 5000)
// and the three found states.
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

const WCHAR *const kViews[3] = {L"Find the Location below", L"Find the Location below [Found]",
                                L"Find the Location below [New]"};

// One query run to its last row; returns the rows it gave.
int RunQuery(const char *sql) {
    sqlite3_stmt *stmt = NULL;
    int rows = 0;
    if (sqlite3_prepare_v2(DiaryDb, sql, -1, &stmt, NULL) == SQLITE_OK) {
        while (sqlite3_step(stmt) == SQLITE_ROW) rows++;
    }
    sqlite3_finalize(stmt);
    return rows;
}

}  // namespace

int wmain(int argc, wchar_t **argv) {
    if (argc < 2) {
        fprintf(stderr, "usage: bench_listlocation FOLDER [ROWS] [LOCATIONS]\n");
        return 2;
    }
    int rows = argc > 2 ? _wtoi(argv[2]) : 1000000;
    int locations = argc > 3 ? _wtoi(argv[3]) : 5000;
    if (locations < 1) locations = 1;
    std::wstring book = std::wstring(argv[1]) + L"\\KorvaneDiary-bench.db";
    KeyCipherContexts();
    std::string error;
    double t0 = bench::Now();
    if (datatool::MakeDiaryFile(book.c_str(), 15, rows, false, {}, &error) != 0) {
        fprintf(stderr, "bench_listlocation: %s\n", error.c_str());
        return 1;
    }
    if (OpenBookConnection(&DiaryDb, book.c_str()) != SQLITE_OK) return 1;
    char spread[256];
    snprintf(spread, sizeof spread,
             "UPDATE VLS SET C8 = 'JALAN ' || (rowid %% %d) || ', KUALA LUMPUR', C2 = rowid %% 3", locations);
    if (sqlite3_exec(DiaryDb, spread, NULL, NULL, NULL) != SQLITE_OK) {
        fprintf(stderr, "bench_listlocation: %s\n", sqlite3_errmsg(DiaryDb));
        return 1;
    }
    printf("listlocation: diary of %d rows over %d locations made in %.1f s\n", rows, locations, bench::Now() - t0);
    UseEnglish = 1;

    HWND diary = CreateWindowExW(0, L"STATIC", L"Diary", WS_OVERLAPPEDWINDOW, 0, 0, 300, 100, NULL, NULL,
                                 GetModuleHandleW(NULL), NULL);
    HWND view = CreateWindowExW(0, L"EDIT", L"", WS_CHILD, 0, 0, 280, 20, diary, (HMENU)(INT_PTR)IDC_LL_DIARY_VIEW,
                                GetModuleHandleW(NULL), NULL);
    if (diary == NULL || view == NULL) return 1;

    for (const WCHAR *viewText : kViews) {
        SetWindowTextW(view, viewText);
        ChooseLocationListView(diary);
        std::vector<double> counts, groups, opens, lastPages;
        int listed = 0, grouped = 0;
        for (int i = 0; i < 5; i++) {
            double start = bench::Now();
            RunQuery(LocationListQuery.count);
            counts.push_back(Ms(bench::Now() - start));
            start = bench::Now();
            grouped = RunQuery(LocationListQuery.rows);
            groups.push_back(Ms(bench::Now() - start));

            start = bench::Now();
            HWND dialog = CreateDialogParamW(GetModuleHandleW(NULL), MAKEINTRESOURCEW(IDD_LIST_LOCATION), diary,
                                             ListLocationDialogProc, 0);
            if (dialog == NULL) return 1;
            ShowWindow(dialog, SW_SHOW);
            UpdateWindow(dialog);
            if (LocationList.list != NULL) UpdateWindow(LocationList.list);
            opens.push_back(Ms(bench::Now() - start));
            listed = LocationList.ListViewBoxGetItemCount();
            if (LocationRowCache != NULL && listed > 40) {
                start = bench::Now();
                LocationRowCache->load_window(LocationListQuery.rows, listed - 40, listed - 1);
                lastPages.push_back(Ms(bench::Now() - start));
            }
            DestroyWindow(dialog);
        }
        printf("listlocation: '%ls', %d locations listed: opening to the first page painted median %.1f ms, "
               "max %.1f ms; count query %.1f ms; all %d grouped rows %.1f ms; the last page's rows %.1f ms\n",
               viewText, listed, bench::Percentile(opens, 50), bench::Percentile(opens, 100),
               bench::Percentile(counts, 50), grouped, bench::Percentile(groups, 50),
               bench::Percentile(lastPages, 50));
    }
    DestroyWindow(diary);
    sqlite3_close(DiaryDb);
    DiaryDb = NULL;
    DeleteFileW(book.c_str());
    return 0;
}
