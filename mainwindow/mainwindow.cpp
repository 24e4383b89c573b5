// The main window: creation, commands and shutdown.
#include <strsafe.h>

#include "datastore.h"
#include "dbfiles.h"
#include "mainwindow.h"
#include "resource.h"
#include "textutil.h"

HWND MainWindow;

// Set once the shutdown has run, so a second WM_DESTROY changes nothing.
static bool ShutdownDone;

static const WCHAR kDataFileName[] = L"KorvaneData.db";

// Shows a start-up failure and destroys the main window; its WM_DESTROY
// runs the shutdown and posts WM_QUIT.
static LRESULT StopStartUp(HWND window, const WCHAR *text, const WCHAR *caption) {
    ShowMessageBox(window, text, caption, MB_OK | MB_ICONHAND);
    DestroyWindow(window);
    return 0;
}

static void ClearReadOnlyAttribute(const WCHAR *path) {
    DWORD attributes = GetFileAttributesW(path);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
        SetFileAttributesW(path, attributes & ~FILE_ATTRIBUTE_READONLY);
}

// Opens the wanted-vehicle data beside the program. Returns false after
// stopping the start-up with its message.
static bool OpenDataDatabase(HWND window) {
    WCHAR text[kTextChars + 64];
    if (GetFileAttributesW(DataDbPath) == INVALID_FILE_ATTRIBUTES) {
        StringCchPrintfW(text, ARRAYSIZE(text),
                         UseEnglish ? L"File[%ls] does not exist" : L"File[%ls] tidak wujud",
                         kDataFileName);
        StopStartUp(window, text, UseEnglish ? L"Error" : L"Masaalah");
        return false;
    }
    ClearReadOnlyAttribute(DataDbPath);
    char name[kPathChars * 3];
    if (!EngineFileName(DataDbPath, name) || sqlite3_open(name, &DataDb) != SQLITE_OK) {
        if (DataDb != NULL) {
            sqlite3_close(DataDb);
            DataDb = NULL;
        }
        StringCchPrintfW(text, ARRAYSIZE(text),
                         UseEnglish ? L"Could not open database[%ls]"
                                    : L"Tidak dapat membuka database[%ls]",
                         kDataFileName);
        StopStartUp(window, text, L"Error");
        return false;
    }
    return true;
}

static LRESULT MainWindow_OnCreate(HWND window) {
    MainWindow = window;
    ShutdownDone = false;
    CenterWindowOnScreen(window);

    WCHAR folder[kPathChars];
    GetProgramFolder(folder);
    BuildDatabasePaths(folder);
    if (!OpenDataDatabase(window)) return 0;
    return 0;
}

// Closes a connection and forgets it, so nothing runs on it afterwards.
static void CloseConnection(sqlite3 **db) {
    if (*db != NULL) {
        sqlite3_close(*db);
        *db = NULL;
    }
}

static void MainWindow_OnDestroy(void) {
    if (ShutdownDone) return;
    ShutdownDone = true;
    CloseConnection(&DataDb);
    CloseConnection(&DiaryDb);
    CloseConnection(&InitDb);
    CloseConnection(&RemarkDb);
    MainWindow = NULL;
    PostQuitMessage(0);
}

// Returns true when the command was handled here.
static bool MainWindow_OnCommand(HWND, int id) {
    switch (id) {
    case IDM_CTRL_Q:
        return false;  // Ctrl+Q is reserved and does nothing
    }
    return false;
}

LRESULT CALLBACK MainWindowProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_CREATE:
        return MainWindow_OnCreate(window);
    case WM_COMMAND:
        if (MainWindow_OnCommand(window, LOWORD(wParam))) return 0;
        break;
    case WM_DESTROY:
        MainWindow_OnDestroy();
        return 0;
    }
    return DefWindowProcW(window, msg, wParam, lParam);
}
