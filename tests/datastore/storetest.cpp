#include "storetest.h"

#include <commctrl.h>
#include <strsafe.h>

#include "cipher.h"
#include "datastore.h"
#include "listviewbox.h"
#include "mainwindow.h"
#include "resource.h"
#include "sqlexec.h"
#include "sqlite3.h"
#include "testsupport.h"

namespace storetest {

std::vector<Message> Messages;

static int RecordMessage(HWND, const WCHAR *text, const WCHAR *caption, UINT type) {
    Messages.push_back({text ? text : L"", caption ? caption : L"", type});
    return IDOK;
}

Recorder::Recorder() {
    Messages.clear();
    MessageBoxHook = RecordMessage;
}

Recorder::~Recorder() { MessageBoxHook = NULL; }

void CloseAllConnections() {
    sqlite3 **all[] = {&DataDb, &InitDb, &DiaryDb, &RemarkDb, &TempDiaryDb, &ImportDb};
    for (sqlite3 **db : all) {
        if (*db != NULL) sqlite3_close(*db);
        *db = NULL;
    }
}

static void ResetStoreState() {
    CloseAllConnections();
    MainWindow = NULL;
    PlateEntryEdit = NULL;
    LocationEdit = NULL;
    FoundVehicleList.ListViewBoxReset();
    DiaryList.ListViewBoxReset();
    ResultList.ListViewBoxReset();
    RemarkToScreen = 1;
    StatementFailureEnding = 0;
    VehicleFound = 0;
    RemarkPresent = 0;
    SoundOnFound = 0;
    HugeResultSize = 0;
    UseEnglish = 0;
    DiaryPassword[0] = 0;
    LocationText[0] = 0;
    DataVersionUpdate[0] = 0;
    for (auto &entry : FindHistory) entry[0] = 0;
}

void StoreTest::SetUp() {
    KeyCipherContexts();
    ResetStoreState();
    Messages.clear();
    StringCchCopyW(InitDbPath, kPathChars, File(L"KorvaneInit.db").c_str());
    StringCchCopyW(DiaryDbPath, kPathChars, File(L"KorvaneDiary.db").c_str());
    StringCchCopyW(TempDiaryDbPath, kPathChars, File(L"Temp_KorvaneDiary.db").c_str());
    StringCchCopyW(RemarkDbPath, kPathChars, File(L"LastRemark.db").c_str());
    StringCchCopyW(DataDbPath, kPathChars, File(L"KorvaneData.db").c_str());
}

void StoreTest::TearDown() { ResetStoreState(); }

static LRESULT CALLBACK FakeMainProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_DESTROY) {
        CloseAllConnections();
        if (MainWindow == window) MainWindow = NULL;
        return 0;
    }
    return DefWindowProcW(window, msg, wParam, lParam);
}

FakeMainWindow::FakeMainWindow() {
    hwnd_ = CreateWindowExW(0, testsupport::TestWindowClass(L"KorvaneStoreTestMain", FakeMainProc), L"main", WS_OVERLAPPEDWINDOW, 0, 0, 1000, 760,
                            NULL, NULL, GetModuleHandleW(NULL), NULL);
    MainWindow = hwnd_;
}

FakeMainWindow::~FakeMainWindow() {
    FoundVehicleList.ListViewBoxReset();
    ResultList.ListViewBoxReset();
    LocationEdit = NULL;
    if (IsWindow(hwnd_)) DestroyWindow(hwnd_);
    if (MainWindow == hwnd_) MainWindow = NULL;
}

HWND FakeMainWindow::Add(const wchar_t *cls, int id, DWORD style) {
    return CreateWindowExW(0, cls, L"", WS_CHILD | WS_VISIBLE | style, 0, 0, 100, 300, hwnd_,
                           (HMENU)(INT_PTR)id, GetModuleHandleW(NULL), NULL);
}

void FakeMainWindow::AddResultControls() {
    static const int kStatics[] = {IDC_HIT_COUNT, IDC_RESULT, IDC_PLATE, IDC_LAST_SAVED};
    static const int kEdits[] = {IDC_ARREARS, IDC_LASTPAY_DAY, IDC_LASTPAY_YEAR, IDC_FINANCIER,
                                 IDC_REMARK, IDC_FOLLOWUP_DAY, IDC_FOLLOWUP_YEAR};
    for (int id : kStatics) Add(L"STATIC", id);
    for (int id : kEdits) Add(L"EDIT", id);
    for (int id : {IDC_LASTPAY_MONTH, IDC_FOLLOWUP_MONTH}) {
        HWND combo = Add(L"COMBOBOX", id, CBS_DROPDOWNLIST);
        static const wchar_t *const kItems[] = {L"",    L"Jan", L"Feb", L"Mar", L"Apr", L"May", L"Jun",
                                                L"Jul", L"Aug", L"Sep", L"Oct", L"Nov", L"Dec"};
        for (const wchar_t *item : kItems) SendMessageW(combo, CB_ADDSTRING, 0, (LPARAM)item);
        SendMessageW(combo, CB_SETCURSEL, 0, 0);
    }
    HWND cancel = Add(L"BUTTON", IDC_DELETE_REMARK);
    ShowWindow(cancel, SW_HIDE);
    LocationEdit = Add(L"EDIT", IDC_LOCATION);
    FoundVehicleList.ListViewBoxCreate(hwnd_, GetModuleHandleW(NULL), kListFoundVehicle, 0, 0, 400, 300, 1);
}

std::wstring FakeMainWindow::Text(int id) const {
    wchar_t text[512] = {0};
    GetWindowTextW(GetDlgItem(hwnd_, id), text, ARRAYSIZE(text));
    return text;
}

int FakeMainWindow::ComboSelection(int id) const {
    return (int)SendMessageW(GetDlgItem(hwnd_, id), CB_GETCURSEL, 0, 0);
}

std::string U8(const std::wstring &text) { return testsupport::Utf8(text); }

std::string LocalField(const std::wstring &text) {
    char field[kCipherFieldBytes];
    EncodeField(LocalCipher, text.c_str(), field);
    return field;
}

std::string DataField(const std::wstring &text) {
    char field[kCipherFieldBytes];
    EncodeField(DataCipher, text.c_str(), field);
    return field;
}

std::wstring LocalPlain(const std::string &field) {
    WCHAR plain[kPlainBytes];
    DecodeField(LocalCipher, field.c_str(), plain);
    return plain;
}

}  // namespace storetest
