// The Setting dialog: language, sound, result size, plate colours, the
// diary storage place and the search input. It has no buttons; closing it
// stores each choice that changed, so opening and closing it untouched
// writes nothing.
#include <windows.h>

#include <strsafe.h>
#include <wchar.h>

#include "cipher.h"
#include "datastore.h"
#include "dbfiles.h"
#include "mainwindow.h"
#include "resource.h"
#include "schema.h"
#include "sqlexec.h"

namespace {

const WCHAR kStoragePlaceChoice[] = L"C:\\";
const WCHAR kSearchUsingChoice[] = L"Papan Kekunci/KeyBoard";
const WCHAR kDiaryFileName[] = L"KorvaneDiary.db";

struct DialogText {
    int id;
    const WCHAR *malay;
    const WCHAR *english;
};

// The fixed texts; 302 and 305 are formatted with a value.
const DialogText kTexts[] = {
    {IDC_SETTING_STORAGE_GROUP, L"Diary Disimpan Di", L"Diary Storage Place"},
    {IDC_SETTING_SEARCH_GROUP, L"Cari Gunakan", L"Search Using"},
    {IDC_SETTING_LANGUAGE_GROUP, L"Bahasa Yang Digunakan", L"Language Used"},
    {IDC_SETTING_SOUND, L"Bunyikan bila carian no. kenderaan kena", L"Play sound when vehicle is found"},
    {IDC_SETTING_HUGE_RESULT, L"Result saiz besar", L"Huge result size"},
    {IDC_SETTING_MULTI_COLOUR, L"Perkataan berlainan warna", L"Multi colour text"},
};

bool Alive() { return MainWindow != NULL && IsWindow(MainWindow); }

void Check(HWND dialog, int id, bool on) { CheckDlgButton(dialog, id, on ? BST_CHECKED : BST_UNCHECKED); }

bool Checked(HWND dialog, int id) { return IsDlgButtonChecked(dialog, id) == BST_CHECKED; }

// Offers the one choice of a combo and selects the item that matches
// current (none when nothing does); an empty current selects the choice.
void FillChoice(HWND dialog, int id, const WCHAR *choice, const WCHAR *current) {
    HWND combo = GetDlgItem(dialog, id);
    SendMessageW(combo, CB_ADDSTRING, 0, (LPARAM)choice);
    LRESULT index = 0;
    if (current[0] != 0) index = SendMessageW(combo, CB_FINDSTRINGEXACT, (WPARAM)-1, (LPARAM)current);
    SendMessageW(combo, CB_SETCURSEL, index, 0);  // CB_ERR clears the selection
}

// Stores value (the program's own text: digits or a cipher field) under
// key in table (PRS or PRI) of *db, in one transaction; a book that lacks
// the row gets it. Returns the engine's code; a failure has been shown
// and has ended the program (ExecSql).
int StoreSetting(sqlite3 **db, const WCHAR *table, const WCHAR *key, const char *value) {
    WCHAR update[kStatementChars];
    WCHAR insert[kStatementChars];
    StringCchPrintfW(update, ARRAYSIZE(update), L"update %ls set C2 = '%hs' where C1 = '%ls'", table, value, key);
    StringCchPrintfW(insert, ARRAYSIZE(insert),
                     L"insert into %ls (C1, C2) select '%ls', '%hs' where not exists "
                     L"(select 1 from %ls where C1 = '%ls')",
                     table, key, value, table, key);
    const WCHAR *statements[] = {update, insert};
    return ExecTransaction(db, statements, 2);
}

int StoreEnciphered(sqlite3 **db, const WCHAR *table, const WCHAR *key, const WCHAR *text) {
    char field[kCipherFieldBytes];
    EncodeField(LocalCipher, text, field);
    return StoreSetting(db, table, key, field);
}

// One '0'/'1' setting: stores and takes over the box's state when it
// differs from *flag. Returns false when the store failed.
bool StoreFlag(HWND dialog, int id, int *flag, const WCHAR *key) {
    int wanted = Checked(dialog, id) ? 1 : 0;
    if (*flag == wanted) return true;
    *flag = wanted;
    return StoreSetting(&DiaryDb, L"PRS", key, wanted ? "1" : "0") == SQLITE_OK;
}

// Closes the diary and opens it again from its fixed path, creating it
// when the file is gone. Returns false when no connection came back.
bool ReopenDiary() {
    CloseBookConnection(&DiaryDb);
    if (GetFileAttributesW(DiaryDbPath) != INVALID_FILE_ATTRIBUTES) {
        OpenOrCreateBookConnection(&DiaryDb, DiaryDbPath);
    } else {
        // No window to destroy: a missing file is shown, and the caller
        // ends the dialog and the program in order.
        CreateDiaryDatabase(NULL);
    }
    return DiaryDb != NULL;
}

INT_PTR Setting_OnInit(HWND dialog) {
    SetWindowTextW(dialog, L"Korvane Setting");
    HICON icon = (HICON)LoadImageW(AppInstance, MAKEINTRESOURCEW(IDI_KORVANE), IMAGE_ICON,
                                   GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), LR_SHARED);
    SendMessageW(dialog, WM_SETICON, ICON_SMALL, (LPARAM)icon);
    CenterWindowOnScreen(dialog);

    CheckRadioButton(dialog, IDC_SETTING_MALAY, IDC_SETTING_ENGLISH,
                     UseEnglish == 1 ? IDC_SETTING_ENGLISH : IDC_SETTING_MALAY);
    Check(dialog, IDC_SETTING_SOUND, SoundOnFound == 1);
    Check(dialog, IDC_SETTING_HUGE_RESULT, HugeResultSize == 1);
    Check(dialog, IDC_SETTING_MULTI_COLOUR, MultiColourText == 1);
    if (SmallScreen == 1) {
        // The large result box does not fit a small screen.
        Check(dialog, IDC_SETTING_HUGE_RESULT, false);
        EnableWindow(GetDlgItem(dialog, IDC_SETTING_HUGE_RESULT), FALSE);
    }

    bool english = UseEnglish == 1;
    WCHAR text[kTextChars];
    StringCchPrintfW(text, ARRAYSIZE(text), english ? L"Database Version: %ls" : L"Database Versi: %ls",
                     DataVersionUpdate);
    SetDlgItemTextW(dialog, IDC_SETTING_DATABASE_VERSION, text);
    StringCchPrintfW(text, ARRAYSIZE(text), english ? L"Platform Type: %ls" : L"Platform Jenis: %ls", PlatformText);
    SetDlgItemTextW(dialog, IDC_SETTING_PLATFORM, text);
    for (const DialogText &t : kTexts) SetDlgItemTextW(dialog, t.id, english ? t.english : t.malay);

    FillChoice(dialog, IDC_SETTING_STORAGE_PLACE, kStoragePlaceChoice, DiaryStoragePlace);
    FillChoice(dialog, IDC_SETTING_SEARCH_USING, kSearchUsingChoice, SearchUsing);
    return TRUE;
}

// Stores the choices that changed, in a fixed order, and ends the dialog.
// A failed statement has ended the program (the dialog went with its
// owner), so nothing more is done then.
INT_PTR Setting_OnClose(HWND dialog) {
    WCHAR text[kTextChars];

    GetDlgItemTextW(dialog, IDC_SETTING_STORAGE_PLACE, text, ARRAYSIZE(text));
    if (text[0] == 0) {
        ShowMessageBox(dialog, L"cboDiaryStoragePlace is empty", L"Error", MB_OK | MB_ICONHAND);
    } else if (wcscmp(text, DiaryStoragePlace) != 0) {
        StringCchCopyW(DiaryStoragePlace, ARRAYSIZE(DiaryStoragePlace), text);
        if (StoreEnciphered(&InitDb, L"PRI", L"DSP", DiaryStoragePlace) != SQLITE_OK && !Alive()) return TRUE;
        if (!ReopenDiary()) {
            WCHAR message[kTextChars];
            StringCchPrintfW(message, ARRAYSIZE(message),
                             UseEnglish ? L"Could not open database[%ls]" : L"Tidak dapat membuka database[%ls]",
                             kDiaryFileName);
            ShowMessageBox(dialog, message, L"Error", MB_OK | MB_ICONHAND);
            EndDialog(dialog, kSettingDiaryLost);
            return TRUE;
        }
    }

    GetDlgItemTextW(dialog, IDC_SETTING_SEARCH_USING, text, ARRAYSIZE(text));
    if (text[0] == 0) {
        ShowMessageBox(dialog, L"cboSearchUsing is empty", L"Error", MB_OK | MB_ICONHAND);
    } else if (wcscmp(text, SearchUsing) != 0) {
        StringCchCopyW(SearchUsing, ARRAYSIZE(SearchUsing), text);
        if (StoreEnciphered(&DiaryDb, L"PRS", L"SU", SearchUsing) != SQLITE_OK && !Alive()) return TRUE;
    }

    // Bitmap 122 is loaded again on every close; the handle it replaces is
    // freed.
    HBITMAP logo = LoadBitmapW(AppInstance, MAKEINTRESOURCEW(IDB_LOGO));
    if (logo != NULL) {
        if (LogoBitmap != NULL) DeleteObject(LogoBitmap);
        LogoBitmap = logo;
    }
    InvalidateRect(MainWindow, NULL, FALSE);

    int english = Checked(dialog, IDC_SETTING_ENGLISH) ? 1 : 0;
    if (UseEnglish != english) {
        UseEnglish = english;
        if (StoreSetting(&DiaryDb, L"PRS", L"B", english ? "1" : "0") != SQLITE_OK && !Alive()) return TRUE;
        RelabelMainControls();
    }
    if (!StoreFlag(dialog, IDC_SETTING_SOUND, &SoundOnFound, L"SND") && !Alive()) return TRUE;
    if (!StoreFlag(dialog, IDC_SETTING_HUGE_RESULT, &HugeResultSize, L"HRS") && !Alive()) return TRUE;
    if (!StoreFlag(dialog, IDC_SETTING_MULTI_COLOUR, &MultiColourText, L"MCT") && !Alive()) return TRUE;

    EndDialog(dialog, 0);
    return TRUE;
}

}  // namespace

INT_PTR CALLBACK SettingDialogProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_INITDIALOG:
        return Setting_OnInit(dialog);
    case WM_CLOSE:
        return Setting_OnClose(dialog);
    }
    return FALSE;
}

void OpenSettingDialog(void) {
    if (MainWindow == NULL) return;
    INT_PTR result = DialogBoxParamW(AppInstance, MAKEINTRESOURCEW(IDD_SETTING), MainWindow, SettingDialogProc, 0);
    if (result == kSettingDiaryLost && Alive()) {
        // Without its diary the program cannot go on; the dialog has ended,
        // so the main window goes now, by its usual shutdown.
        DestroyWindow(MainWindow);
        return;
    }
    if (PlateEntryEdit != NULL) SetFocus(PlateEntryEdit);
}
