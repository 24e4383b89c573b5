// The input filters and the focus chain, on real controls carrying the main
// window's ids in a window of this test.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "listviewbox.h"
#include "mainwindow.h"
#include "resource.h"
#include "testsupport.h"

namespace {

std::vector<int> Clicks;

LRESULT CALLBACK HostProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_COMMAND && HIWORD(wParam) == BN_CLICKED) Clicks.push_back(LOWORD(wParam));
    return DefWindowProcW(window, msg, wParam, lParam);
}

class Filters : public testing::Test {
  protected:
    void SetUp() override {
        host_ = CreateWindowExW(0, testsupport::TestWindowClass(L"FilterTestHost", HostProc), L"host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0,
                                900, 700, NULL, NULL, GetModuleHandleW(NULL), NULL);
        ASSERT_NE(host_, (HWND)NULL);
        MainWindow = host_;
        SetForegroundWindow(host_);
        for (int id : {IDC_PLATE_ENTRY, IDC_LOCATION, IDC_ARREARS, IDC_LASTPAY_DAY, IDC_LASTPAY_YEAR,
                       IDC_FINANCIER, IDC_FOLLOWUP_DAY, IDC_FOLLOWUP_YEAR}) {
            Edit(id, ES_AUTOHSCROLL | ES_UPPERCASE);
        }
        Edit(IDC_REMARK, ES_MULTILINE | ES_UPPERCASE);
        for (int id : {IDC_LASTPAY_MONTH, IDC_FOLLOWUP_MONTH}) {
            HWND combo = Child(L"COMBOBOX", id, CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, 260);
            for (const wchar_t *m : {L"", L"Jan", L"Feb", L"Mar", L"Apr", L"May", L"Jun", L"Jul",
                                     L"Aug", L"Sep", L"Oct", L"Nov", L"Dec"}) {
                SendMessageW(combo, CB_ADDSTRING, 0, (LPARAM)m);
            }
            ASSERT_TRUE(InstallInputFilter(combo));
        }
        for (int id : {IDC_FIND, IDC_SAVE, IDC_DELETE_PLATE}) Child(L"BUTTON", id, BS_PUSHBUTTON, 20);
        contacts_.ListViewBoxCreate(host_, GetModuleHandleW(NULL), kListContact, 2, 400, 500, 100, 1);
        ASSERT_TRUE(InstallInputFilter(contacts_.list));
        PlateEntryEdit = GetDlgItem(host_, IDC_PLATE_ENTRY);
        LocationEdit = GetDlgItem(host_, IDC_LOCATION);
        Clicks.clear();
    }
    void TearDown() override {
        DestroyWindow(host_);
        MainWindow = NULL;
        PlateEntryEdit = LocationEdit = NULL;
    }

    HWND Child(const wchar_t *cls, int id, DWORD style, int height) {
        HWND w = CreateWindowExW(0, cls, L"", WS_CHILD | WS_VISIBLE | WS_BORDER | style, 10,
                                 10 + 30 * (id % 20), 200, height, host_, (HMENU)(INT_PTR)id,
                                 GetModuleHandleW(NULL), NULL);
        EXPECT_NE(w, (HWND)NULL);
        return w;
    }
    void Edit(int id, DWORD style) { EXPECT_TRUE(InstallInputFilter(Child(L"EDIT", id, style, 25))); }

    HWND Control(int id) { return GetDlgItem(host_, id); }
    void Type(int id, const std::wstring &text) {
        for (wchar_t c : text) SendMessageW(Control(id), WM_CHAR, c, 1);
    }
    std::wstring Text(int id) {
        wchar_t buffer[256] = {0};
        GetWindowTextW(Control(id), buffer, ARRAYSIZE(buffer));
        return buffer;
    }
    int FocusId() { return GetDlgCtrlID(GetFocus()); }

    HWND host_ = NULL;
    ListViewBox contacts_;
};

TEST_F(Filters, CharactersEachFieldKeeps) {
    struct Case {
        int id;
        std::wstring typed, kept;
    } cases[] = {
        {IDC_PLATE_ENTRY, L"wa 1-2'3b\x16\x03z", L"WA123BZ"},  // Ctrl+V, Ctrl+C dropped
        {IDC_PLATE_ENTRY, L"AB\bC", L"AC"},                     // Backspace passes
        {IDC_LOCATION, L"Jalan 'Ampang' | KL", L"JALAN AMPANG  KL"},
        {IDC_FINANCIER, L"D'Cruz|Leasing", L"DCRUZLEASING"},
        {IDC_ARREARS, L"12.5a", L"12.5"},
        {IDC_LASTPAY_DAY, L"3.x1", L"31"},
        {IDC_LASTPAY_YEAR, L"20.24", L"2024"},
        {IDC_FOLLOWUP_YEAR, L"2o25", L"225"},
        {IDC_REMARK, L"it's|fine", L"ITSFINE"},
    };
    for (const Case &c : cases) {
        SetWindowTextW(Control(c.id), L"");
        Type(c.id, c.typed);
        EXPECT_EQ(Text(c.id), c.kept) << c.id;
    }
    EXPECT_TRUE(Clicks.empty());
}

TEST_F(Filters, MonthCombosPickByDigit) {
    for (int id : {IDC_LASTPAY_MONTH, IDC_FOLLOWUP_MONTH}) {
        Type(id, L"7");
        EXPECT_EQ(SendMessageW(Control(id), CB_GETCURSEL, 0, 0), 7) << id;
        Type(id, L"0");
        EXPECT_EQ(SendMessageW(Control(id), CB_GETCURSEL, 0, 0), 7) << "'0' selects nothing";
        Type(id, L"9");
        EXPECT_EQ(SendMessageW(Control(id), CB_GETCURSEL, 0, 0), 9) << id;
    }
}

TEST_F(Filters, TabAndEnterWalkTheFocusChain) {
    struct Case {
        int from;
        wchar_t key;
        int focus;
    } cases[] = {
        {IDC_PLATE_ENTRY, L'\t', IDC_LOCATION},      {IDC_LOCATION, L'\t', IDC_REMARK},
        {IDC_LOCATION, L'\r', IDC_REMARK},           {IDC_ARREARS, L'\t', IDC_LASTPAY_DAY},
        {IDC_LASTPAY_DAY, L'\r', IDC_LASTPAY_MONTH}, {IDC_LASTPAY_MONTH, L'\t', IDC_LASTPAY_YEAR},
        {IDC_LASTPAY_YEAR, L'\t', IDC_FINANCIER},    {IDC_FINANCIER, L'\r', IDC_REMARK},
        {IDC_REMARK, L'\t', IDC_FOLLOWUP_DAY},       {IDC_FOLLOWUP_DAY, L'\t', IDC_FOLLOWUP_MONTH},
        {IDC_FOLLOWUP_MONTH, L'\r', IDC_FOLLOWUP_YEAR}, {IDC_FOLLOWUP_YEAR, L'\t', IDC_PLATE_ENTRY},
    };
    for (const Case &c : cases) {
        SetFocus(Control(c.from));
        Type(c.from, std::wstring(1, c.key));
        EXPECT_EQ(FocusId(), c.focus) << c.from << " key " << (int)c.key;
    }
    EXPECT_TRUE(Clicks.empty()) << "no field but the plate entry and the remark clicks";

    SetWindowTextW(LocationEdit, L"JALAN AMPANG");
    SetFocus(PlateEntryEdit);
    Type(IDC_PLATE_ENTRY, L"\t");
    DWORD start = 0, end = 0;
    SendMessageW(LocationEdit, EM_GETSEL, (WPARAM)&start, (LPARAM)&end);
    EXPECT_EQ(start, 0u);
    EXPECT_EQ(end, 12u) << "Tab from the plate entry selects the whole location";
}

TEST_F(Filters, EnterAndF4Click) {
    SetFocus(PlateEntryEdit);
    Type(IDC_PLATE_ENTRY, L"WA1\r");
    EXPECT_EQ(Clicks, std::vector<int>{IDC_FIND});
    EXPECT_EQ(Text(IDC_PLATE_ENTRY), L"WA1");

    Clicks.clear();
    SendMessageW(PlateEntryEdit, WM_KEYDOWN, VK_F4, 1);
    EXPECT_EQ(Clicks, std::vector<int>{IDC_DELETE_PLATE});

    Clicks.clear();
    SetWindowTextW(Control(IDC_REMARK), L"");
    SetFocus(Control(IDC_REMARK));
    Type(IDC_REMARK, L"CALL BACK\r");
    EXPECT_EQ(Clicks, std::vector<int>{IDC_SAVE});
    EXPECT_EQ(Text(IDC_REMARK), L"CALL BACK") << "Enter saves, never a line break";
    EXPECT_EQ(FocusId(), IDC_PLATE_ENTRY);
}

TEST_F(Filters, TypingInTheContactListLandsInThePlateEntry) {
    SetWindowTextW(PlateEntryEdit, L"");
    SetFocus(contacts_.list);
    SendMessageW(contacts_.list, WM_CHAR, L'w', 1);
    SendMessageW(contacts_.list, WM_CHAR, L'-', 1);
    SendMessageW(contacts_.list, WM_CHAR, L'9', 1);
    EXPECT_EQ(FocusId(), IDC_PLATE_ENTRY);
    EXPECT_EQ(Text(IDC_PLATE_ENTRY), L"W9") << "the plate entry's filter still applies";
}

}  // namespace
