// The diary password through the real Korvane.exe, driven from this
// process: Ctrl+D on a fresh install sets a password up, and after a
// restart asks for it; a wrong one closes the dialog, the right one goes on.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "cipher.h"
#include "datatool.h"
#include "driver.h"
#include "programrun.h"
#include "resource.h"
#include "sqlite3.h"
#include "testsupport.h"

namespace {

const wchar_t kDiary[] = L"C:\\KorvaneDiary.db";
const wchar_t kRemark[] = L"C:\\LastRemark.db";

// The 'D' key of a book on drive C, deciphered, read while the program runs.
std::wstring StoredPassword(const wchar_t *book) {
    std::wstring value = L"<none>";
    sqlite3 *db = NULL;
    if (sqlite3_open_v2(testsupport::Utf8(book).c_str(), &db, SQLITE_OPEN_READONLY, NULL) == SQLITE_OK) {
        sqlite3_busy_timeout(db, 2000);
        sqlite3_stmt *stmt = NULL;
        if (sqlite3_prepare_v2(db, "select C2 from PRS where C1 = 'D'", -1, &stmt, NULL) == SQLITE_OK &&
            sqlite3_step(stmt) == SQLITE_ROW) {
            const unsigned char *text = sqlite3_column_text(stmt, 0);
            WCHAR plain[kPlainBytes];
            DecodeField(LocalCipher, text != NULL ? (const char *)text : "", plain);
            value = plain;
        }
        sqlite3_finalize(stmt);
    }
    sqlite3_close(db);
    return value;
}

// Waits until a dialog has ended: gone, or hidden while the window it
// opened runs.
bool WaitGone(HWND window, int ms) {
    for (int i = 0; i < ms / 20 && IsWindow(window) && IsWindowVisible(window); i++) Sleep(20);
    return !IsWindow(window) || !IsWindowVisible(window);
}

class DiaryPassword : public testing::Test {
  protected:
    static void SetUpTestSuite() { KeyCipherContexts(); }

    void SetUp() override {
        folder_ = L"C:\\KorvanePassword\\";
        for (const wchar_t *book : {kDiary, kRemark, L"C:\\KorvaneInit.db"}) DeleteFileW(book);
        ASSERT_TRUE(testsupport::PrepareProgramFolder(folder_));
        std::string error;
        ASSERT_EQ(datatool::MakeDataFile((folder_ + L"KorvaneData.db").c_str(), 20, 3, &error), 0) << error;
        ASSERT_TRUE(Start());
    }

    void TearDown() override {
        Stop();
        testsupport::RemoveTree(folder_);
        for (const wchar_t *book : {kDiary, kRemark, L"C:\\KorvaneInit.db"}) DeleteFileW(book);
    }

    bool Start() {
        program_.set_folder(folder_);
        main_ = program_.Start() ? program_.main() : NULL;
        return main_ != NULL;
    }

    void Stop() {
        program_.Stop();
        main_ = NULL;
    }

    // Ctrl+D, and the password dialog that it opens.
    HWND OpenWithCtrlD() {
        driver::PressCtrlKey(main_, 'D');
        return program_.WaitForDialog(L"Diary Password");
    }

    std::wstring folder_;
    testsupport::ProgramRun program_;
    HWND main_ = NULL;
};

TEST_F(DiaryPassword, SetUpOnAFreshInstallThenAskedForAfterARestart) {
    HWND dialog = OpenWithCtrlD();
    ASSERT_NE(dialog, (HWND)NULL);
    ASSERT_NE(driver::FindControl(dialog, IDC_PWSET_FIRST), (HWND)NULL) << "the set-up dialog";
    EXPECT_EQ(driver::GetText(driver::FindControl(dialog, IDC_PWSET_PROMPT1)), L"Sila masukkan password diary anda:");
    driver::TypeText(driver::FindControl(dialog, IDC_PWSET_FIRST), L"rahsia 7");
    driver::TypeText(driver::FindControl(dialog, IDC_PWSET_SECOND), L"RAHSIA7");
    driver::PostClick(driver::FindControl(dialog, IDC_PWSET_OK));
    ASSERT_TRUE(WaitGone(dialog, 15000));
    EXPECT_EQ(StoredPassword(kDiary), L"RAHSIA7") << "the blank was not taken";
    EXPECT_EQ(StoredPassword(kRemark), L"RAHSIA7");

    Stop();
    ASSERT_TRUE(Start());
    dialog = OpenWithCtrlD();
    ASSERT_NE(dialog, (HWND)NULL);
    EXPECT_EQ(driver::FindControl(dialog, IDC_PWSET_FIRST), (HWND)NULL);
    HWND edit = driver::FindControl(dialog, IDC_PWENTRY_PASSWORD);
    ASSERT_NE(edit, (HWND)NULL) << "the entry dialog";
    EXPECT_FALSE(IsWindowVisible(driver::FindControl(dialog, IDC_PWENTRY_KEEP_LATEST)));
    driver::TypeText(edit, L"rahsia8");
    driver::PostClick(driver::FindControl(dialog, IDC_PWENTRY_OK));
    HWND line = driver::FindControl(dialog, IDC_PWENTRY_MSGBOX);
    for (int i = 0; i < 100 && !IsWindowVisible(line); i++) Sleep(20);
    // The program sleeps while the line shows: read the text the system
    // keeps for the control, without a message to the busy program.
    WCHAR text[128] = {0};
    InternalGetWindowText(line, text, ARRAYSIZE(text));
    EXPECT_STREQ(text, L"\r\nPassword yang dimasukkan adalah tidak betul.");
    ASSERT_TRUE(WaitGone(dialog, 10000)) << "a wrong password closes the dialog";

    dialog = OpenWithCtrlD();
    ASSERT_NE(dialog, (HWND)NULL);
    driver::TypeText(driver::FindControl(dialog, IDC_PWENTRY_PASSWORD), L"Rahsia7");
    DWORD start = GetTickCount();
    driver::PostClick(driver::FindControl(dialog, IDC_PWENTRY_OK));
    ASSERT_TRUE(WaitGone(dialog, 10000));
    EXPECT_LT(GetTickCount() - start, 2500u) << "the right password goes on at once";
    EXPECT_EQ(StoredPassword(kDiary), L"RAHSIA7");
}

}  // namespace
