// The main window: the program's start-up, its painting and colours, its
// commands and its shutdown.
#include <winsock2.h>

#include <windows.h>

#include <string.h>
#include <strsafe.h>
#include <wchar.h>

#include <initializer_list>

#include "bookcheck.h"
#include "bookjob.h"
#include "books.h"
#include "cipher.h"
#include "datastore.h"
#include "dbfiles.h"
#include "iconbutton.h"
#include "mainwindow.h"
#include "phonelink.h"
#include "resource.h"
#include "schema.h"
#include "sqlexec.h"
#include "textbutton.h"
#include "textutil.h"
#include "update.h"

HWND MainWindow;
HFONT MainFonts[kMainFontCount];
HICON ButtonIcons[kButtonIconCount];
HBRUSH MainBrushes[kMainBrushCount];
HBITMAP BannerBitmap;
HBITMAP LogoBitmap;
ShutdownReasonFn ShutdownReasonHook;

namespace {

// Set while Windows was told why the session may not end yet.
bool ShutdownBlocked;

// Set once the shutdown has run, so a second WM_DESTROY changes nothing.
bool ShutdownDone;

const WCHAR kDataFileName[] = L"KorvaneData.db";
const WCHAR kInitFileName[] = L"KorvaneInit.db";
const WCHAR kDiaryFileName[] = L"KorvaneDiary.db";
const WCHAR kRemarkFileName[] = L"LastRemark.db";
const double kProgramVersion = 14.9;

// The books as start-up checks them before opening them.
const BookFile kInitBook = {InitDbPath, L"KorvaneInit - DAMAGED", "PRI", false, false};
const BookFile kDiaryBook = {DiaryDbPath, L"KorvaneDiary - DAMAGED", "PRS", true, true};
const BookFile kRemarkBook = {RemarkDbPath, L"LastRemark - DAMAGED", "PRS", true, true};

// ---- Start-up --------------------------------------------------------------------

// Shows a start-up failure and destroys the main window; its WM_DESTROY
// runs the shutdown and posts WM_QUIT. Books set aside before are told
// first. Returns false for the caller to hand on.
bool StopStartUp(HWND window, const WCHAR *text, const WCHAR *caption, UINT icon) {
    ShowSetAsideNotice(window);
    ShowMessageBox(window, text, caption, MB_OK | icon);
    DestroyWindow(window);
    return false;
}

bool StopCouldNotOpen(HWND window, const WCHAR *file) {
    WCHAR text[kTextChars];
    StringCchPrintfW(text, ARRAYSIZE(text),
                     UseEnglish ? L"Could not open database[%ls]" : L"Tidak dapat membuka database[%ls]", file);
    return StopStartUp(window, text, L"Error", MB_ICONHAND);
}

// Still going: the window was not destroyed by a failed statement.
bool Alive(HWND window) { return MainWindow == window && IsWindow(window); }

void CreateMainFonts() {
    static const struct {
        int height, weight;
    } kFonts[kMainFontCount] = {{100, 400}, {75, 400}, {40, 400}, {20, 400}, {21, 700},
                                {15, 400},  {30, 400}, {90, 400}, {30, 400}};
    for (int i = 0; i < kMainFontCount; i++) {
        LOGFONTW lf;
        ZeroMemory(&lf, sizeof lf);
        lf.lfHeight = kFonts[i].height;
        lf.lfWeight = kFonts[i].weight;
        lf.lfCharSet = OEM_CHARSET;
        StringCchCopyW(lf.lfFaceName, ARRAYSIZE(lf.lfFaceName), L"Arial");
        MainFonts[i] = CreateFontIndirectW(&lf);
    }
}

void ClearReadOnlyAttribute(const WCHAR *path) {
    DWORD attributes = GetFileAttributesW(path);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
        SetFileAttributesW(path, attributes & ~FILE_ATTRIBUTE_READONLY);
}

bool FileExists(const WCHAR *path) { return GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES; }

// Ends start-up for a damaged data file, which stays as it was found.
bool StopDamagedData(const char *detail) {
    WCHAR text[kTextChars];
    AnsiToWide(detail, text, ARRAYSIZE(text));
    StopForDamagedData(text);
    return false;
}

// The data file is checked as far as a search needs it: a hot journal
// beside it played back, then its header, its schema, its lookup index and
// a lookup.
bool OpenDataDatabase(HWND window) {
    if (!FileExists(DataDbPath)) {
        WCHAR text[kTextChars];
        StringCchPrintfW(text, ARRAYSIZE(text), UseEnglish ? L"File[%ls] does not exist" : L"File[%ls] tidak wujud",
                         kDataFileName);
        return StopStartUp(window, text, ErrorCaption(), MB_ICONHAND);
    }
    char detail[kTextChars];
    // A journal that could not be played back leaves the header unjudged:
    // the engine's own open meets it.
    bool judged = RollBackHotJournal(DataDbPath) != kJournalKept;
    if (judged && IsDamagedFileCode(CheckDataFileHeader(DataDbPath, detail, sizeof detail)))
        return StopDamagedData(detail);
    DWORD attributes = GetFileAttributesW(DataDbPath);
    ClearReadOnlyAttribute(DataDbPath);
    OpenOrCreateBookConnection(&DataDb, DataDbPath);
    if (DataDb == NULL) return StopCouldNotOpen(window, kDataFileName);
    if (IsDamagedFileCode(CheckDataConnection(DataDb, detail, sizeof detail))) {
        if (attributes & FILE_ATTRIBUTE_READONLY) SetFileAttributesW(DataDbPath, attributes);
        return StopDamagedData(detail);
    }
    SetUpDataBookReads(DataDb);
    return true;
}

// Checks a book before it is opened (PrepareBookFile): an empty one is
// made afresh, a damaged one set aside and noted for the agent. Returns
// the book's state; kBookStuck has stopped start-up.
int PrepareStartBook(HWND window, const BookFile &book, int which, const WCHAR *name) {
    int state = PrepareBookFile(book, SetAsidePaths[which]);
    if (state == kBookStuck) StopCouldNotOpen(window, name);
    return state;
}

bool OpenInitDatabase(HWND window) {
    int state = PrepareStartBook(window, kInitBook, kStartInit, kInitFileName);
    if (state == kBookStuck) return false;
    if (state == kBookReady) {
        OpenOrCreateBookConnection(&InitDb, InitDbPath);
    } else {
        CreateInitDatabase(window);
    }
    if (!Alive(window)) return false;
    ZeroMemory(DiaryStoragePlace, sizeof DiaryStoragePlace);
    SelectSql(InitDb, L"select C2 from PRI where C1 ='DSP'", kModeStoragePlace);
    return Alive(window);
}

bool OpenDiaryDatabase(HWND window) {
    int state = PrepareStartBook(window, kDiaryBook, kStartDiary, kDiaryFileName);
    if (state == kBookStuck) return false;
    if (state == kBookReady) {
        OpenOrCreateBookConnection(&DiaryDb, DiaryDbPath);
    } else {
        CreateDiaryDatabase(window);
    }
    if (!Alive(window)) return false;
    if (DiaryDb == NULL) return StopCouldNotOpen(window, kDiaryFileName);

    DiarySchemaVersion = 0;
    SelectSql(DiaryDb, L"select C2 from PRS where C1 ='DSV'", kModeDiaryVersion);
    MigrateDiaryToCurrent(window);
    if (!Alive(window)) return false;
    if (DiaryDb == NULL) return StopCouldNotOpen(window, kDiaryFileName);
    return true;
}

bool ReadDataSettings(HWND window) {
    StringCchCopyW(DataVersionPatch, ARRAYSIZE(DataVersionPatch), L"FACTORY");
    SelectSql(DataDb, L"select C2 from PRD where C1 ='DVP'", kModeDataVersionPatch);
    SelectSql(DataDb, L"select C2 from PRD where C1 ='DV'", kModeDataVersion);
    SelectSql(DataDb, L"select C2 from PRD where C1 ='DVR'", kModeDataVersionUpdate);
    SelectSql(DataDb, L"select C2 from PRD where C1 ='CE'", kModeRequiredVersion);
    if (!Alive(window)) return false;
    if (RequiredProgramVersion > kProgramVersion) {
        return StopStartUp(window,
                           UseEnglish ? L"Please update your Korvane Software, it is already obsolete."
                                      : L"Sila upgrade software Korvane anda kerana ianya telah ketinggalan zaman.",
                           L"", MB_ICONINFORMATION);
    }
    return Alive(window);
}

void ReadDiarySettings() {
    SelectSql(DiaryDb, L"select C2 from PRS where C1 ='FH1'", kModeFindHistory1);
    SelectSql(DiaryDb, L"select C2 from PRS where C1 ='FH2'", kModeFindHistory1 + 1);
    SelectSql(DiaryDb, L"select C2 from PRS where C1 ='FH3'", kModeFindHistory1 + 2);
    SelectSql(DiaryDb, L"select C2 from PRS where C1 ='LOC'", kModeLocation);
    SelectSql(DiaryDb, L"select C2 from PRS where C1 ='D'", kModeDiaryPassword);
    ZeroMemory(SearchUsing, sizeof SearchUsing);
    SelectSql(DiaryDb, L"select C2 from PRS where C1 ='SU'", kModeSearchUsing);
    SelectSql(DiaryDb, L"select C2 from PRS where C1 ='B'", kModeLanguage);
    SelectSql(DiaryDb, L"select C2 from PRS where C1 ='SND'", kModeSound);
    SelectSql(DiaryDb, L"select C2 from PRS where C1 ='HRS'", kModeHugeResult);
    SelectSql(DiaryDb, L"select C2 from PRS where C1 ='MCT'", kModeMultiColour);
    SelectSql(DiaryDb, L"select C2 from PRS where C1 ='EML'", kModeEmail);
}

bool OpenRemarkDatabase(HWND window) {
    int state = PrepareStartBook(window, kRemarkBook, kStartRemark, kRemarkFileName);
    if (state == kBookStuck) return false;
    if (state == kBookReady) {
        OpenOrCreateBookConnection(&RemarkDb, RemarkDbPath);
    } else {
        CreateRemarkDatabase(window);
    }
    if (!Alive(window)) return false;
    if (RemarkDb == NULL) return StopCouldNotOpen(window, kRemarkFileName);

    RemarkSchemaVersion = 0;
    SelectSql(RemarkDb, L"select C2 from PRS where C1 ='DSV'", kModeRemarkVersion);
    double version = RemarkSchemaVersion;
    MigrateRemarkToCurrent(window);
    if (!Alive(window)) return false;
    if (version == 0 || RemarkDb == NULL) return StopCouldNotOpen(window, kRemarkFileName);

    SelectSql(RemarkDb, L"select C2 from PRS where C1 ='D'", kModeRemarkPassword);
    if (RemarkPassword[0] == 0 && DiaryPassword[0] != 0) {
        // The remark book takes the diary's password until it has its own.
        char field[kCipherFieldBytes];
        EncodeField(LocalCipher, DiaryPassword, field);
        WCHAR statement[kStatementChars];
        StringCchPrintfW(statement, ARRAYSIZE(statement), L"update PRS set C2 = '%hs' where C1 = 'D'", field);
        ExecInTransaction(&RemarkDb, statement);
        StringCchCopyW(RemarkPassword, ARRAYSIZE(RemarkPassword), DiaryPassword);
    }
    return Alive(window);
}

void LoadButtonIcons() {
    static const int kIcons[kButtonIconCount] = {
        IDI_BUTTON_DIARY,       IDI_BUTTON_SETTING, IDI_BUTTON_DIARY_PASSWORD,
        IDI_BUTTON_UPDATE_DIARY, IDI_BUTTON_BACKUP_DIARY, IDI_BUTTON_IMPORT_DIARY,
        IDI_BUTTON_FIND,        IDI_BUTTON_REMARK,  IDI_BUTTON_IMPORT_REMARK,
    };
    for (int i = 0; i < kButtonIconCount; i++) {
        if (ButtonIcons[i] == NULL) {
            ButtonIcons[i] = (HICON)LoadImageW(AppInstance, MAKEINTRESOURCEW(kIcons[i]), IMAGE_ICON, 48, 48, 0);
        }
    }
}

void CreateMainBrushes() {
    MainBrushes[kBrushFace] = CreateSolidBrush(GetSysColor(COLOR_BTNFACE));
    MainBrushes[kBrushWhite] = CreateSolidBrush(RGB(255, 255, 255));
    MainBrushes[kBrushLightYellow] = CreateSolidBrush(0xAFFFFF);
    MainBrushes[kBrushLightGreen] = CreateSolidBrush(0xAEF5C3);
    MainBrushes[kBrushYellow] = CreateSolidBrush(0x5FFDEF);
}

LRESULT MainWindow_OnCreate(HWND window) {
    MainWindow = window;
    ShutdownDone = false;
    StatementFailureEnding = 0;
    DamagedDataShown = 0;
    for (WCHAR *path : SetAsidePaths) path[0] = 0;
    CenterWindowOnScreen(window);
    CreateMainFonts();
    KeyCipherContexts();

    WCHAR folder[kPathChars];
    GetProgramFolder(folder);
    BuildDatabasePaths(folder);
    if (!OpenDataDatabase(window) || !OpenInitDatabase(window) || !OpenDiaryDatabase(window) ||
        !ReadDataSettings(window)) {
        return 0;
    }
    ReadDiarySettings();
    if (!Alive(window) || !OpenRemarkDatabase(window)) return 0;
    ShowSetAsideNotice(window);

    LoadButtonIcons();
    CreateMainControls(window);
    BannerBitmap = LoadBitmapW(AppInstance, MAKEINTRESOURCEW(IDB_BANNER));

    DWORD error = 0;
    if (!CreatePhoneConnectionMutex(&error)) {
        WCHAR text[64];
        StringCchPrintfW(text, ARRAYSIZE(text), L"CreateMex failed, error: %d.\n", (int)error);
        ShowMessageBox(window, text, L"Error", MB_OK);
    }
    FillMainTexts();
    for (int i = 0; i < kContactLineCount; i++) {
        WCHAR query[64];
        StringCchPrintfW(query, ARRAYSIZE(query), L"select C2 from PRD where C1 = 'CP%d'", i + 1);
        SelectSql(DataDb, query, kModeContactLine1 + i);
    }
    FillStartScreen();
    LogoBitmap = LoadBitmapW(AppInstance, MAKEINTRESOURCEW(IDB_LOGO));
    GetWindowsVersionText(PlatformText, ARRAYSIZE(PlatformText));
    CreateMainBrushes();
    if (!Alive(window)) return 0;

    SetForegroundWindow(window);
    ShowFollowUpWindow(window);
    return 0;
}

// ---- Shutdown --------------------------------------------------------------------

// Stores a field's text, enciphered, under a diary key. Done only while the
// field exists: a start-up that stopped early must not wipe what is stored.
void StoreFieldInDiary(HWND field, const WCHAR *key, bool dropApostrophes) {
    if (field == NULL || DiaryDb == NULL) return;
    WCHAR text[kTextChars];
    GetWindowTextW(field, text, ARRAYSIZE(text));
    if (dropApostrophes) RemoveCharacter(text, L'\'');
    char cipher[kCipherFieldBytes];
    EncodeField(LocalCipher, text, cipher);
    WCHAR statement[kStatementChars];
    StringCchPrintfW(statement, ARRAYSIZE(statement), L"update PRS set C2 = '%hs' where C1 = '%ls'", cipher, key);
    ExecInTransaction(&DiaryDb, statement);
}

template <typename T, size_t N> void DeleteAll(T (&objects)[N]) {
    for (T &object : objects) {
        if (object != NULL) DeleteObject(object);
        object = NULL;
    }
}

void MainWindow_OnDestroy() {
    if (ShutdownDone) return;
    ShutdownDone = true;
    StoreFieldInDiary(LocationEdit, L"LOC", true);
    StoreFieldInDiary(MainControl(IDC_EMAIL), L"EML", false);

    for (HICON &icon : ButtonIcons) {
        if (icon != NULL) DestroyIcon(icon);
        icon = NULL;
    }
    DeleteAll(MainBrushes);
    DeleteAll(MainFonts);
    for (HBITMAP *bitmap : {&BannerBitmap, &LogoBitmap}) {
        if (*bitmap != NULL) DeleteObject(*bitmap);
        *bitmap = NULL;
    }
    CloseBookConnection(&DataDb);
    CloseBookConnection(&DiaryDb);
    CloseBookConnection(&InitDb);
    CloseBookConnection(&RemarkDb);
    ShutDownHandphoneLink(2000);
    MainWindow = NULL;
    PlateEntryEdit = NULL;
    LocationEdit = NULL;
    PostQuitMessage(0);
}

// ---- Painting and colours ----------------------------------------------------------

void MainWindow_OnPaint(HWND window) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(window, &ps);
    if (BannerBitmap != NULL) {
        HDC memory = CreateCompatibleDC(dc);
        HGDIOBJ old = SelectObject(memory, BannerBitmap);
        BITMAP info;
        GetObjectW(BannerBitmap, sizeof info, &info);
        int x = SmallScreen ? 200 : 470;
        int y = SmallScreen ? SmallScreenShift + 517 : 625;
        BitBlt(dc, x, y, info.bmWidth, info.bmHeight, memory, 0, 0, SRCCOPY);
        SelectObject(memory, old);
        DeleteDC(memory);
    }
    UpdateWindow(MainControl(IDC_FIND_HISTORY));
    PaintFindHistory();
    EndPaint(window, &ps);
}

HBRUSH Paint(HDC dc, COLORREF text, MainBrush brush, COLORREF background) {
    SetBkMode(dc, OPAQUE);
    SetTextColor(dc, text);
    SetBkColor(dc, background);
    return MainBrushes[brush];
}

LRESULT MainWindow_OnColourStatic(HDC dc, int id) {
    const COLORREF face = GetSysColor(COLOR_BTNFACE);
    switch (id) {
    case IDC_FIND_HISTORY:
    case IDC_ARREARS_LABEL:
    case IDC_FINANCIER_LABEL:
    case IDC_LAST_SAVED:
        return (LRESULT)Paint(dc, RGB(0, 0, 255), kBrushFace, face);
    case IDC_UPDATE_STATUS:
        return (LRESULT)Paint(dc, UpdateStatusColour, kBrushFace, face);
    case IDC_RESULT:
        SetBkMode(dc, OPAQUE);
        SetBkColor(dc, RGB(255, 255, 255));
        return (LRESULT)MainBrushes[kBrushWhite];
    case IDC_HIT_COUNT:
    case IDC_STATUS_LINE:
    case IDC_START_MESSAGE:
    case IDC_DATA_VERSION:
    case IDC_PLATE_LABEL:
    case IDC_DATE_LABEL:
    case IDC_REMARK_LABEL:
    case IDC_FOLLOWUP_LABEL:
    case IDC_GPS_STATUS:
        return (LRESULT)Paint(dc, RGB(255, 0, 0), kBrushFace, face);
    case IDC_LINK_STATUS:
        return (LRESULT)Paint(dc, RGB(190, 50, 180), kBrushFace, face);
    case IDC_EMAIL_NOTE:
        return (LRESULT)Paint(dc, RGB(0, 128, 0), kBrushFace, face);
    }
    return 0;
}

LRESULT MainWindow_OnColourEdit(HDC dc, int id) {
    switch (id) {
    case IDC_ARREARS:
    case IDC_LASTPAY_DAY:
    case IDC_LASTPAY_MONTH:
    case IDC_LASTPAY_YEAR:
    case IDC_FINANCIER:
    case IDC_REMARK:
    case IDC_FOLLOWUP_DAY:
    case IDC_FOLLOWUP_MONTH:
    case IDC_FOLLOWUP_YEAR:
        if (RemarkPresent == 1) return (LRESULT)Paint(dc, RGB(255, 0, 0), kBrushLightYellow, 0xAFFFFF);
        return (LRESULT)Paint(dc, GetSysColor(COLOR_BTNTEXT), kBrushWhite, RGB(255, 255, 255));
    case IDC_LOCATION:
        if (HandphoneLinkOn.load() == 1) {
            LONG alive = 0;
            if (PhoneConnectionMutex != NULL && WaitForSingleObject(PhoneConnectionMutex, 100) != WAIT_TIMEOUT) {
                alive = GpsFixAlive;
                ReleaseMutex(PhoneConnectionMutex);
            }
            if (alive == 1) return (LRESULT)Paint(dc, GetSysColor(COLOR_BTNTEXT), kBrushLightGreen, 0xAEF5C3);
            return (LRESULT)Paint(dc, GetSysColor(COLOR_BTNTEXT), kBrushYellow, 0x5FFDEF);
        }
        return (LRESULT)Paint(dc, GetSysColor(COLOR_BTNTEXT), kBrushWhite, RGB(255, 255, 255));
    }
    return 0;
}

LRESULT MainWindow_OnDrawItem(const DRAWITEMSTRUCT *item) {
    int id = (int)item->CtlID;
    if (id >= IDC_BIG_BUTTON_FIRST && id <= IDC_BIG_BUTTON_LAST) {
        // Icons 15003-15008 and 15010-15011; 15009 is Find's.
        int index = id - IDC_BIG_BUTTON_FIRST;
        DrawIconButton(item, item->hwndItem, ButtonIcons[index < 6 ? index : index + 1]);
        return TRUE;
    }
    switch (id) {
    case IDC_FIND:
        DrawIconButton(item, item->hwndItem, ButtonIcons[6]);
        return TRUE;
    case IDC_GPS:
        DrawTextButton(item, item->hwndItem, HandphoneLinkOn.load() == 1 ? RGB(36, 143, 36) : RGB(255, 0, 0));
        return TRUE;
    case IDC_GET_IP:
        DrawTextButton(item, item->hwndItem, RGB(190, 50, 180));
        return TRUE;
    }
    return FALSE;
}

// ---- End of the session -----------------------------------------------------------

typedef BOOL(WINAPI *BlockReasonCreateFn)(HWND, LPCWSTR);
typedef BOOL(WINAPI *BlockReasonDestroyFn)(HWND);

// The system's call, looked up where it exists (Windows 6.0 and later).
template <typename Fn> Fn User32Call(const char *name) {
    HMODULE user32 = GetModuleHandleW(L"user32.dll");
    FARPROC proc = user32 != NULL ? GetProcAddress(user32, name) : NULL;
    Fn fn = NULL;
    static_assert(sizeof fn == sizeof proc, "function pointer sizes");
    if (proc != NULL) memcpy(&fn, &proc, sizeof proc);
    return fn;
}

void GiveShutdownReason(HWND window, const WCHAR *reason) {
    if (ShutdownReasonHook != NULL) {
        ShutdownReasonHook(window, reason);
    } else if (reason != NULL) {
        BlockReasonCreateFn create = User32Call<BlockReasonCreateFn>("ShutdownBlockReasonCreate");
        if (create != NULL) create(window, reason);
    } else {
        BlockReasonDestroyFn destroy = User32Call<BlockReasonDestroyFn>("ShutdownBlockReasonDestroy");
        if (destroy != NULL) destroy(window);
    }
}

// Windows asks whether the session may end. Not while a job or the update
// is in the middle of a change: the agent is told why and can let it
// finish. Anything else may end.
LRESULT MainWindow_OnQueryEndSession(HWND window) {
    if (BookTransactionOpen()) {
        GiveShutdownReason(window, UseEnglish ? L"Please wait. Korvane is still saving your data."
                                              : L"Sila tunggu. Korvane masih menyimpan data anda.");
        ShutdownBlocked = true;
        return FALSE;
    }
    ReleaseShutdownBlock();
    return TRUE;
}

// The session ends. With nothing under way the program shuts down as when
// it is closed (the location and e-mail are kept, the books closed); a
// change still under way (a forced end) is left to the engine's journal,
// which brings its book back as it was at the next start.
void MainWindow_OnEndSession(HWND window, bool ending) {
    if (!ending) {
        ReleaseShutdownBlock();
        return;
    }
    if (BookJobBusy || UpdateRunning || BookTransactionOpen()) return;
    DestroyWindow(window);
}

// ---- Commands --------------------------------------------------------------------

// Returns true when the command was handled here.
bool MainWindow_OnCommand(HWND window, int id, int code) {
    if (HandleGuardedCommand(window, id, code)) return true;
    switch (id) {
    case IDC_FIND:
        if (code == BN_CLICKED) FindPlate();
        return true;
    case IDC_PLATE_ENTRY:
        if (code == EN_CHANGE) OnPlateEntryChanged();
        return true;
    case IDC_SAVE:
        if (code == BN_CLICKED) SaveRemarkFields();
        return true;
    case IDC_DELETE_REMARK:
        if (code == BN_CLICKED) DeleteRemarkOfPlate();
        return true;
    case IDC_DELETE_PLATE:
        if (code == BN_CLICKED) UndoLastSearch();
        return true;
    case IDC_DELETE_ROW:
        if (code == BN_CLICKED) DeleteFoundVehicleRow();
        return true;
    case IDC_DELETE_ALL:
        if (code == BN_CLICKED) DeleteAllFoundVehicles();
        return true;
    case IDC_REMARK:
        if (code == EN_SETFOCUS) PostMessageW(MainControl(IDC_REMARK), EM_SETSEL, 0, -1);
        return true;
    case IDC_BIG_SETTING:
    case IDM_SETTING:
        OpenSettingDialog();
        return true;
    case IDC_EMAIL:
        if (code == EN_SETFOCUS) OpenEmailSetting();
        return true;
    case IDC_GPS:
        if (code == BN_CLICKED) {
            ToggleHandphoneLink();
            SetFocus(PlateEntryEdit);
        }
        return true;
    case IDC_DOWNLOAD_1:
    case IDC_DOWNLOAD_2:
        if (code == BN_CLICKED) {
            DownloadDataUpdate(id == IDC_DOWNLOAD_1 ? 1 : 2);
            SetFocus(PlateEntryEdit);
        }
        return true;
    }
    return false;
}

}  // namespace

bool BookTransactionOpen(void) {
    for (sqlite3 *db : {DataDb, DiaryDb, RemarkDb, InitDb, TempDiaryDb})
        if (db != NULL && !sqlite3_get_autocommit(db)) return true;
    return false;
}

void ReleaseShutdownBlock(void) {
    if (!ShutdownBlocked) return;
    ShutdownBlocked = false;
    if (MainWindow != NULL) GiveShutdownReason(MainWindow, NULL);
}

LRESULT CALLBACK MainWindowProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_CREATE:
        return MainWindow_OnCreate(window);
    case WM_DESTROY:
        MainWindow_OnDestroy();
        return 0;
    case WM_SIZE:
        LayoutMainWindow();
        return 0;
    case WM_ACTIVATE:
        if (PlateEntryEdit != NULL) SetFocus(PlateEntryEdit);
        return 0;
    case WM_PAINT:
        MainWindow_OnPaint(window);
        return 0;
    case WM_CLOSE:
        // Not while a job or the update runs: they end first.
        if (BookJobBusy == 0 && UpdateRunning == 0) DestroyWindow(window);
        return 0;
    case WM_QUERYENDSESSION:
        return MainWindow_OnQueryEndSession(window);
    case WM_ENDSESSION:
        MainWindow_OnEndSession(window, wParam != FALSE);
        return 0;
    case WM_SETTINGCHANGE:
        return 0;
    case WM_DRAWITEM:
        return MainWindow_OnDrawItem(reinterpret_cast<const DRAWITEMSTRUCT *>(lParam));
    case WM_CTLCOLORSTATIC:
        return MainWindow_OnColourStatic((HDC)wParam, GetDlgCtrlID((HWND)lParam));
    case WM_CTLCOLOREDIT:
        return MainWindow_OnColourEdit((HDC)wParam, GetDlgCtrlID((HWND)lParam));
    case WM_COMMAND:
        if (MainWindow_OnCommand(window, LOWORD(wParam), HIWORD(wParam))) return 0;
        break;
    }
    return DefWindowProcW(window, msg, wParam, lParam);
}
