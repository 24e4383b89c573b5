// The live main window of the in-process dialog tests.
#include "livewindow.h"

#include <wchar.h>

#include "cipher.h"
#include "datastore.h"
#include "datatool.h"
#include "mainwindow.h"
#include "sqlite3.h"
#include "testsupport.h"
#include "textutil.h"

namespace live {

std::vector<ShownMessage> Shown;

int RecordMessage(HWND, const WCHAR *text, const WCHAR *caption, UINT type) {
    Shown.push_back({text, caption, type});
    return IDOK;
}

namespace {

struct ModalRun {
    const wchar_t *caption;
    const std::function<void(HWND)> *act;
    HWND dialog;
    bool acted;
    DWORD actedAt;
    bool forced;
};
ModalRun *CurrentRun;

struct DialogSearch {
    const wchar_t *caption;
    HWND found;
};

BOOL CALLBACK MatchDialog(HWND window, LPARAM lParam) {
    DialogSearch *search = reinterpret_cast<DialogSearch *>(lParam);
    wchar_t cls[32] = {0};
    wchar_t title[128] = {0};
    GetClassNameW(window, cls, ARRAYSIZE(cls));
    GetWindowTextW(window, title, ARRAYSIZE(title));
    if (wcscmp(cls, L"#32770") == 0 && IsWindowVisible(window) && wcscmp(title, search->caption) == 0) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

void CALLBACK ModalTick(HWND, UINT, UINT_PTR, DWORD) {
    ModalRun *run = CurrentRun;
    if (run == NULL) return;
    if (!run->acted) {
        DialogSearch search = {run->caption, NULL};
        EnumThreadWindows(GetCurrentThreadId(), MatchDialog, (LPARAM)&search);
        if (search.found == NULL) return;
        run->dialog = search.found;
        run->acted = true;
        run->actedAt = GetTickCount();
        (*run->act)(search.found);
        return;
    }
    if (!run->forced && IsWindow(run->dialog) && IsWindowVisible(run->dialog) &&
        GetTickCount() - run->actedAt > 5000) {
        run->forced = true;
        EndDialog(run->dialog, -7);
    }
}

sqlite3 *OpenReadOnly(const wchar_t *book) {
    sqlite3 *db = NULL;
    if (sqlite3_open_v2(testsupport::Utf8(book).c_str(), &db, SQLITE_OPEN_READONLY, NULL) != SQLITE_OK) {
        sqlite3_close(db);
        return NULL;
    }
    sqlite3_busy_timeout(db, 2000);
    return db;
}

std::wstring DataFilePath() {
    WCHAR folder[kTextChars];
    GetProgramFolder(folder);
    return std::wstring(folder) + L"KorvaneData.db";
}

}  // namespace

bool RunModal(const wchar_t *caption, const std::function<void()> &open, const std::function<void(HWND)> &act) {
    ModalRun run = {caption, &act, NULL, false, 0, false};
    CurrentRun = &run;
    UINT_PTR timer = SetTimer(NULL, 0, 30, ModalTick);
    open();
    KillTimer(NULL, timer);
    CurrentRun = NULL;
    return run.acted && !run.forced;
}

bool Pump() {
    bool quit = false;
    MSG msg;
    for (int i = 0; i < 10000 && PeekMessageW(&msg, NULL, 0, 0, PM_REMOVE); i++) {
        if (msg.message == WM_QUIT) {
            quit = true;
            continue;
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return quit;
}

void PressKeys(HWND dialog, HWND control, const std::vector<UINT> &keys) {
    SetFocus(control);
    for (UINT vk : keys) {
        LPARAM scan = (LPARAM)MapVirtualKeyW(vk, MAPVK_VK_TO_VSC) << 16;
        PostMessageW(control, WM_KEYDOWN, vk, 1 | scan);
        PostMessageW(control, WM_KEYUP, vk, 1 | scan | (1u << 30) | (1u << 31));
    }
    MSG msg;
    for (int i = 0; i < 10000 && PeekMessageW(&msg, NULL, 0, 0, PM_REMOVE); i++) {
        if (msg.message == WM_QUIT) {
            PostQuitMessage((int)msg.wParam);
            return;
        }
        if (IsWindow(dialog) && IsDialogMessageW(dialog, &msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

std::string ReadKey(const wchar_t *book, const char *table, const char *key) {
    std::string value = "<none>";
    sqlite3 *db = OpenReadOnly(book);
    if (db == NULL) return "<no book>";
    char *sql = sqlite3_mprintf("select C2 from %s where C1 = '%q'", table, key);
    sqlite3_stmt *stmt = NULL;
    if (sqlite3_prepare_v2(db, sql, -1, &stmt, NULL) == SQLITE_OK && sqlite3_step(stmt) == SQLITE_ROW) {
        const unsigned char *text = sqlite3_column_text(stmt, 0);
        value = text != NULL ? (const char *)text : "";
    }
    sqlite3_finalize(stmt);
    sqlite3_free(sql);
    sqlite3_close(db);
    return value;
}

std::wstring ReadEncipheredKey(const wchar_t *book, const char *table, const char *key) {
    std::string field = ReadKey(book, table, key);
    if (field == "<none>") return L"<none>";
    WCHAR plain[kPlainBytes];
    DecodeField(LocalCipher, field.c_str(), plain);
    return plain;
}

int CountRows(const wchar_t *book, const char *sql) {
    sqlite3 *db = OpenReadOnly(book);
    if (db == NULL) return -1;
    int rows = 0;
    sqlite3_stmt *stmt = NULL;
    if (sqlite3_prepare_v2(db, sql, -1, &stmt, NULL) == SQLITE_OK) {
        while (sqlite3_step(stmt) == SQLITE_ROW) rows++;
    } else {
        rows = -1;
    }
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    return rows;
}

void RemoveBooks() {
    for (const wchar_t *book : {kDiaryBook, kInitBook, kRemarkBook}) DeleteFileW(book);
}

void LiveMainWindow::SetUpTestSuite() {
    KeyCipherContexts();
    std::string error;
    ASSERT_EQ(datatool::MakeDataFile(DataFilePath().c_str(), 30, 5, &error), 0) << error;
}

void LiveMainWindow::SetUp() {
    RemoveBooks();
    Shown.clear();
    MessageBoxHook = RecordMessage;
    StartScreenPending = 1;
    ASSERT_TRUE(StartMainWindow());
}

void LiveMainWindow::TearDown() {
    StopMainWindow();
    MessageBoxHook = NULL;
    RemoveBooks();
}

bool LiveMainWindow::StartMainWindow() {
    if (!InitInstance(GetModuleHandleW(NULL), SW_SHOWNORMAL) || MainWindow == NULL) return false;
    SetForegroundWindow(MainWindow);
    Pump();
    return true;
}

void LiveMainWindow::StopMainWindow() {
    if (MainWindow != NULL) DestroyWindow(MainWindow);
    Pump();
    UnregisterClassW(L"KORVANE", GetModuleHandleW(NULL));
}

void LiveMainWindow::RunOnDiary(const char *sql) {
    ASSERT_NE(DiaryDb, (sqlite3 *)NULL);
    ASSERT_EQ(sqlite3_exec(DiaryDb, sql, NULL, NULL, NULL), SQLITE_OK) << sql;
}

}  // namespace live
