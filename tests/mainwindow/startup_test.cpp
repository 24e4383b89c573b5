// Start-up of the real Korvane.exe, driven from another process: the window
// size for the screen, the single instance, and the missing-data stop.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <string>

#include "cipher.h"
#include "datatool.h"
#include "driver.h"
#include "programrun.h"
#include "resource.h"
#include "sqlite3.h"
#include "testsupport.h"

namespace {

const wchar_t kClass[] = L"KORVANE";
const DWORD kStartTimeoutMs = 30000;

// Each test runs its own copy of the program from a fresh folder on drive
// C, with a data file beside it unless the test removes it.
class Startup : public testing::Test {
  protected:
    // The data tool's files are enciphered with the program's own keys.
    static void SetUpTestSuite() { KeyCipherContexts(); }

    void SetUp() override {
        std::wstring bin = testsupport::HostFolderFromEnv("KORVANE_BIN");
        ASSERT_FALSE(bin.empty()) << "KORVANE_BIN is not set";
        const testing::TestInfo *info = testing::UnitTest::GetInstance()->current_test_info();
        std::string name = info->name();
        folder_ = L"C:\\KorvaneTests\\";
        CreateDirectoryW(folder_.c_str(), NULL);
        folder_ += std::wstring(name.begin(), name.end()) + L"\\";
        testsupport::RemoveTree(folder_);
        ASSERT_TRUE(CreateDirectoryW(folder_.c_str(), NULL));
        exe_ = folder_ + L"Korvane.exe";
        ASSERT_TRUE(testsupport::CopyOneFile(bin + L"Korvane.exe", exe_));
        MakeDataFile(folder_ + L"KorvaneData.db");
        first_.set_folder(folder_);
        second_.set_folder(folder_);
    }

    void TearDown() override {
        for (testsupport::ProgramRun *p : {&first_, &second_}) p->Kill();
        testsupport::RemoveTree(folder_);
    }

    static void MakeDataFile(const std::wstring &path) {
        std::string error;
        ASSERT_EQ(datatool::MakeDataFile(path.c_str(), 20, 1, &error), 0) << error;
    }

    HWND StartAndWait(testsupport::ProgramRun *program) {
        EXPECT_TRUE(program->Launch());
        return program->WaitForMain(kStartTimeoutMs);
    }

    static bool VistaOrLater() {
        OSVERSIONINFOW info = {};
        info.dwOSVersionInfoSize = sizeof info;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
        GetVersionExW(&info);
#pragma GCC diagnostic pop
        return info.dwMajorVersion >= 6;
    }

    std::wstring folder_;
    std::wstring exe_;
    testsupport::ProgramRun first_, second_;
};

TEST_F(Startup, WindowSizeAndPositionFollowTheScreen) {
    int screenWidth = GetSystemMetrics(SM_CXSCREEN);
    int screenHeight = GetSystemMetrics(SM_CYSCREEN);
    if (const char *expected = getenv("KORVANE_EXPECT_SCREEN_HEIGHT")) {
        ASSERT_EQ(screenHeight, atoi(expected)) << "the test's screen is not the one asked for";
    }
    HWND window = StartAndWait(&first_);
    ASSERT_NE(window, (HWND)NULL);

    int allowance = VistaOrLater() ? 10 : 0;
    int width = 973 + allowance;
    int height = 743 + allowance - (screenHeight <= 600 ? 123 : 0);
    RECT rect;
    ASSERT_TRUE(GetWindowRect(window, &rect));
    EXPECT_EQ(rect.right - rect.left, width) << "screen " << screenWidth << "x" << screenHeight;
    EXPECT_EQ(rect.bottom - rect.top, height) << "screen " << screenWidth << "x" << screenHeight;
    int x = screenWidth / 2 - width / 2;
    int y = (screenHeight - 40) / 2 - height / 2;
    EXPECT_EQ(rect.left, x < 0 ? 0 : x);
    EXPECT_EQ(rect.top, y < 0 ? 0 : y);
    EXPECT_NE(GetMenu(window), (HMENU)NULL) << "the class menu 102";

    PostMessageW(window, WM_CLOSE, 0, 0);
    DWORD code = 1;
    ASSERT_TRUE(first_.WaitForExit(10000, &code));
    EXPECT_EQ(code, 0u);
}

TEST_F(Startup, SecondStartEndsAtOnceLeavingOneWindow) {
    HWND window = StartAndWait(&first_);
    ASSERT_NE(window, (HWND)NULL);
    ASSERT_TRUE(second_.Launch());
    DWORD code = 1;
    ASSERT_TRUE(second_.WaitForExit(10000, &code)) << "the second copy must end by itself";
    EXPECT_EQ(code, 0u);
    EXPECT_EQ(driver::FindTopWindows(0, kClass, kProgramTitle).size(), 1u);
    DWORD still = 0;
    EXPECT_FALSE(first_.WaitForExit(0, &still)) << "the first copy runs on";
}

TEST_F(Startup, MissingDataFileStopsWithTheMalayMessage) {
    ASSERT_TRUE(DeleteFileW((folder_ + L"KorvaneData.db").c_str()));
    ASSERT_TRUE(first_.Launch());
    driver::MessageBoxInfo box;
    ASSERT_TRUE(driver::WaitForMessageBox(first_.pid(), kStartTimeoutMs, &box));
    EXPECT_EQ(box.caption, L"Masaalah");
    EXPECT_EQ(box.text, L"File[KorvaneData.db] tidak wujud");
    ASSERT_TRUE(driver::AnswerMessageBox(box, IDOK));
    // The main window is never shown, neither under the message nor after
    // it, on the way out.
    DWORD code = 1;
    bool shown = false;
    for (int i = 0; i < 500 && !first_.WaitForExit(0, &code); i++) {
        shown = shown || driver::WaitForWindow(first_.pid(), kClass, kProgramTitle, 0) != NULL;
        Sleep(20);
    }
    ASSERT_TRUE(first_.WaitForExit(0, &code));
    EXPECT_FALSE(shown) << "the main window was shown";
    EXPECT_EQ(code, 0u);
}

TEST_F(Startup, ReadOnlyDataFileIsMadeWritable) {
    std::wstring data = folder_ + L"KorvaneData.db";
    ASSERT_TRUE(SetFileAttributesW(data.c_str(), FILE_ATTRIBUTE_READONLY));
    HWND window = StartAndWait(&first_);
    ASSERT_NE(window, (HWND)NULL);
    EXPECT_EQ(GetFileAttributesW(data.c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
}

// Start-up with books of other versions and data that needs a newer
// program: the road each takes, by the message it shows or the window.
TEST_F(Startup, BooksAndDataOfOtherVersions) {
    std::string error;
    std::wstring data = folder_ + L"KorvaneData.db";
    ASSERT_EQ(datatool::MakeDataFile(data.c_str(), 20, 1, &error), 0) << error;
    for (const wchar_t *book : {L"C:\\KorvaneDiary.db", L"C:\\KorvaneInit.db", L"C:\\LastRemark.db"}) {
        DeleteFileW(book);
    }

    // Data for a newer program: 14.9 starts, 14.91 does not.
    ASSERT_EQ(datatool::SetDataKey(data.c_str(), L"CE", L"14.91", &error), 0) << error;
    ASSERT_TRUE(first_.Launch());
    driver::MessageBoxInfo box;
    ASSERT_TRUE(driver::WaitForMessageBox(first_.pid(), kStartTimeoutMs, &box));
    EXPECT_EQ(box.text, L"Sila upgrade software Korvane anda kerana ianya telah ketinggalan zaman.");
    EXPECT_EQ(box.caption, L"");
    driver::AnswerMessageBox(box, IDOK);
    DWORD code = 1;
    ASSERT_TRUE(first_.WaitForExit(10000, &code));
    ASSERT_EQ(datatool::SetDataKey(data.c_str(), L"CE", L"14.9", &error), 0) << error;
    ASSERT_NE(StartAndWait(&first_), (HWND)NULL) << "14.9 is this program";
    PostMessageW(driver::WaitForWindow(first_.pid(), kClass, kProgramTitle, 0), WM_CLOSE, 0, 0);
    ASSERT_TRUE(first_.WaitForExit(10000, &code));

    // A diary of version 9 is brought to 15 once; one of version 3 shows the
    // version message and start-up goes on.
    ASSERT_EQ(datatool::MakeDiaryFile(L"C:\\KorvaneDiary.db", 9, 5, false, {}, &error), 0) << error;
    ASSERT_NE(StartAndWait(&first_), (HWND)NULL);
    PostMessageW(driver::WaitForWindow(first_.pid(), kClass, kProgramTitle, 0), WM_CLOSE, 0, 0);
    ASSERT_TRUE(first_.WaitForExit(10000, &code));
    {
        testsupport::CheckDb diary(L"C:\\KorvaneDiary.db");
        EXPECT_EQ(diary.One("select C2 from PRS where C1 = 'DSV'"), "15");
        EXPECT_EQ(diary.Count("VLS"), 5) << "the rows survive the migration";
    }
    ASSERT_EQ(datatool::MakeDiaryFile(L"C:\\KorvaneDiary.db", 4, 1, false, {}, &error), 0) << error;
    {
        testsupport::CheckDb diary(L"C:\\KorvaneDiary.db");
        ASSERT_EQ(diary.Exec("update PRS set C2 = '3' where C1 = 'DSV'"), SQLITE_OK);
    }
    ASSERT_TRUE(first_.Launch());
    ASSERT_TRUE(driver::WaitForMessageBox(first_.pid(), kStartTimeoutMs, &box));
    EXPECT_EQ(box.text.rfind(L"Diary Version not correct => 3", 0), 0u) << testsupport::Utf8(box.text);
    driver::AnswerMessageBox(box, IDOK);
    ASSERT_NE(driver::WaitForWindow(first_.pid(), kClass, kProgramTitle, kStartTimeoutMs), (HWND)NULL) << "start-up goes on";
    PostMessageW(driver::WaitForWindow(first_.pid(), kClass, kProgramTitle, 0), WM_CLOSE, 0, 0);
    ASSERT_TRUE(first_.WaitForExit(10000, &code));

    // A remark book without its version ends start-up.
    DeleteFileW(L"C:\\KorvaneDiary.db");
    ASSERT_EQ(datatool::MakeRemarkFile(L"C:\\LastRemark.db", 1002, 1, {}, &error), 0) << error;
    {
        testsupport::CheckDb remark(L"C:\\LastRemark.db");
        ASSERT_EQ(remark.Exec("delete from PRS where C1 = 'DSV'"), SQLITE_OK);
    }
    ASSERT_TRUE(first_.Launch());
    ASSERT_TRUE(driver::WaitForMessageBox(first_.pid(), kStartTimeoutMs, &box));
    EXPECT_EQ(box.text, L"Tidak dapat membuka database[LastRemark.db]");
    driver::AnswerMessageBox(box, IDOK);
    ASSERT_TRUE(first_.WaitForExit(10000, &code));
    DeleteFileW(L"C:\\LastRemark.db");
}

}  // namespace
