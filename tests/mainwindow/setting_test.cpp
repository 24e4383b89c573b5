// The Setting and Email Setting dialogs of the real Korvane.exe, driven
// from this process: the three ways in, a close that leaves the books as
// they were, and every choice read back after a restart.
#include <windows.h>

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

const wchar_t kDiary[] = L"C:\\KorvaneDiary.db";
const wchar_t kInit[] = L"C:\\KorvaneInit.db";

// C2 of a PRS/PRI key of a book on drive C, read while the program runs.
std::string Key(const wchar_t *book, const char *table, const char *key) {
    std::string value = "<none>";
    sqlite3 *db = NULL;
    if (sqlite3_open_v2(testsupport::Utf8(book).c_str(), &db, SQLITE_OPEN_READONLY, NULL) == SQLITE_OK) {
        sqlite3_busy_timeout(db, 2000);
        char *sql = sqlite3_mprintf("select C2 from %s where C1 = '%q'", table, key);
        sqlite3_stmt *stmt = NULL;
        if (sqlite3_prepare_v2(db, sql, -1, &stmt, NULL) == SQLITE_OK && sqlite3_step(stmt) == SQLITE_ROW) {
            const unsigned char *text = sqlite3_column_text(stmt, 0);
            value = text != NULL ? (const char *)text : "";
        }
        sqlite3_finalize(stmt);
        sqlite3_free(sql);
    }
    sqlite3_close(db);
    return value;
}

std::wstring Decode(const std::string &field) {
    WCHAR plain[kPlainBytes];
    DecodeField(LocalCipher, field.c_str(), plain);
    return plain;
}

// The file change counter of a book's header (bytes 24-27, big-endian):
// every transaction that writes moves it on.
unsigned ChangeCounter(const wchar_t *book) {
    HANDLE file = CreateFileW(book, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                              OPEN_EXISTING, 0, NULL);
    if (file == INVALID_HANDLE_VALUE) return 0;
    unsigned char header[28] = {0};
    DWORD read = 0;
    ReadFile(file, header, sizeof header, &read, NULL);
    CloseHandle(file);
    return (unsigned)header[24] << 24 | (unsigned)header[25] << 16 | (unsigned)header[26] << 8 | header[27];
}

bool WaitGone(HWND window) {
    for (int i = 0; i < 500 && IsWindow(window); i++) Sleep(20);
    return !IsWindow(window);
}

bool Checked(HWND dialog, int id) {
    return SendMessageW(driver::FindControl(dialog, id), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

class Setting : public testing::Test {
  protected:
    static void SetUpTestSuite() { KeyCipherContexts(); }

    void SetUp() override {
        folder_ = L"C:\\KorvaneSetting\\";
        ASSERT_TRUE(testsupport::PrepareProgramFolder(folder_));
        std::string error;
        ASSERT_EQ(datatool::MakeDataFile((folder_ + L"KorvaneData.db").c_str(), 20, 3, &error), 0) << error;
        ASSERT_TRUE(Start());
    }

    void TearDown() override {
        Stop();
        testsupport::RemoveTree(folder_);
    }

    bool Start() {
        program_.set_folder(folder_);
        main_ = program_.Start() ? program_.main() : NULL;
        return main_ != NULL;
    }

    // Closes the program as the agent does; its shutdown stores the
    // location and the e-mail address.
    void Stop() {
        program_.Stop();
        main_ = NULL;
    }

    void Restart() {
        Stop();
        ASSERT_TRUE(Start());
    }

    HWND WaitForDialog(const wchar_t *caption) { return program_.WaitForDialog(caption); }

    HWND OpenSetting() {
        PostMessageW(main_, WM_COMMAND, MAKEWPARAM(IDM_SETTING, 0), 0);
        return WaitForDialog(L"Korvane Setting");
    }

    // Closes a dialog with its close box and waits until it is gone.
    static bool CloseBox(HWND dialog) {
        PostMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
        return WaitGone(dialog);
    }

    std::wstring Text(int id) { return driver::GetText(driver::FindControl(main_, id)); }

    int FocusedId() {
        GUITHREADINFO info = {};
        info.cbSize = sizeof info;
        DWORD thread = GetWindowThreadProcessId(main_, NULL);
        if (!GetGUIThreadInfo(thread, &info) || info.hwndFocus == NULL) return 0;
        return GetDlgCtrlID(info.hwndFocus);
    }

    bool WaitForFocus(int id) {
        for (int i = 0; i < 200; i++) {
            if (FocusedId() == id) return true;
            Sleep(20);
        }
        return false;
    }

    // The top of a main-window control, in the main window's client area.
    int ControlTop(int id) {
        RECT rect;
        GetWindowRect(driver::FindControl(main_, id), &rect);
        POINT corner = {rect.left, rect.top};
        ScreenToClient(main_, &corner);
        return corner.y;
    }

    std::wstring folder_;
    testsupport::ProgramRun program_;
    HWND main_ = NULL;
};

TEST_F(Setting, ButtonMenuAndCtrlSOpenItAndAnUntouchedCloseChangesNoBook) {
    struct Way {
        const char *name;
        void (*open)(HWND main);
    } ways[] = {
        {"Setting button", [](HWND main) { driver::PostClick(driver::FindControl(main, IDC_BIG_SETTING)); }},
        {"menu item", [](HWND main) { PostMessageW(main, WM_COMMAND, MAKEWPARAM(IDM_SETTING, 0), 0); }},
        {"Ctrl+S", [](HWND main) { driver::PressCtrlKey(main, 'S'); }},
    };
    for (const Way &way : ways) {
        SCOPED_TRACE(way.name);
        unsigned diary = ChangeCounter(kDiary), init = ChangeCounter(kInit);
        way.open(main_);
        HWND dialog = WaitForDialog(L"Korvane Setting");
        ASSERT_NE(dialog, (HWND)NULL);
        EXPECT_EQ(driver::GetText(driver::FindControl(dialog, IDC_SETTING_LANGUAGE_GROUP)), L"Bahasa Yang Digunakan");
        EXPECT_TRUE(Checked(dialog, IDC_SETTING_MALAY));
        EXPECT_EQ(driver::GetText(driver::FindControl(dialog, IDC_SETTING_STORAGE_PLACE)), L"C:\\");
        EXPECT_EQ(driver::GetText(driver::FindControl(dialog, IDC_SETTING_SEARCH_USING)), L"Papan Kekunci/KeyBoard");
        ASSERT_TRUE(CloseBox(dialog));
        driver::Settle(main_);
        EXPECT_EQ(ChangeCounter(kDiary), diary) << "the diary is unchanged";
        EXPECT_EQ(ChangeCounter(kInit), init) << "the init book is unchanged";
        EXPECT_TRUE(WaitForFocus(IDC_PLATE_ENTRY)) << "focus on " << FocusedId();
    }
}

TEST_F(Setting, EveryChoiceIsStoredAndReadBackAfterARestart) {
    EXPECT_EQ(ControlTop(IDC_RESULT), 124);
    HWND dialog = OpenSetting();
    ASSERT_NE(dialog, (HWND)NULL);
    EXPECT_TRUE(Checked(dialog, IDC_SETTING_SOUND) && !Checked(dialog, IDC_SETTING_HUGE_RESULT) &&
                Checked(dialog, IDC_SETTING_MULTI_COLOUR))
        << "a new diary: sound on, huge result off, multi colour on";
    for (int id : {IDC_SETTING_ENGLISH, IDC_SETTING_SOUND, IDC_SETTING_HUGE_RESULT, IDC_SETTING_MULTI_COLOUR}) {
        driver::Click(driver::FindControl(dialog, id));
    }
    ASSERT_TRUE(CloseBox(dialog));
    EXPECT_EQ(Key(kDiary, "PRS", "B"), "1");
    EXPECT_EQ(Key(kDiary, "PRS", "SND"), "0");
    EXPECT_EQ(Key(kDiary, "PRS", "HRS"), "1");
    EXPECT_EQ(Key(kDiary, "PRS", "MCT"), "0");
    EXPECT_EQ(Text(IDC_FIND), L"Find") << "relabelled at once";

    Restart();
    EXPECT_EQ(Text(IDC_FIND), L"Find");
    EXPECT_EQ(Text(IDC_DATA_VERSION).substr(0, 14), L"Data Version: ");
    EXPECT_EQ(ControlTop(IDC_RESULT), 1) << "the huge result box at the top";
    dialog = OpenSetting();
    ASSERT_NE(dialog, (HWND)NULL);
    EXPECT_EQ(driver::GetText(driver::FindControl(dialog, IDC_SETTING_LANGUAGE_GROUP)), L"Language Used");
    EXPECT_TRUE(Checked(dialog, IDC_SETTING_ENGLISH));
    EXPECT_FALSE(Checked(dialog, IDC_SETTING_MALAY));
    EXPECT_FALSE(Checked(dialog, IDC_SETTING_SOUND));
    EXPECT_TRUE(Checked(dialog, IDC_SETTING_HUGE_RESULT));
    EXPECT_FALSE(Checked(dialog, IDC_SETTING_MULTI_COLOUR));
    for (int id : {IDC_SETTING_MALAY, IDC_SETTING_SOUND, IDC_SETTING_HUGE_RESULT, IDC_SETTING_MULTI_COLOUR}) {
        driver::Click(driver::FindControl(dialog, id));
    }
    ASSERT_TRUE(CloseBox(dialog));
    EXPECT_EQ(Key(kDiary, "PRS", "B"), "0");
    EXPECT_EQ(Key(kDiary, "PRS", "SND"), "1");
    EXPECT_EQ(Key(kDiary, "PRS", "HRS"), "0");
    EXPECT_EQ(Key(kDiary, "PRS", "MCT"), "1");

    Restart();
    EXPECT_EQ(Text(IDC_FIND), L"Cari");
    EXPECT_EQ(ControlTop(IDC_RESULT), 124);
    dialog = OpenSetting();
    ASSERT_NE(dialog, (HWND)NULL);
    EXPECT_TRUE(Checked(dialog, IDC_SETTING_MALAY));
    EXPECT_TRUE(Checked(dialog, IDC_SETTING_SOUND));
    EXPECT_FALSE(Checked(dialog, IDC_SETTING_HUGE_RESULT));
    EXPECT_TRUE(Checked(dialog, IDC_SETTING_MULTI_COLOUR));
    ASSERT_TRUE(CloseBox(dialog));
    EXPECT_EQ(Decode(Key(kInit, "PRI", "DSP")), L"C:\\");
    EXPECT_EQ(Decode(Key(kDiary, "PRS", "SU")), L"Papan Kekunci/KeyBoard");
}

TEST_F(Setting, EmailFieldOpensEmailSettingAndTheAddressSurvivesARestart) {
    HWND email = driver::FindControl(main_, IDC_EMAIL);
    ASSERT_NE(email, (HWND)NULL);
    EXPECT_EQ(driver::GetText(email), L"") << "a new diary has no address";
    // A click on the field gives it the focus, which opens the dialog.
    PostMessageW(email, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    PostMessageW(email, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    HWND dialog = WaitForDialog(L"Email Setting");
    ASSERT_NE(dialog, (HWND)NULL);
    const std::wstring address = L"agen.utara@example.my";
    driver::SetText(driver::FindControl(dialog, IDC_EMAILSET_ADDRESS), address);
    driver::PostClick(driver::FindControl(dialog, IDC_EMAILSET_OK));
    ASSERT_TRUE(WaitGone(dialog));
    driver::Settle(main_);
    EXPECT_EQ(driver::GetText(email), address);
    EXPECT_TRUE(WaitForFocus(IDC_PLATE_ENTRY)) << "focus on " << FocusedId();
    EXPECT_EQ(driver::WaitForWindow(program_.pid(), L"#32770", L"Email Setting", 500), (HWND)NULL)
        << "the field does not take the focus back and reopen the dialog";

    Restart();
    EXPECT_EQ(Decode(Key(kDiary, "PRS", "EML")), address) << "stored at shutdown";
    EXPECT_EQ(driver::GetText(driver::FindControl(main_, IDC_EMAIL)), address);
}

}  // namespace
