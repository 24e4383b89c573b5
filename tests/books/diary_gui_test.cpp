// The diary through the real Korvane.exe, driven from this process as an
// agent would: the password set up and asked for, the Diary window's Show
// and Delete This Row, a second agent's diary imported through the file
// choice, and CleanUp run from the password dialog.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>
#include <stdio.h>

#include <algorithm>
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
const wchar_t kRemark[] = L"C:\\LastRemark.db";
const wchar_t kInit[] = L"C:\\KorvaneInit.db";
const wchar_t kPassword[] = L"KUNCI7";

// The list's columns that these tests read.
enum { kPlateCell = 1, kOwnerCell = 8 };

std::wstring Decode(const std::string &field) {
    WCHAR plain[kPlainBytes];
    DecodeField(LocalCipher, field.c_str(), plain);
    return plain;
}

// The plates of the diary's rows, deciphered, in rowid order ("" for a
// blanked row).
std::vector<std::wstring> DiaryPlates() {
    std::vector<std::wstring> plates;
    for (const auto &row : testsupport::ReadBookRows(kDiary, "select C3 from VLS order by rowid"))
        plates.push_back(Decode(row[0]));
    return plates;
}

// The diary's plates once they equal expected, or as they are after
// timeoutMs: a command answered in a message box goes on after the box.
std::vector<std::wstring> WaitForPlates(const std::vector<std::wstring> &expected, DWORD timeoutMs) {
    DWORD start = GetTickCount();
    std::vector<std::wstring> plates = DiaryPlates();
    while (plates != expected && GetTickCount() - start < timeoutMs) {
        Sleep(50);
        plates = DiaryPlates();
    }
    return plates;
}

// A visible dialog of process pid that is none of known (a message box
// over an open window), read as a message box; false when none came.
bool WaitForBoxOver(DWORD pid, const std::vector<HWND> &known, DWORD timeoutMs, driver::MessageBoxInfo *out) {
    DWORD start = GetTickCount();
    do {
        for (HWND window : driver::FindTopWindows(pid, L"#32770", NULL)) {
            if (!IsWindowVisible(window) || std::find(known.begin(), known.end(), window) != known.end()) continue;
            out->window = window;
            out->caption = driver::GetText(window);
            out->text = driver::GetText(driver::FindControl(window, 0xFFFF));
            return true;
        }
        Sleep(50);
    } while (GetTickCount() - start < timeoutMs);
    return false;
}

// Waits until a window's title ends with one of the two texts.
std::wstring WaitForTitleEnding(HWND window, const wchar_t *english, const wchar_t *malay, DWORD timeoutMs) {
    auto endsWith = [](const std::wstring &text, const std::wstring &tail) {
        return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
    };
    DWORD start = GetTickCount();
    std::wstring title;
    do {
        WCHAR text[256] = {0};
        InternalGetWindowText(window, text, ARRAYSIZE(text));
        title = text;
        if (endsWith(title, english) || endsWith(title, malay)) break;
        Sleep(100);
    } while (GetTickCount() - start < timeoutMs);
    return title;
}

class DiaryByHand : public testing::Test {
  protected:
    static void SetUpTestSuite() { KeyCipherContexts(); }

    void SetUp() override {
        folder_ = L"C:\\KorvaneDiaryByHand\\";
        for (const wchar_t *book : {kDiary, kRemark, kInit}) DeleteFileW(book);
        ASSERT_TRUE(testsupport::PrepareProgramFolder(folder_));
        std::string error;
        std::wstring data = folder_ + L"KorvaneData.db";
        ASSERT_EQ(datatool::MakeDataFile(data.c_str(), 50, 5, &error), 0) << error;
        std::vector<datatool::VehicleRecord> wanted = {
            {L"WA1234B", L"7", L"05 Feb 2024", L"MYVI 1.3 SILVER 2016", L"D'CRUZ LEASING SDN BHD"},
        };
        ASSERT_EQ(datatool::AddVehicles(data.c_str(), wanted, &error), 0) << error;
        ASSERT_TRUE(Start());
    }

    void TearDown() override {
        Stop();
        testsupport::RemoveTree(folder_);
        for (const wchar_t *book : {kDiary, kRemark, kInit}) DeleteFileW(book);
    }

    bool Start() {
        program_.set_folder(folder_);
        main_ = program_.Start() ? program_.main() : NULL;
        return main_ != NULL;
    }

    void Stop() {
        program_.CloseDialogs();
        program_.Stop();
        main_ = NULL;
    }

    void Find(const std::wstring &plate) { program_.Find(plate); }

    // Ctrl+D on a fresh install: the set-up dialog takes kPassword, and the
    // Diary window that follows is closed again.
    void SetUpPassword() {
        driver::PressCtrlKey(main_, 'D');
        HWND dialog = program_.WaitForDialogWith(IDC_PWSET_FIRST, 10000);
        ASSERT_NE(dialog, (HWND)NULL) << "Ctrl+D on a fresh install opens the set-up dialog";
        driver::TypeText(driver::FindControl(dialog, IDC_PWSET_FIRST), kPassword);
        driver::TypeText(driver::FindControl(dialog, IDC_PWSET_SECOND), kPassword);
        driver::PostClick(driver::FindControl(dialog, IDC_PWSET_OK));
        HWND diary = program_.WaitForDialogWith(IDC_DIARY_SHOW, 20000);
        ASSERT_NE(diary, (HWND)NULL) << "the Diary window follows the new password";
        CloseAndWait(diary);
    }

    // Ctrl+D, the password, and the Diary window that opens.
    HWND OpenDiary() {
        driver::PressCtrlKey(main_, 'D');
        HWND dialog = program_.WaitForDialogWith(IDC_PWENTRY_PASSWORD, 10000);
        if (dialog == NULL) {
            ADD_FAILURE() << "no password entry dialog";
            return NULL;
        }
        driver::TypeText(driver::FindControl(dialog, IDC_PWENTRY_PASSWORD), L"kunci7");
        driver::PostClick(driver::FindControl(dialog, IDC_PWENTRY_OK));
        HWND diary = program_.WaitForDialogWith(IDC_DIARY_SHOW, 20000);
        EXPECT_NE(diary, (HWND)NULL) << "the right password opens the Diary window";
        return diary;
    }

    // Show in the Diary window, and the rows of its list.
    std::vector<std::vector<std::wstring>> Show(HWND diary) {
        driver::Click(driver::FindControl(diary, IDC_DIARY_SHOW));
        driver::Settle(diary);
        return driver::ReadListView(driver::FindControl(diary, IDC_DIARY_LIST));
    }

    void CloseAndWait(HWND window) {
        PostMessageW(window, WM_CLOSE, 0, 0);
        for (int i = 0; i < 250 && IsWindow(window) && IsWindowVisible(window); i++) Sleep(20);
        ASSERT_FALSE(IsWindow(window) && IsWindowVisible(window));
    }

    std::wstring folder_;
    testsupport::ProgramRun program_;
    HWND main_ = NULL;
};

TEST_F(DiaryByHand, PasswordThenShowListsTheSearchesNewestFirstAndDeleteThisRowBlanksOne) {
    Find(L"WA1234B");
    Find(L"NOPE123");
    Find(L"BCD4455");
    ASSERT_NO_FATAL_FAILURE(SetUpPassword());

    Stop();
    ASSERT_TRUE(Start());
    HWND diary = OpenDiary();
    ASSERT_NE(diary, (HWND)NULL);
    EXPECT_EQ(driver::GetText(driver::FindControl(diary, IDC_DIARY_COUNT)), L"");
    auto rows = Show(diary);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0][kPlateCell], L"BCD4455") << "newest first";
    EXPECT_EQ(rows[1][kPlateCell], L"NOPE123");
    EXPECT_EQ(rows[2][kPlateCell], L"WA1234B");
    EXPECT_EQ(driver::GetText(driver::FindControl(diary, IDC_DIARY_COUNT)), L"3 baris");

    // Select the second row from the keyboard and delete it.
    HWND list = driver::FindControl(diary, IDC_DIARY_LIST);
    SetForegroundWindow(diary);
    SendMessageW(list, WM_SETFOCUS, 0, 0);
    driver::PressKey(list, VK_HOME);
    driver::PressKey(list, VK_DOWN);
    driver::Settle(diary);
    driver::PostClick(driver::FindControl(diary, IDC_DIARY_DELETE_ROW));
    driver::MessageBoxInfo box;
    ASSERT_TRUE(WaitForBoxOver(program_.pid(), {diary}, 10000, &box));
    EXPECT_NE(box.text.find(L"PlateNo = NOPE123"), std::wstring::npos) << testsupport::Utf8(box.text);
    ASSERT_TRUE(driver::AnswerMessageBox(box, IDYES));

    EXPECT_EQ(WaitForPlates({L"WA1234B", L"", L"BCD4455"}, 10000), (std::vector<std::wstring>{L"WA1234B", L"", L"BCD4455"}))
        << "only the selected row is blanked; rowids stay";
    rows = Show(diary);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[1][kPlateCell], L"");
    EXPECT_EQ(rows[0][kPlateCell], L"BCD4455");
    EXPECT_EQ(driver::GetText(driver::FindControl(diary, IDC_DIARY_COUNT)), L"3 baris");
    CloseAndWait(diary);

    // The program still logs searches.
    Find(L"WA1234B");
    EXPECT_EQ(WaitForPlates({L"WA1234B", L"", L"BCD4455", L"WA1234B"}, 10000).size(), 4u);
}

TEST_F(DiaryByHand, ImportDiaryOfASecondAgentThenTheDiaryWindowListsItsRowsWithTheOwner) {
    Find(L"WA1234B");
    ASSERT_NO_FATAL_FAILURE(SetUpPassword());
    CreateDirectoryW(L"C:\\KorvaneAgents\\", NULL);
    const std::wstring other = L"C:\\KorvaneAgents\\AgentTwoDiary.db";
    std::string error;
    ASSERT_EQ(datatool::MakeDiaryFile(other.c_str(), 15, 4, false, {{L"D", L"DUA2"}}, &error), 0) << error;
    std::vector<std::wstring> theirs;
    for (const auto &row : testsupport::ReadBookRows(other.c_str(), "select C3 from VLS order by rowid"))
        theirs.push_back(Decode(row[0]));
    ASSERT_EQ(theirs.size(), 4u);

    PostMessageW(main_, WM_COMMAND, MAKEWPARAM(IDM_IMPORT_DIARY, 0), 0);
    ASSERT_TRUE(testsupport::ChooseInFileDialog(program_.pid(), other));
    HWND dialog = program_.WaitForDialogWith(IDC_ID_OWN_PASSWORD, 15000);
    ASSERT_NE(dialog, (HWND)NULL) << "the Import Diary dialog";
    driver::TypeText(driver::FindControl(dialog, IDC_ID_OWN_PASSWORD), kPassword);
    driver::TypeText(driver::FindControl(dialog, IDC_ID_FILE_PASSWORD), L"DUA2");
    driver::TypeText(driver::FindControl(dialog, IDC_ID_OWNER), L"ALI");
    driver::PostClick(driver::FindControl(dialog, IDC_ID_START));
    std::wstring title = WaitForTitleEnding(dialog, L"Finished", L"Selesai", 60000);
    EXPECT_NE(title.find(L"Import Diary"), std::wstring::npos) << testsupport::Utf8(title);
    driver::MessageBoxInfo box;
    EXPECT_FALSE(driver::WaitForMessageBox(program_.pid(), 0, &box) && box.window != dialog)
        << testsupport::Utf8(box.text);
    CloseAndWait(dialog);

    HWND diary = OpenDiary();
    ASSERT_NE(diary, (HWND)NULL);
    auto rows = Show(diary);
    ASSERT_EQ(rows.size(), 5u);
    EXPECT_EQ(rows[4][kPlateCell], L"WA1234B");
    EXPECT_EQ(rows[4][kOwnerCell], L"") << "an own row has no owner";
    for (int i = 0; i < 4; i++) {
        EXPECT_EQ(rows[i][kPlateCell], theirs[3 - i]) << "row " << i;
        EXPECT_EQ(rows[i][kOwnerCell], L"ALI") << "row " << i;
    }
    CloseAndWait(diary);
}

TEST_F(DiaryByHand, CleanUpThroughThePasswordDialogLeavesOneRowOfARepeatedPlate) {
    for (const wchar_t *plate : {L"WA1234B", L"NOPE123", L"WA1234B", L"WA1234B"}) Find(plate);
    ASSERT_EQ(DiaryPlates(), (std::vector<std::wstring>{L"WA1234B", L"NOPE123", L"WA1234B", L"WA1234B"}));
    ASSERT_NO_FATAL_FAILURE(SetUpPassword());

    PostMessageW(main_, WM_COMMAND, MAKEWPARAM(IDM_CLEANUP_DIARY, 0), 0);
    driver::MessageBoxInfo box;
    ASSERT_TRUE(driver::WaitForMessageBox(program_.pid(), 10000, &box));
    ASSERT_TRUE(driver::AnswerMessageBox(box, IDYES)) << testsupport::Utf8(box.text);
    HWND dialog = program_.WaitForDialogWith(IDC_PWENTRY_PASSWORD, 10000);
    ASSERT_NE(dialog, (HWND)NULL);
    EXPECT_TRUE(IsWindowVisible(driver::FindControl(dialog, IDC_PWENTRY_KEEP_LATEST)));
    driver::TypeText(driver::FindControl(dialog, IDC_PWENTRY_PASSWORD), kPassword);
    driver::PostClick(driver::FindControl(dialog, IDC_PWENTRY_OK));
    std::wstring title = WaitForTitleEnding(dialog, L"CleanUp Diary - Finished", L"Cuci Diary - Selesai", 60000);
    EXPECT_EQ(title, L"Cuci Diary - Selesai");
    EXPECT_FALSE(IsWindowVisible(driver::FindControl(dialog, IDC_PWENTRY_OK)));
    CloseAndWait(dialog);

    HWND diary = OpenDiary();
    ASSERT_NE(diary, (HWND)NULL);
    auto rows = Show(diary);
    ASSERT_EQ(rows.size(), 2u);
    int repeats = 0;
    for (const auto &row : rows) repeats += row[kPlateCell] == L"WA1234B";
    EXPECT_EQ(repeats, 1);
    CloseAndWait(diary);
}

}  // namespace
