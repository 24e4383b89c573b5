// Start-up of the real Korvane.exe, driven from another process: the window
// size for the screen, the single instance, and the missing-data stop.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <string>

#include "driver.h"
#include "sqlite3.h"
#include "testsupport.h"

namespace {

const wchar_t kClass[] = L"KORVANE";
const wchar_t kTitle[] = L"Korvane 14.906";
const DWORD kStartTimeoutMs = 30000;

// Each test runs its own copy of the program from a fresh folder on drive
// C, with a data file beside it unless the test removes it.
class Startup : public testing::Test {
  protected:
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
    }

    void TearDown() override {
        for (driver::Program *p : {&first_, &second_}) driver::Kill(*p);
        testsupport::RemoveTree(folder_);
    }

    static void MakeDataFile(const std::wstring &path) {
        sqlite3 *db = NULL;
        ASSERT_EQ(sqlite3_open(testsupport::Utf8(path).c_str(), &db), SQLITE_OK);
        ASSERT_EQ(sqlite3_exec(db, "create table PRD (C1 text, C2 text)", NULL, NULL, NULL), SQLITE_OK);
        sqlite3_close(db);
    }

    HWND StartAndWait(driver::Program *program) {
        EXPECT_TRUE(driver::Start(exe_, folder_, program));
        return driver::WaitForWindow(program->pid, kClass, kTitle, kStartTimeoutMs);
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
    driver::Program first_, second_;
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
    ASSERT_TRUE(driver::WaitForExit(first_, 10000, &code));
    EXPECT_EQ(code, 0u);
}

TEST_F(Startup, SecondStartEndsAtOnceLeavingOneWindow) {
    HWND window = StartAndWait(&first_);
    ASSERT_NE(window, (HWND)NULL);
    ASSERT_TRUE(driver::Start(exe_, folder_, &second_));
    DWORD code = 1;
    ASSERT_TRUE(driver::WaitForExit(second_, 10000, &code)) << "the second copy must end by itself";
    EXPECT_EQ(code, 0u);
    EXPECT_EQ(driver::FindTopWindows(0, kClass, kTitle).size(), 1u);
    DWORD still = 0;
    EXPECT_FALSE(driver::WaitForExit(first_, 0, &still)) << "the first copy runs on";
}

TEST_F(Startup, MissingDataFileStopsWithTheMalayMessage) {
    ASSERT_TRUE(DeleteFileW((folder_ + L"KorvaneData.db").c_str()));
    ASSERT_TRUE(driver::Start(exe_, folder_, &first_));
    driver::MessageBoxInfo box;
    ASSERT_TRUE(driver::WaitForMessageBox(first_.pid, kStartTimeoutMs, &box));
    EXPECT_EQ(box.caption, L"Masaalah");
    EXPECT_EQ(box.text, L"File[KorvaneData.db] tidak wujud");
    EXPECT_TRUE(driver::FindTopWindows(first_.pid, kClass, kTitle).size() <= 1u);
    EXPECT_EQ(driver::WaitForWindow(first_.pid, kClass, kTitle, 0), (HWND)NULL)
        << "the main window is never shown";
    ASSERT_TRUE(driver::AnswerMessageBox(box, IDOK));
    DWORD code = 1;
    ASSERT_TRUE(driver::WaitForExit(first_, 10000, &code));
    EXPECT_EQ(code, 0u);
}

TEST_F(Startup, ReadOnlyDataFileIsMadeWritable) {
    std::wstring data = folder_ + L"KorvaneData.db";
    ASSERT_TRUE(SetFileAttributesW(data.c_str(), FILE_ATTRIBUTE_READONLY));
    HWND window = StartAndWait(&first_);
    ASSERT_NE(window, (HWND)NULL);
    EXPECT_EQ(GetFileAttributesW(data.c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
}

}  // namespace
