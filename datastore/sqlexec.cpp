// ExecSql, SelectSql and the row handler with its select modes.
#include "sqlexec.h"

#include <commctrl.h>
#include <stdlib.h>
#include <string.h>
#include <strsafe.h>

#include "bookcheck.h"
#include "books.h"
#include "datastore.h"
#include "listviewbox.h"
#include "mainwindow.h"
#include "resource.h"
#include "textutil.h"

int SelectMode;
WCHAR SelectSlots[kSelectSlotCount][kSlotChars];
WCHAR RemarkSlots[kRemarkSlotCount][kSlotChars];
char EncodedSlots[kEncodedSlotCount][kCipherFieldBytes];
WCHAR StatementText[kStatementChars];
int DiaryLastRowId;
int SettingsLastRowId;
int ImportLastRowId;
int VehicleFound;
int RemarkPresent;
int RemarkToScreen = 1;
int FoundBeepCount;
int StatementFailureEnding;
int DiaryLogFailure;

namespace {

// The cell of column i, or "" for a NULL cell or a column the row lacks.
const char *Cell(int columnCount, char **values, int i) {
    if (values == NULL || i < 0 || i >= columnCount || values[i] == NULL) return "";
    return values[i];
}

bool IsOne(const char *value) { return strcmp(value, "1") == 0; }

void SetControlText(int id, const WCHAR *text) {
    HWND control = MainControl(id);
    if (control != NULL) SetWindowTextW(control, text);
}

void ShowControl(int id, int command) {
    HWND control = MainControl(id);
    if (control != NULL) ShowWindow(control, command);
}

void SelectComboItem(int id, int index) {
    HWND control = MainControl(id);
    if (control != NULL) SendMessageW(control, CB_SETCURSEL, (WPARAM)index, 0);
}

// "DD Mon YYYY" into the day edit, month combo (only on a known month) and
// year edit of the last payment.
void ShowLastPaymentDate(const WCHAR *date) {
    WCHAR part[8];
    TextPiece(part, ARRAYSIZE(part), date, 0, 2);
    SetControlText(IDC_LASTPAY_DAY, part);
    TextPiece(part, ARRAYSIZE(part), date, 3, 3);
    for (int m = 1; m <= 12 && part[0] != 0; m++) {
        if (_wcsicmp(part, MonthName(m)) == 0) {
            SelectComboItem(IDC_LASTPAY_MONTH, m);
            break;
        }
    }
    TextPiece(part, ARRAYSIZE(part), date, 7, 4);
    SetControlText(IDC_LASTPAY_YEAR, part);
}

// "YYYY-MM-DD" or 'NULL' into the follow-up fields.
void ShowFollowUpDate(const WCHAR *date) {
    if (_wcsicmp(date, L"NULL") == 0) {
        SetControlText(IDC_FOLLOWUP_DAY, L"");
        SetControlText(IDC_FOLLOWUP_YEAR, L"");
        SelectComboItem(IDC_FOLLOWUP_MONTH, 0);
        return;
    }
    WCHAR part[8];
    TextPiece(part, ARRAYSIZE(part), date, 8, 2);
    SetControlText(IDC_FOLLOWUP_DAY, part);
    TextPiece(part, ARRAYSIZE(part), date, 5, 2);
    for (int m = 1; m <= 12 && part[0] != 0; m++) {
        WCHAR number[4];
        StringCchPrintfW(number, ARRAYSIZE(number), L"%02d", m);
        if (wcscmp(part, number) == 0) {
            SelectComboItem(IDC_FOLLOWUP_MONTH, m);
            break;
        }
    }
    TextPiece(part, ARRAYSIZE(part), date, 0, 4);
    SetControlText(IDC_FOLLOWUP_YEAR, part);
}

// Puts a line on top of the found-vehicle list and scrolls to it.
void PutOnFoundList(const WCHAR *line) {
    if (FoundVehicleList.list == NULL) return;
    FoundVehicleList.ListViewBoxInsertItem(0, line);
    SendMessageW(FoundVehicleList.list, LVM_ENSUREVISIBLE, 0, TRUE);
}

HWND DiaryWindowControl(int id) {
    if (DiaryList.list == NULL || !IsWindow(DiaryList.list) || DiaryList.parent == NULL) return NULL;
    return GetDlgItem(DiaryList.parent, id);
}

void SoundFoundBeep(void) {
    FoundBeepCount++;
    MessageBeep(MB_ICONEXCLAMATION);
}

void DecodeInto(const BlowfishContext &ctx, const char *field, WCHAR *out, size_t outChars) {
    WCHAR plain[kPlainBytes];
    DecodeField(ctx, field, plain);
    plain[kPlainBytes - 1] = 0;
    TextCopyN(out, outChars, plain);
}
template <size_t N> void DecodeInto(const BlowfishContext &ctx, const char *field, WCHAR (&out)[N]) {
    DecodeInto(ctx, field, out, N);
}

// Shows a failed statement and ends the program through the main window.
// Once a failure is ending the program, later ones (the shutdown's own
// stores on a book that refuses every write) are not shown again.
void ReportFailedStatement(const WCHAR *statement, const char *engineError) {
    WCHAR error[kTextChars];
    AnsiToWide(engineError, error, ARRAYSIZE(error));
    WCHAR text[kStatementChars];  // statement may be StatementText itself
    StringCchPrintfW(text, ARRAYSIZE(text), L"Error in statement: %ls [%ls].\n", statement, error);
    TextCopy(StatementText, text);
    if (StatementFailureEnding && MainWindow != NULL) return;  // the shutdown is under way
    ShowMessageBox(MainWindow, StatementText, L"sql_stmt", MB_ICONINFORMATION);
    if (MainWindow != NULL) {
        StatementFailureEnding = 1;
        DestroyWindow(MainWindow);
    }
}

// The location of the search as the diary keeps it: the location field's
// text (LocationText when there is no field), apostrophes removed.
void TakeSearchLocation(void) {
    if (LocationEdit != NULL) GetWindowTextW(LocationEdit, LocationText, ARRAYSIZE(LocationText));
    RemoveCharacter(LocationText, L'\'');
}

// The search log: the diary transaction that takes everything one search
// writes (see BeginSearchLog).
bool SearchLogOpen;    // its "begin" was run and it is not yet ended
int SearchLogFailure;  // the code of its first write that failed; SQLITE_OK none

// Formats a diary insert into StatementText and runs it in the search log,
// or in a transaction of its own when no log is open. A text that does not
// fit is not run: it counts as a failed statement.
int InsertDiaryRow(int found, const char *plate, const char *date, const char *description,
                   const WCHAR *financier, const char *arrears) {
    StampCurrentTime();
    TakeSearchLocation();
    WCHAR quotedFinancier[2 * kSlotChars], quotedLocation[2 * kTextChars],
        quotedVersion[2 * kTextChars];
    bool fits = SqlQuote(financier, quotedFinancier) && SqlQuote(LocationText, quotedLocation) &&
                SqlQuote(DataVersionUpdate, quotedVersion);
    HRESULT hr = fits ? StringCchPrintfW(
                            StatementText, ARRAYSIZE(StatementText),
                            L"insert into VLS values ('%ls',%d,'%hs','%hs','%hs','%ls','%hs','%ls','%ls','','')",
                            CurrentTimeStamp, found, plate, date, description, quotedFinancier,
                            arrears, quotedLocation, quotedVersion)
                      : STRSAFE_E_INSUFFICIENT_BUFFER;
    int rc = SQLITE_TOOBIG;
    if (SUCCEEDED(hr)) {
        WCHAR statement[kStatementChars];
        TextCopy(statement, StatementText);
        const WCHAR *list[] = {statement};
        rc = WriteSearchLog(list, 1);
    }
    if (rc != SQLITE_OK && DiaryLogFailure == SQLITE_OK) DiaryLogFailure = rc;
    return rc;
}

// Mode 0: one wanted vehicle of the searched plate.
void OnPlateSearchRow(int columnCount, char **values) {
    VehicleFound = 1;
    if (HugeResultSize == 1) {
        for (int id = IDC_BIG_BUTTON_FIRST; id <= IDC_BIG_BUTTON_LAST; id++) ShowControl(id, SW_HIDE);
        ShowControl(IDC_BIG_BUTTON_FRAME, SW_HIDE);
    }
    TextCopy(SelectSlots[0], FindHistory[0]);
    for (int i = 1; i <= 4; i++) DecodeInto(DataCipher, Cell(columnCount, values, i), SelectSlots[i]);
    StripBothEnds(SelectSlots[1], 2);
    StripBothEnds(SelectSlots[3], 2);
    StripBothEnds(SelectSlots[4], 2);

    WCHAR line[kSlotChars];
    FormatVehicleLine(line, ARRAYSIZE(line), SelectSlots[0], SelectSlots[4], SelectSlots[1],
                      SelectSlots[3], SelectSlots[2]);
    SetControlText(IDC_RESULT, line);
    PutOnFoundList(line);
    SetControlText(IDC_ARREARS, SelectSlots[4]);
    SetControlText(IDC_FINANCIER, SelectSlots[3]);
    if (SelectSlots[1][0] != 0) ShowLastPaymentDate(SelectSlots[1]);

    for (int i = 0; i < kEncodedSlotCount; i++) EncodeField(LocalCipher, SelectSlots[i], EncodedSlots[i]);
    // A row the diary refuses is told by the search; the other hits still show.
    InsertDiaryRow(1, EncodedSlots[0], EncodedSlots[1], EncodedSlots[2], SelectSlots[3], EncodedSlots[4]);
}

// Mode 52: the agent's remark of the searched plate.
void OnRemarkRow(int columnCount, char **values) {
    RemarkPresent = 1;
    for (int i = 0; i < 5; i++) DecodeInto(LocalCipher, Cell(columnCount, values, i), RemarkSlots[i]);
    AnsiToWide(Cell(columnCount, values, 5), RemarkSlots[5], kSlotChars);
    AnsiToWide(Cell(columnCount, values, 6), RemarkSlots[6], kSlotChars);
    if (RemarkToScreen != 1) return;

    WCHAR line[kSlotChars];
    FormatVehicleLine(line, ARRAYSIZE(line), RemarkSlots[0], RemarkSlots[1], RemarkSlots[2],
                      RemarkSlots[3], RemarkSlots[4]);
    PutOnFoundList(line);
    ShowControl(IDC_DELETE_REMARK, SW_SHOW);
    SetControlText(IDC_PLATE, RemarkSlots[0]);
    SetControlText(IDC_ARREARS, RemarkSlots[1]);
    if (RemarkSlots[2][0] != 0) ShowLastPaymentDate(RemarkSlots[2]);
    if (RemarkSlots[6][0] != 0) ShowFollowUpDate(RemarkSlots[6]);
    SetControlText(IDC_FINANCIER, RemarkSlots[3]);
    SetControlText(IDC_REMARK, RemarkSlots[4]);
    StringCchPrintfW(StatementText, ARRAYSIZE(StatementText), L"Last Saved at : %ls", RemarkSlots[5]);
    SetControlText(IDC_LAST_SAVED, StatementText);
}

void CopyPlainSlots(int columnCount, char **values, int count) {
    for (int i = 0; i < count && i < kSelectSlotCount; i++)
        AnsiToWide(Cell(columnCount, values, i), SelectSlots[i], kSlotChars);
}

// Mode 28 on an open Diary window: the list's item count and its label.
void ShowDiaryRowCount(int count) {
    DiaryList.ListViewBoxSetItemCount(count);
    HWND label = DiaryWindowControl(IDC_DIARY_COUNT);
    if (label != NULL) SetRowCountText(label, count);
}

// After a plate search with hits: the hit count, the result box, the beep.
void ShowHitCount(int rows) {
    WCHAR text[64];
    if (UseEnglish && rows == 1)
        StringCchCopyW(text, ARRAYSIZE(text), L"Found: 1 row");
    else
        StringCchPrintfW(text, ARRAYSIZE(text), UseEnglish ? L"Found: %d rows" : L"Jumpa: %d baris", rows);
    SetControlText(IDC_HIT_COUNT, text);
    ShowControl(IDC_RESULT, SW_SHOW);
    if (ResultList.list != NULL) UpdateWindow(ResultList.list);
    if (SoundOnFound == 1) SoundFoundBeep();
}

}  // namespace

void BuildDataVersionText(void) {
    bool update = _wcsicmp(DataVersion, DataVersionUpdate) != 0;
    bool patched = wcscmp(DataVersionPatch, L"FACTORY") != 0;
    if (update && patched) {
        StringCchPrintfW(DataVersionText, ARRAYSIZE(DataVersionText), L"%ls[update %ls][patch %ls]",
                         DataVersion, DataVersionUpdate, DataVersionPatch);
    } else if (update) {
        StringCchPrintfW(DataVersionText, ARRAYSIZE(DataVersionText), L"%ls[update %ls]", DataVersion,
                         DataVersionUpdate);
    } else if (patched) {
        StringCchPrintfW(DataVersionText, ARRAYSIZE(DataVersionText), L"%ls[patch %ls]", DataVersion,
                         DataVersionPatch);
    } else {
        StringCchPrintfW(DataVersionText, ARRAYSIZE(DataVersionText), L"%ls", DataVersion);
    }
}

bool SqlQuote(const WCHAR *text, WCHAR *out, size_t outChars) {
    if (outChars == 0) return false;
    size_t n = 0;
    for (const WCHAR *p = text ? text : L""; *p != 0; p++) {
        size_t need = (*p == L'\'') ? 2 : 1;
        if (n + need >= outChars) {
            out[0] = 0;
            return false;
        }
        out[n++] = *p;
        if (*p == L'\'') out[n++] = L'\'';
    }
    out[n] = 0;
    return true;
}

void AnsiToWide(const char *text, WCHAR *out, size_t outChars) {
    if (outChars == 0) return;
    out[0] = 0;
    if (text == NULL || text[0] == 0) return;
    // In the ANSI code pages a byte gives at most one character, so the
    // first outChars - 1 bytes always fit.
    size_t bytes = strlen(text);
    if (bytes > outChars - 1) bytes = outChars - 1;
    int n = MultiByteToWideChar(CP_ACP, 0, text, (int)bytes, out, (int)(outChars - 1));
    out[n > 0 ? n : 0] = 0;
}

bool WideToAnsi(const WCHAR *text, char *out, size_t outBytes) {
    if (outBytes == 0) return false;
    // No best fit: a character the code page lacks becomes '?', never a
    // look-alike such as the apostrophe that a fullwidth or modifier
    // apostrophe would otherwise turn into after the text was quoted.
    int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text ? text : L"", -1, out, (int)outBytes,
                                NULL, NULL);
    if (n <= 0) {
        out[0] = 0;
        return false;
    }
    return true;
}

void FormatVehicleLine(WCHAR *out, size_t outChars, const WCHAR *plate, const WCHAR *arrears,
                       const WCHAR *date, const WCHAR *financier, const WCHAR *description) {
    bool hasArrears = arrears[0] != 0, hasDate = date[0] != 0;
    if (!hasArrears && !hasDate)
        StringCchPrintfW(out, outChars, L"%ls | %ls | %ls", plate, financier, description);
    else if (!hasArrears)
        StringCchPrintfW(out, outChars, L"%ls | %ls | %ls | %ls", plate, date, financier, description);
    else if (!hasDate)
        StringCchPrintfW(out, outChars, L"%ls | %ls | %ls | %ls", plate, arrears, financier, description);
    else
        StringCchPrintfW(out, outChars, L"%ls | %ls | %ls | %ls | %ls", plate, arrears, date, financier,
                         description);
}

int ExecSql(sqlite3 *db, const WCHAR *statement) {
    if (db == NULL || statement == NULL) return SQLITE_MISUSE;
    char ansi[kStatementChars];
    char *error = NULL;
    int rc = SQLITE_TOOBIG;
    if (WideToAnsi(statement, ansi, sizeof ansi)) rc = sqlite3_exec(db, ansi, NULL, NULL, &error);
    if (rc != SQLITE_OK) {
        char engineError[kTextChars];
        TextCopy(engineError, rc == SQLITE_TOOBIG && error == NULL ? "statement too long"
                              : error != NULL                  ? error
                                                               : sqlite3_errstr(rc));
        sqlite3_free(error);
        // The program ends through its shutdown, which still stores on this
        // connection: a transaction left open here would refuse its "begin".
        if (!sqlite3_get_autocommit(db)) sqlite3_exec(db, "rollback", NULL, NULL, NULL);
        ReportFailedStatement(statement, engineError);
    }
    return rc;
}

int ExecTransaction(sqlite3 **db, const WCHAR *const *statements, int count) {
    int rc = ExecSql(*db, L"begin");
    for (int i = 0; rc == SQLITE_OK && i < count; i++) rc = ExecSql(*db, statements[i]);
    if (rc == SQLITE_OK) rc = ExecSql(*db, L"commit");
    if (rc != SQLITE_OK && *db != NULL && !sqlite3_get_autocommit(*db))
        sqlite3_exec(*db, "rollback", NULL, NULL, NULL);
    return rc;
}

int ExecInTransaction(sqlite3 **db, const WCHAR *statement) {
    return ExecTransaction(db, &statement, 1);
}

int TryTransaction(sqlite3 *db, const WCHAR *const *statements, int count) {
    if (db == NULL) return SQLITE_MISUSE;
    int rc = sqlite3_exec(db, "begin", NULL, NULL, NULL);
    char ansi[kStatementChars];
    for (int i = 0; rc == SQLITE_OK && i < count; i++)
        rc = WideToAnsi(statements[i], ansi, sizeof ansi) ? sqlite3_exec(db, ansi, NULL, NULL, NULL) : SQLITE_TOOBIG;
    if (rc == SQLITE_OK) rc = sqlite3_exec(db, "commit", NULL, NULL, NULL);
    if (rc != SQLITE_OK && !sqlite3_get_autocommit(db)) sqlite3_exec(db, "rollback", NULL, NULL, NULL);
    return rc;
}

namespace {

// The diary keeps its journal between searches, its header zeroed at each
// commit: a search's commit then neither creates nor deletes a file, and
// each commit keeps the engine's full syncs.
void KeepDiaryJournal(void) {
    if (DiaryDb != NULL) sqlite3_exec(DiaryDb, "PRAGMA journal_mode = PERSIST", NULL, NULL, NULL);
}

}  // namespace

int BeginSearchLog(void) {
    if (SearchLogOpen) return SearchLogFailure;
    if (DiaryDb == NULL) return SQLITE_MISUSE;
    KeepDiaryJournal();
    int rc = sqlite3_exec(DiaryDb, "begin", NULL, NULL, NULL);
    SearchLogOpen = rc == SQLITE_OK;
    SearchLogFailure = SQLITE_OK;
    if (rc != SQLITE_OK && DiaryLogFailure == SQLITE_OK) DiaryLogFailure = rc;
    return rc;
}

int WriteSearchLog(const WCHAR *const *statements, int count) {
    if (!SearchLogOpen) {
        KeepDiaryJournal();
        return TryTransaction(DiaryDb, statements, count);
    }
    // A failure the engine answers by rolling the whole transaction back
    // (a full disk, an I/O error) leaves the connection in autocommit: a
    // later statement would then be committed on its own.
    if (SearchLogFailure == SQLITE_OK && sqlite3_get_autocommit(DiaryDb)) SearchLogFailure = SQLITE_ABORT;
    char ansi[kStatementChars];
    for (int i = 0; SearchLogFailure == SQLITE_OK && i < count; i++) {
        SearchLogFailure = WideToAnsi(statements[i], ansi, sizeof ansi)
                               ? sqlite3_exec(DiaryDb, ansi, NULL, NULL, NULL)
                               : SQLITE_TOOBIG;
    }
    return SearchLogFailure;
}

int EndSearchLog(void) {
    if (!SearchLogOpen) return SQLITE_OK;
    SearchLogOpen = false;
    int rc = SearchLogFailure;
    if (rc == SQLITE_OK && sqlite3_get_autocommit(DiaryDb)) rc = SQLITE_ABORT;
    if (rc == SQLITE_OK) rc = sqlite3_exec(DiaryDb, "commit", NULL, NULL, NULL);
    if (rc != SQLITE_OK && !sqlite3_get_autocommit(DiaryDb)) sqlite3_exec(DiaryDb, "rollback", NULL, NULL, NULL);
    if (rc != SQLITE_OK && DiaryLogFailure == SQLITE_OK) DiaryLogFailure = rc;
    SearchLogFailure = SQLITE_OK;
    return rc;
}

int SelectSql(sqlite3 *db, const WCHAR *statement, int mode) {
    if (db == NULL || statement == NULL) return SQLITE_MISUSE;
    // The rows of a plate search go into one diary transaction, the
    // caller's when it has begun one.
    if (mode == kModePlateSearch) BeginSearchLog();
    SelectMode = mode;
    int rows = 0;
    char ansi[kStatementChars];
    char *error = NULL;
    int rc;
    if (WideToAnsi(statement, ansi, sizeof ansi)) {
        rc = sqlite3_exec(db, ansi, OnSelectRow, &rows, &error);
    } else {
        rc = SQLITE_TOOBIG;
        error = sqlite3_mprintf("%s", "statement too long");
    }
    if (rc != SQLITE_OK) {
        // What the search wrote before the failure is kept, and the diary
        // is free before anything is shown.
        if (mode == kModePlateSearch) EndSearchLog();
        WCHAR text[kTextChars];
        AnsiToWide(error != NULL ? error : sqlite3_errstr(rc), text, ARRAYSIZE(text));
        sqlite3_free(error);
        if (db == DataDb && IsDamagedFileCode(rc)) {
            StopForDamagedData(text);  // the agent's words; the program ends
            return rc;
        }
        StringCchPrintfW(StatementText, ARRAYSIZE(StatementText), L"Error in select statement:[%ls].\n",
                         text);
        ShowMessageBox(MainWindow, StatementText, L"select_stmt", MB_ICONINFORMATION);
        return rc;
    }
    if (mode == kModePlateSearch) {
        if (rows == 0) {
            EncodeField(LocalCipher, FindHistory[0], EncodedSlots[0]);
            InsertDiaryRow(0, EncodedSlots[0], "", "", L"", "");
        }
        EndSearchLog();  // committed before the hits are told; a failure is in DiaryLogFailure
        if (rows > 0) ShowHitCount(rows);
    } else if (mode == kModeRemarkOfPlate) {
        if (rows > 0 && SoundOnFound == 1 && VehicleFound == 0) SoundFoundBeep();
    }
    return rc;
}

int OnSelectRow(void *counter, int columnCount, char **values, char **) {
    if (counter != NULL) (*(int *)counter)++;
    const char *first = Cell(columnCount, values, 0);
    int mode = SelectMode;
    switch (mode) {
    case kModePlateSearch:
        OnPlateSearchRow(columnCount, values);
        break;
    case kModeDataVersion:
        DecodeInto(DataCipher, first, DataVersion);
        break;
    case kModeDataVersionUpdate:
        DecodeInto(DataCipher, first, DataVersionUpdate);
        BuildDataVersionText();
        break;
    case kModeDataVersionPatch:
        DecodeInto(DataCipher, first, DataVersionPatch);
        PadNumberText(DataVersionPatch);
        break;
    case 5: case 6: case 7: case 8: case 9: case 10:
        DecodeInto(DataCipher, first, ContactLines[mode - kModeContactLine1]);
        break;
    case 11: case 12: case 13:
        DecodeInto(LocalCipher, first, FindHistory[mode - kModeFindHistory1]);
        break;
    case kModeSound:
        SoundOnFound = IsOne(first) ? 1 : 0;
        break;
    case kModeLanguage:
        UseEnglish = IsOne(first) ? 1 : 0;
        break;
    case kModeStoragePlace:
        DecodeInto(LocalCipher, first, DiaryStoragePlace);
        break;
    case kModeSearchUsing:
        DecodeInto(LocalCipher, first, SearchUsing);
        break;
    case kModeRequiredVersion: {
        char version[kPlainBytes];
        DecodeFieldA(DataCipher, first, version, sizeof version);
        RequiredProgramVersion = strtod(version, NULL);
        break;
    }
    case kModeDiaryVersion:
        DiarySchemaVersion = strtod(first, NULL);
        break;
    case kModeLocation:
        DecodeInto(LocalCipher, first, LocationText);
        break;
    case kModeDiaryLastRowId:
        DiaryLastRowId = atoi(first);
        ShowDiaryRowCount(DiaryLastRowId);
        break;
    case kModeCleanUpLookup:
        AnsiToWide(first, SelectSlots[0], kSlotChars);
        AnsiToWide(Cell(columnCount, values, 2), SelectSlots[2], kSlotChars);
        break;
    case kModeDiaryRowCopy:
    case kModeImportDiaryRow:
        CopyPlainSlots(columnCount, values, 11);
        break;
    case kModeDiaryPassword:
        DecodeInto(LocalCipher, first, DiaryPassword);
        break;
    case kModeFinancierList: {
        DecodeInto(DataCipher, first, SelectSlots[0]);
        StripBothEnds(SelectSlots[0], 2);
        IndentDashedText(SelectSlots[0]);
        HWND combo = DiaryWindowControl(IDC_DIARY_FINANCIER);
        if (combo != NULL) SendMessageW(combo, CB_ADDSTRING, 0, (LPARAM)SelectSlots[0]);
        break;
    }
    case kModeSettingsRowCopy:
        CopyPlainSlots(columnCount, values, 2);
        break;
    case kModeSettingsLastRowId:
        SettingsLastRowId = atoi(first);
        break;
    case kModeHugeResult:
        HugeResultSize = IsOne(first) ? 1 : 0;
        break;
    case kModeMultiColour:
        MultiColourText = IsOne(first) ? 1 : 0;
        break;
    case kModeImportLastRowId:
        ImportLastRowId = atoi(first);
        break;
    case kModeImportPassword:
        DecodeInto(LocalCipher, first, ImportFilePassword);
        break;
    case kModeRemarkVersion:
        RemarkSchemaVersion = strtod(first, NULL);
        break;
    case kModeRemarkPassword:
        DecodeInto(LocalCipher, first, RemarkPassword);
        break;
    case kModeRemarkOfPlate:
        OnRemarkRow(columnCount, values);
        break;
    case kModeImportRemarkRow:
        CopyPlainSlots(columnCount, values, RemarkSchemaVersion == 1000 ? 6 : 7);
        break;
    case kModeClearedPurged:
        ClearedPlatesPurged = IsOne(first) ? 1 : 0;
        break;
    case kModeEmail:
        DecodeInto(LocalCipher, first, EmailText);
        break;
    }
    return 0;
}
