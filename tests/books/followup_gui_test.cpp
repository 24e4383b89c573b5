// Start-up of the real Korvane.exe with a follow-up that is due: the
// FollowUp window comes before the main window, Save from it clears the
// follow-up, and the next start shows nothing.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cipher.h"
#include "datatool.h"
#include "driver.h"
#include "programrun.h"
#include "resource.h"
#include "sqlite3.h"
#include "testsupport.h"

namespace {

const wchar_t kRemarkBook[] = L"C:\\LastRemark.db";
const DWORD kStartTimeoutMs = testsupport::kProgramStartMs;

// A real mouse click at a point of the screen. The pointer is moved there
// first and the click waits until it is there (the display may still move
// it to where it stood when a window appeared under it); the press and the
// release carry the point too.
void ClickScreen(int x, int y) {
    SetCursorPos(x, y);
    DWORD start = GetTickCount();
    for (;;) {
        POINT at = {};
        GetCursorPos(&at);
        if ((at.x == x && at.y == y) || GetTickCount() - start >= 5000) break;
        Sleep(20);
        SetCursorPos(x, y);
    }
    int width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
    INPUT input[2] = {};
    for (INPUT &event : input) {
        event.type = INPUT_MOUSE;
        event.mi.dx = (LONG)((((LONGLONG)x << 16) + width - 1) / width);
        event.mi.dy = (LONG)((((LONGLONG)y << 16) + height - 1) / height);
    }
    input[0].mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_LEFTDOWN;
    input[1].mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_LEFTUP;
    SendInput(2, input, sizeof(INPUT));
}

std::wstring WaitForText(HWND control, const std::wstring &expected, DWORD timeoutMs) {
    DWORD start = GetTickCount();
    std::wstring text = driver::GetText(control);
    while (text != expected && GetTickCount() - start < timeoutMs) {
        Sleep(50);
        text = driver::GetText(control);
    }
    return text;
}

std::string Field(const std::wstring &text) {
    char field[kCipherFieldBytes];
    EncodeField(LocalCipher, text.c_str(), field);
    return field;
}

// A program folder named name with a data file, and a new remark book
// that holds the rows that sql inserts.
void PrepareStart(const std::wstring &name, const std::string &sql, std::wstring *folder) {
    CreateDirectoryW(L"C:\\KorvaneTests\\", NULL);
    *folder = L"C:\\KorvaneTests\\" + name + L"\\";
    ASSERT_TRUE(testsupport::PrepareProgramFolder(*folder));
    std::string error;
    ASSERT_EQ(datatool::MakeDataFile((*folder + L"KorvaneData.db").c_str(), 20, 3, &error), 0) << error;
    ASSERT_EQ(datatool::MakeRemarkFile(kRemarkBook, 1002, 0, {}, &error), 0) << error;
    testsupport::CheckDb book(kRemarkBook);
    ASSERT_EQ(book.Exec(sql), SQLITE_OK) << book.message();
}

TEST(FollowUpAtStartup, DueRowShownSavedAndGoneAtTheNextStart) {
    KeyCipherContexts();
    std::wstring folder;
    {
        std::string rows = "INSERT INTO VLS VALUES('" + Field(L"DUE7") + "','" + Field(L"2") + "','','" +
                           Field(L"BANK RAKYAT") + "','" + Field(L"CALL HIM") +
                           "','2026-01-01 09:00:00','2020-02-02');"
                           "INSERT INTO VLS VALUES('" + Field(L"LATER8") + "','','','','','2026-01-02 09:00:00','2099-01-01');";
        ASSERT_NO_FATAL_FAILURE(PrepareStart(L"followup", rows, &folder));
    }

    // Each run is stopped when the test stops early, so that the next test
    // can start its own single instance.
    testsupport::ProgramRun program(folder), again(folder);
    ASSERT_TRUE(program.Launch());
    HWND dialog = program.WaitForDialog(L"Korvane FollowUp", kStartTimeoutMs);
    ASSERT_NE(dialog, (HWND)NULL);
    EXPECT_EQ(program.WaitForMain(0), (HWND)NULL) << "before the main window";
    HWND list = driver::FindControl(dialog, 1222);
    auto rows = driver::ReadListView(list);
    ASSERT_EQ(rows.size(), 1u);
    ASSERT_GE(rows[0].size(), 8u);
    EXPECT_EQ(rows[0][1], L"02 Feb 2020");
    EXPECT_EQ(rows[0][2], L"DUE7");
    EXPECT_EQ(rows[0][5], L"BANK RAKYAT");

    // A click on the row fills the fields. It goes where the screen shows
    // the row once the window is in front and stays where it is.
    SetForegroundWindow(dialog);
    RECT header = {}, area = {}, before = {}, now = {};
    POINT row = {};
    DWORD start = GetTickCount();
    for (;;) {
        GetWindowRect(dialog, &before);
        Sleep(50);
        GetWindowRect(dialog, &now);
        GetWindowRect((HWND)SendMessageW(list, LVM_GETHEADER, 0, 0), &header);
        GetWindowRect(list, &area);
        row = {area.left + 40, header.bottom + 7};
        bool ready = GetForegroundWindow() == dialog && EqualRect(&before, &now) && WindowFromPoint(row) == list;
        if (ready || GetTickCount() - start >= 5000) break;
    }
    ClickScreen(row.x, row.y);
    ASSERT_EQ(WaitForText(driver::FindControl(dialog, 1011), L"DUE7", 5000), L"DUE7");
    EXPECT_EQ(driver::GetText(driver::FindControl(dialog, 1029)), L"2020");

    driver::SetText(driver::FindControl(dialog, 1027), L"");
    driver::SetText(driver::FindControl(dialog, 1029), L"");
    SendMessageW(driver::FindControl(dialog, 1028), CB_SETCURSEL, 0, 0);
    driver::PostClick(driver::FindControl(dialog, 1023));
    HWND main = program.WaitForMain(kStartTimeoutMs);
    ASSERT_NE(main, (HWND)NULL) << "saving the last due row closes the window and start-up goes on";
    ASSERT_TRUE(program.Stop());

    auto stored = testsupport::ReadBookRows(kRemarkBook, "select C7 from VLS order by rowid");
    ASSERT_EQ(stored.size(), 2u);
    EXPECT_EQ(stored[0][0], "NULL");
    EXPECT_EQ(stored[1][0], "2099-01-01");

    ASSERT_TRUE(again.Launch());
    main = again.WaitForMain(kStartTimeoutMs);
    ASSERT_NE(main, (HWND)NULL);
    EXPECT_TRUE(driver::FindTopWindows(again.pid(), L"#32770", L"Korvane FollowUp").empty());
    ASSERT_TRUE(again.Stop());
    DeleteFileW(kRemarkBook);
    testsupport::RemoveTree(folder);
}

// The agent clicks the due row and presses Enter twice: the row is saved,
// no question comes up, and the remark stays in the book.
TEST(FollowUpAtStartup, ClickOnTheRowThenEnterEnterKeepsTheRemark) {
    KeyCipherContexts();
    std::wstring folder;
    ASSERT_NO_FATAL_FAILURE(PrepareStart(L"followup-enter",
                                         "INSERT INTO VLS VALUES('" + Field(L"KEEP9") + "','','','','" +
                                             Field(L"CALL HIM") + "','2026-01-01 09:00:00','2020-02-02');",
                                         &folder));

    testsupport::ProgramRun program(folder);
    ASSERT_TRUE(program.Launch());
    HWND dialog = program.WaitForDialog(L"Korvane FollowUp", kStartTimeoutMs);
    ASSERT_NE(dialog, (HWND)NULL);
    HWND list = driver::FindControl(dialog, 1222);
    RECT header = {}, area = {};
    GetWindowRect((HWND)SendMessageW(list, LVM_GETHEADER, 0, 0), &header);
    GetWindowRect(list, &area);
    SetForegroundWindow(dialog);
    ClickScreen(area.left + 40, header.bottom + 7);
    ASSERT_EQ(WaitForText(driver::FindControl(dialog, 1011), L"KEEP9", 5000), L"KEEP9");

    driver::PressKey(list, VK_RETURN);
    driver::PressKey(list, VK_RETURN);
    // A question would come as a second dialog over the window.
    HWND question = NULL;
    for (int i = 0; i < 30 && question == NULL; i++) {
        for (HWND window : driver::FindTopWindows(program.pid(), L"#32770", NULL))
            if (window != dialog && IsWindowVisible(window)) question = window;
        if (question == NULL) Sleep(50);
    }
    EXPECT_EQ(question, (HWND)NULL) << testsupport::Utf8(driver::GetText(driver::FindControl(question, 0xFFFF)));
    if (question != NULL) PostMessageW(question, WM_COMMAND, MAKEWPARAM(IDNO, BN_CLICKED), 0);
    std::vector<std::vector<std::string>> stored;
    for (int i = 0; i < 100; i++) {
        stored = testsupport::ReadBookRows(kRemarkBook, "select C6, C7 from VLS");
        if (!stored.empty() && stored[0][0] != "2026-01-01 09:00:00") break;
        Sleep(50);
    }
    ASSERT_EQ(stored.size(), 1u) << "the remark is still in the book";
    EXPECT_NE(stored[0][0], "2026-01-01 09:00:00") << "Enter saved the row";
    EXPECT_EQ(stored[0][1], "2020-02-02");
    EXPECT_TRUE(IsWindowVisible(dialog)) << "the row is still due";

    PostMessageW(dialog, WM_CLOSE, 0, 0);
    HWND main = program.WaitForMain(kStartTimeoutMs);
    ASSERT_NE(main, (HWND)NULL);
    EXPECT_TRUE(program.Stop());
    DeleteFileW(kRemarkBook);
    testsupport::RemoveTree(folder);
}

}  // namespace
