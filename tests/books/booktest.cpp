#include "booktest.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include "cipher.h"
#include "datastore.h"
#include "mainwindow.h"
#include "sqlite3.h"
#include "testsupport.h"

namespace booktest {

int QuestionAnswer = IDYES;

namespace {

std::string Field(const std::wstring &text) {
    char field[kCipherFieldBytes];
    EncodeField(LocalCipher, text.c_str(), field);
    return field;
}

std::wstring Plain(const char *field) {
    WCHAR plain[kPlainBytes];
    DecodeField(LocalCipher, field != NULL ? field : "", plain);
    return plain;
}

}  // namespace

void AddRemark(const std::wstring &plate, const std::wstring &savedAt, const std::wstring &followUp,
               const std::wstring &bank, const std::wstring &remark, const std::wstring &arrears,
               const std::wstring &lastPayment) {
    ASSERT_NE(RemarkDb, (sqlite3 *)NULL);
    sqlite3_stmt *stmt = NULL;
    ASSERT_EQ(sqlite3_prepare_v2(RemarkDb, "INSERT INTO VLS VALUES(?,?,?,?,?,?,?)", -1, &stmt, NULL), SQLITE_OK);
    const std::string values[7] = {Field(plate),  Field(arrears), Field(lastPayment),
                                   Field(bank),   Field(remark),  testsupport::Utf8(savedAt),
                                   testsupport::Utf8(followUp)};
    for (int i = 0; i < 7; i++) sqlite3_bind_text(stmt, i + 1, values[i].c_str(), -1, SQLITE_TRANSIENT);
    EXPECT_EQ(sqlite3_step(stmt), SQLITE_DONE);
    sqlite3_finalize(stmt);
}

int AnswerMessage(HWND owner, const WCHAR *text, const WCHAR *caption, UINT type) {
    live::RecordMessage(owner, text, caption, type);
    return (type & MB_YESNO) == MB_YESNO ? QuestionAnswer : IDOK;
}

void BookWindowTest::SetUp() {
    LiveMainWindow::SetUp();
    MessageBoxHook = AnswerMessage;
    QuestionAnswer = IDYES;
    UseEnglish = 1;
}

void ClickRow(HWND dialog, HWND list, int row) {
    LVITEMW state = {};
    state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    state.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(list, LVM_SETITEMSTATE, (WPARAM)row, (LPARAM)&state);
    NMITEMACTIVATE click = {};
    click.hdr.hwndFrom = list;
    click.hdr.idFrom = (UINT_PTR)GetDlgCtrlID(list);
    click.hdr.code = NM_CLICK;
    click.iItem = row;
    SendMessageW(dialog, WM_NOTIFY, click.hdr.idFrom, (LPARAM)&click);
}

bool TypeThenEscape(HWND dialog, int fieldId, const std::wstring &text) {
    HWND field = GetDlgItem(dialog, fieldId);
    SetWindowTextW(field, L"");
    for (wchar_t c : text) SendMessageW(field, WM_CHAR, c, 0);
    live::PressKeys(dialog, field, {VK_ESCAPE});
    return IsWindowVisible(dialog) != FALSE;
}

std::wstring Cell(HWND list, int row, int subItem) {
    WCHAR text[512] = {0};
    LVITEMW item = {};
    item.iSubItem = subItem;
    item.pszText = text;
    item.cchTextMax = ARRAYSIZE(text);
    SendMessageW(list, LVM_GETITEMTEXTW, (WPARAM)row, (LPARAM)&item);
    return text;
}

std::wstring Text(HWND dialog, int id) {
    WCHAR text[512] = {0};
    GetDlgItemTextW(dialog, id, text, ARRAYSIZE(text));
    return text;
}

void Click(HWND dialog, int id) { SendMessageW(GetDlgItem(dialog, id), BM_CLICK, 0, 0); }

std::wstring IsoDate(const SYSTEMTIME &t) {
    WCHAR text[16];
    swprintf(text, 16, L"%04d-%02d-%02d", t.wYear, t.wMonth, t.wDay);
    return text;
}

SYSTEMTIME AddDays(const SYSTEMTIME &t, int days) {
    FILETIME ft;
    SystemTimeToFileTime(&t, &ft);
    ULARGE_INTEGER v;
    v.LowPart = ft.dwLowDateTime;
    v.HighPart = ft.dwHighDateTime;
    v.QuadPart += (ULONGLONG)((LONGLONG)days * 864000000000LL);
    ft.dwLowDateTime = v.LowPart;
    ft.dwHighDateTime = v.HighPart;
    SYSTEMTIME out;
    FileTimeToSystemTime(&ft, &out);
    return out;
}

std::vector<std::wstring> RemarkRow(const std::wstring &plate) {
    std::vector<std::wstring> row;
    sqlite3_stmt *stmt = NULL;
    if (RemarkDb == NULL ||
        sqlite3_prepare_v2(RemarkDb, "select * from VLS where C1 = ?", -1, &stmt, NULL) != SQLITE_OK)
        return row;
    std::string field = Field(plate);
    sqlite3_bind_text(stmt, 1, field.c_str(), -1, SQLITE_TRANSIENT);
    if (sqlite3_step(stmt) == SQLITE_ROW) {
        for (int i = 0; i < 7; i++) {
            const char *text = (const char *)sqlite3_column_text(stmt, i);
            if (i < 5) {
                row.push_back(Plain(text));
            } else {
                WCHAR wide[256] = {0};
                MultiByteToWideChar(CP_UTF8, 0, text ? text : "", -1, wide, 256);
                row.push_back(wide);
            }
        }
    }
    sqlite3_finalize(stmt);
    return row;
}

}  // namespace booktest
