// The plate search: the agent keys a plate, the program tells at once
// whether the vehicle is wanted, and every search lands in the diary.
#include <winsock2.h>

#include <windows.h>

#include <strsafe.h>
#include <wchar.h>

#include <initializer_list>

#include "bookjob.h"
#include "books.h"
#include "cipher.h"
#include "datastore.h"
#include "dbfiles.h"
#include "listviewbox.h"
#include "mainwindow.h"
#include "md5.h"
#include "phonelink.h"
#include "resource.h"
#include "sqlexec.h"
#include "textutil.h"

int StartScreenPending = 1;
int SearchCounter;
int FirstPurgeDone;
int PlateFontStep = 3;
sqlite3_int64 LastSearchFirstRowId;
sqlite3_int64 LastSearchLastRowId;
char LastSearchPlate[kCipherFieldBytes];

namespace {

enum { kWorkChars = 256 };

struct Misreading {
    const WCHAR *begins;    // the plate begins with this
    const WCHAR *becomes;   // ... and its first characters become this
};

// Series in which a letter and a digit that look alike are mixed up, in the
// order they are tried; only the first that matches is rewritten.
const Misreading kMisreadings[] = {
    {L"GIM", L"G1M"},         {L"X111NAM", L"XIIINAM"}, {L"XO1C", L"XOIC"},   {L"X0IC", L"XOIC"},
    {L"X01C", L"XOIC"},       {L"X1ASEAN", L"XIASEAN"}, {L"XXX1DB", L"XXXIDB"}, {L"IM4U", L"1M4U"},
};

void Hide(int id) { ShowWindow(MainControl(id), SW_HIDE); }
void Show(int id) { ShowWindow(MainControl(id), SW_SHOW); }
void Repaint(int id) {
    HWND control = MainControl(id);
    InvalidateRect(control, NULL, TRUE);
    UpdateWindow(control);
}

void ShowFindHistory() {
    WCHAR text[kWorkChars];
    StringCchPrintfW(text, ARRAYSIZE(text), L"%ls\r\n%ls\r\n%ls\r\n", FindHistory[0], FindHistory[1], FindHistory[2]);
    SetWindowTextW(MainControl(IDC_FIND_HISTORY), text);
    UpdateWindow(MainControl(IDC_FIND_HISTORY));
}

void ShowEmptyEntryMessage() {
    MessageBeep(MB_ICONEXCLAMATION);
    HWND message = MainControl(IDC_EMPTY_ENTRY_MESSAGE);
    SetWindowTextW(message, UseEnglish ? L"\r\n\r\nPlease key in the Vehicle Plate No."
                                       : L"\r\n\r\nSila masukkan Nombor Kenderaan dahulu.");
    ShowWindow(message, SW_SHOW);
    UpdateWindow(message);
    Sleep(200);
    ShowWindow(message, SW_HIDE);
    SetFocus(PlateEntryEdit);
}

void UpdateLinkStateForSearch() {
    if (HandphoneLinkOn.load() != 1) return;
    PhoneConnectionState state = UpdatePhoneConnectionState(PhoneConnectionMutex, 1);
    if (state.updated && state.changed == 1) {
        InvalidateRect(LocationEdit, NULL, TRUE);
        if (state.alive == 0) {
            SetWindowTextW(MainControl(IDC_GPS_STATUS),
                           UseEnglish ? L"Please check handphone GPS" : L"Tolong periksa GPS handphone");
            SetWindowTextW(MainControl(IDC_LINK_STATUS), L"");
        } else {
            SetWindowTextW(MainControl(IDC_GPS_STATUS), L"");
        }
    }
}

// Stores the history, enciphered, in 'FH1'..'FH3', in the search log.
// Returns the engine's code; a diary that cannot be written ends nothing.
int StoreFindHistory() {
    WCHAR statements[kFindHistoryEntries][kStatementChars];
    const WCHAR *list[kFindHistoryEntries];
    for (int i = 0; i < kFindHistoryEntries; i++) {
        char field[kCipherFieldBytes];
        EncodeField(LocalCipher, FindHistory[i], field);
        StringCchPrintfW(statements[i], ARRAYSIZE(statements[i]), L"UPDATE PRS SET C2 = '%hs' WHERE C1 = 'FH%d'",
                         field, i + 1);
        list[i] = statements[i];
    }
    return WriteSearchLog(list, kFindHistoryEntries);
}

// The highest rowid of the diary (0 when it is empty) into *rowId; false
// when the diary cannot be read.
bool NewestDiaryRowId(sqlite3_int64 *rowId) {
    sqlite3_stmt *stmt = NULL;
    bool ok = DiaryDb != NULL && sqlite3_prepare_v2(DiaryDb, "select max(rowid) from VLS", -1, &stmt, NULL) == SQLITE_OK &&
              sqlite3_step(stmt) == SQLITE_ROW;
    *rowId = ok ? sqlite3_column_int64(stmt, 0) : 0;
    sqlite3_finalize(stmt);
    return ok;
}

// A diary that a job left closed (its new file would not open) is opened
// again before each search. Returns false when it still cannot be.
bool DiaryIsOpen() {
    if (DiaryDb == NULL) OpenBookConnection(&DiaryDb, DiaryDbPath);
    return DiaryDb != NULL;
}

// Tells the agent, after the hits are shown, that the search is not in the
// diary; rc is the engine's code of the first write that failed.
void ShowSearchNotLogged(int rc) {
    WCHAR reason[kTextChars];
    AnsiToWide(rc == SQLITE_MISUSE ? "the diary is not open" : sqlite3_errstr(rc), reason, ARRAYSIZE(reason));
    WCHAR text[kStatementChars];
    StringCchPrintfW(text, ARRAYSIZE(text),
                     UseEnglish ? L"This search could not be written into the Diary: the Diary cannot be written "
                                  L"now (drive C may be full, or another program may be using the Diary). The "
                                  L"search itself was made as usual; the next search will try again.\r\n[%ls]"
                                : L"Carian ini tidak dapat ditulis ke dalam Diary: Diary tidak dapat ditulis "
                                  L"sekarang (drive C mungkin penuh, atau program lain mungkin sedang menggunakan "
                                  L"Diary). Carian tetap dibuat seperti biasa; carian seterusnya akan cuba lagi."
                                  L"\r\n[%ls]",
                     reason);
    ShowMessageBox(MainWindow, text, ErrorCaption(), MB_OK | MB_ICONEXCLAMATION);
}

void ClearDetailFields() {
    for (int id : {IDC_ARREARS, IDC_LASTPAY_DAY, IDC_LASTPAY_YEAR, IDC_FINANCIER, IDC_REMARK, IDC_LAST_SAVED,
                   IDC_FOLLOWUP_DAY, IDC_FOLLOWUP_YEAR}) {
        SetWindowTextW(MainControl(id), L"");
    }
    SendMessageW(MainControl(IDC_LASTPAY_MONTH), CB_SETCURSEL, 0, 0);
    SendMessageW(MainControl(IDC_FOLLOWUP_MONTH), CB_SETCURSEL, 0, 0);
    Hide(IDC_DELETE_REMARK);
    Hide(IDC_RESULT);
    SetWindowTextW(MainControl(IDC_HIT_COUNT), L"");
}

}  // namespace

void NormalisePlateNumber(WCHAR *plate) {
    if (plate == NULL) return;
    for (const Misreading &m : kMisreadings) {
        size_t n = wcslen(m.begins);
        if (wcsncmp(plate, m.begins, n) == 0) {
            wmemcpy(plate, m.becomes, n);
            return;
        }
    }
}

void FindPlate(void) {
    if (StartScreenPending == 1) {
        StartScreenPending = 0;
        ShowSearchScreen();
    }

    WCHAR keyed[kWorkChars];
    GetWindowTextW(PlateEntryEdit, keyed, ARRAYSIZE(keyed));
    RemoveBlanks(keyed);
    SetWindowTextW(PlateEntryEdit, keyed);
    if (keyed[0] == 0) {
        ShowEmptyEntryMessage();
        return;
    }

    if (HugeResultSize == 1 && SmallScreen == 0) {
        Show(IDC_BIG_BUTTON_FRAME);
        for (int id = IDC_BIG_BUTTON_FIRST; id <= IDC_BIG_BUTTON_LAST; id++) Show(id);
    }
    ClearDetailFields();
    UpdateLinkStateForSearch();

    StringCchCopyW(FindHistory[2], kFindHistoryChars, FindHistory[1]);
    StringCchCopyW(FindHistory[1], kFindHistoryChars, FindHistory[0]);
    GetWindowTextW(PlateEntryEdit, keyed, ARRAYSIZE(keyed));
    StringCchCopyW(FindHistory[0], kFindHistoryChars, keyed);
    NormalisePlateNumber(FindHistory[0]);
    ShowFindHistory();
    // The lookup runs whether or not the diary takes the search; what it
    // could not take is said once, after the hits.
    DiaryIsOpen();
    int logged = LookUpAndLogPlate();
    if (MainWindow == NULL) return;
    char plateField[kCipherFieldBytes];
    EncodeField(LocalCipher, FindHistory[0], plateField);

    WCHAR remarkQuery[kStatementChars];
    StringCchPrintfW(remarkQuery, ARRAYSIZE(remarkQuery), L"select * from VLS where C1 = '%hs'", plateField);
    RemarkPresent = 0;
    SelectSql(RemarkDb, remarkQuery, kModeRemarkOfPlate);
    if (MainWindow == NULL) return;

    for (int id : {IDC_ARREARS, IDC_LASTPAY_DAY, IDC_LASTPAY_MONTH, IDC_LASTPAY_YEAR, IDC_FINANCIER, IDC_REMARK,
                   IDC_FOLLOWUP_DAY, IDC_FOLLOWUP_MONTH, IDC_FOLLOWUP_YEAR}) {
        InvalidateRect(MainControl(id), NULL, TRUE);
    }
    SetWindowTextW(PlateEntryEdit, L"");
    SetFocus(PlateEntryEdit);
    PaintFindHistory();
    SetWindowTextW(MainControl(IDC_PLATE), FindHistory[0]);
    Repaint(IDC_PLATE);
    if (logged != SQLITE_OK) ShowSearchNotLogged(logged);

    if (wcslen(FindHistory[0]) > 6) SearchCounter++;
    if (FirstPurgeDone == 0 && SearchCounter > 35) {
        PurgeClearedPlatesFromRemark();
        FirstPurgeDone = 1;
    }
    if (SearchCounter % 1000 == 0) PurgeClearedPlatesFromRemark();
}

int LookUpAndLogPlate(void) {
    DiaryLogFailure = SQLITE_OK;
    BeginSearchLog();
    int logged = StoreFindHistory();

    // The wanted-vehicle lookup; the diary row of the search, found or not,
    // is written inside it. Its rows are noted so F4 can take them back.
    char key[kMd5HexBytes];
    VehicleLookupKey(FindHistory[0], key);
    WCHAR statement[kWorkChars];
    StringCchPrintfW(statement, ARRAYSIZE(statement), L"select * from VLD where C1 = '%hs'", key);
    ForgetLastSearchRows();
    sqlite3_int64 before = 0, after = 0;
    bool counted = NewestDiaryRowId(&before);
    VehicleFound = 0;
    SelectSql(DataDb, statement, kModePlateSearch);
    EndSearchLog();  // when the select did not run
    if (counted && NewestDiaryRowId(&after) && after > before) {
        LastSearchFirstRowId = before + 1;
        LastSearchLastRowId = after;
        EncodeField(LocalCipher, FindHistory[0], LastSearchPlate);
    }
    return logged != SQLITE_OK ? logged : DiaryLogFailure;
}

void ForgetLastSearchRows(void) {
    LastSearchFirstRowId = LastSearchLastRowId = 0;
    LastSearchPlate[0] = 0;
}

void OnPlateEntryChanged(void) {
    int n = GetWindowTextLengthW(PlateEntryEdit);
    int step;
    if (SmallScreen == 0) {
        step = n > 24 ? 0 : n > 13 ? 1 : n > 8 ? 2 : 3;
    } else {
        step = n > 18 ? 0 : n > 8 ? 1 : n > 5 ? 2 : 3;
    }
    if (step != PlateFontStep) {
        static const MainFont kStepFonts[4] = {kFontD, kFontC, kFontB, kFontA};
        SendMessageW(PlateEntryEdit, WM_SETFONT, (WPARAM)MainFonts[kStepFonts[step]], TRUE);
        PlateFontStep = step;
        SendMessageW(PlateEntryEdit, EM_SETSEL, 0, 0);
        SendMessageW(PlateEntryEdit, EM_SETSEL, n, n);
        UpdateWindow(PlateEntryEdit);
    }
    PaintPlateEntry();
}
