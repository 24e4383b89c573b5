// The start-up's screen rule, in process: ctest runs this program in Wine
// desktops of several sizes and tells it the height it should see.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <string>
#include <vector>

#include "datastore.h"
#include "mainwindow.h"

namespace {

std::vector<std::wstring> Messages;

int RecordMessage(HWND, const WCHAR *text, const WCHAR *, UINT) {
    Messages.push_back(text);
    return IDOK;
}

// Runs InitInstance; the test program has no data file beside it, so the
// start-up stops at once with its message, after the screen values are set.
TEST(ScreenRule, SmallScreenValuesFollowTheScreenHeight) {
    const char *expected = getenv("KORVANE_EXPECT_SCREEN_HEIGHT");
    int height = GetSystemMetrics(SM_CYSCREEN);
    if (expected != NULL) {
        ASSERT_EQ(height, atoi(expected)) << "not the screen asked for";
    }

    MessageBoxHook = RecordMessage;
    EXPECT_EQ(InitInstance(GetModuleHandleW(NULL), SW_SHOWNORMAL), 0);
    MessageBoxHook = NULL;
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0], L"File[KorvaneData.db] tidak wujud");

    OSVERSIONINFOW info = {};
    info.dwOSVersionInfoSize = sizeof info;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    GetVersionExW(&info);
#pragma GCC diagnostic pop
    EXPECT_EQ(FrameAllowance, info.dwMajorVersion >= 6 ? 10 : 0);
    EXPECT_EQ(IsVistaOrLater(), info.dwMajorVersion >= 6 ? 1 : 0);
    if (height <= 600) {
        EXPECT_EQ(SmallScreen, 1);
        EXPECT_EQ(SmallScreenShift, -123);
    } else {
        EXPECT_EQ(SmallScreen, 0);
        EXPECT_EQ(SmallScreenShift, 0);
    }
    EXPECT_EQ(MainWindow, (HWND)NULL) << "the stopped window is gone";
}

}  // namespace
