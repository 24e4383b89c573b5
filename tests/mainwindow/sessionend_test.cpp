// The end of the Windows session against the live main window: refused
// while a job or the update holds a book, with the reason in the agent's
// language and taken back when the job is over; with nothing under way the
// program shuts down as when it is closed.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "bookjob.h"
#include "datastore.h"
#include "livewindow.h"
#include "mainwindow.h"
#include "sqlite3.h"

namespace {

std::vector<std::wstring> Reasons;  // what Windows was told, "<released>" for a reason taken back
BOOL RecordReason(HWND, const WCHAR *reason) {
    Reasons.push_back(reason != NULL ? reason : L"<released>");
    return TRUE;
}

class SessionEnd : public live::LiveMainWindow {
  protected:
    void SetUp() override {
        LiveMainWindow::SetUp();
        ShutdownReasonHook = RecordReason;
        Reasons.clear();
    }
    void TearDown() override {
        ShutdownReasonHook = NULL;
        UseEnglish = 0;
        LiveMainWindow::TearDown();
    }
};

TEST_F(SessionEnd, RefusedWhileAJobHoldsABookAndLetGoAfter) {
    struct Case {
        const char *name;
        sqlite3 **db;
        int english;
        const wchar_t *reason;
    };
    const Case cases[] = {
        {"a job on the diary", &DiaryDb, 1, L"Please wait. Korvane is still saving your data."},
        {"a job on the remark book", &RemarkDb, 0, L"Sila tunggu. Korvane masih menyimpan data anda."},
        {"the update on the data book", &DataDb, 1, L"Please wait. Korvane is still saving your data."},
    };
    HWND window = MainWindow;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        UseEnglish = c.english;
        Reasons.clear();
        {
            JobBusyGuard busy;
            ASSERT_TRUE(busy.acquired());
            BookJob job(c.db, window);
            ASSERT_TRUE(job.Begin());
            EXPECT_EQ(SendMessageW(window, WM_QUERYENDSESSION, 0, 0), FALSE);
            EXPECT_EQ(Reasons, std::vector<std::wstring>{c.reason});
            SendMessageW(window, WM_CLOSE, 0, 0);
            EXPECT_TRUE(IsWindow(window)) << "no close while a job runs";
            SendMessageW(window, WM_ENDSESSION, TRUE, 0);  // ended by force: the journal brings the book back
            EXPECT_TRUE(IsWindow(window));
            EXPECT_TRUE(job.Commit());
        }
        EXPECT_EQ(Reasons, (std::vector<std::wstring>{c.reason, L"<released>"})) << "taken back when the job ends";
        EXPECT_EQ(SendMessageW(window, WM_QUERYENDSESSION, 0, 0), TRUE);
        EXPECT_EQ(Reasons.size(), 2u) << "nothing more to say";
    }
    // A job that holds no transaction (a window or a question open) does
    // not keep Windows from ending the session.
    {
        JobBusyGuard busy;
        EXPECT_EQ(SendMessageW(window, WM_QUERYENDSESSION, 0, 0), TRUE);
    }
}

TEST_F(SessionEnd, WithNothingUnderWayTheProgramShutsDownInOrder) {
    SetWindowTextW(LocationEdit, L"JALAN DAMAI");
    HWND window = MainWindow;
    EXPECT_EQ(SendMessageW(window, WM_QUERYENDSESSION, 0, 0), TRUE);
    SendMessageW(window, WM_ENDSESSION, FALSE, 0);  // another program refused: nothing ends
    EXPECT_TRUE(IsWindow(window));
    EXPECT_NE(DiaryDb, (sqlite3 *)NULL);
    SendMessageW(window, WM_ENDSESSION, TRUE, 0);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(MainWindow, (HWND)NULL);
    EXPECT_EQ(DiaryDb, (sqlite3 *)NULL) << "the books are closed";
    live::Pump();
    EXPECT_EQ(live::ReadEncipheredKey(live::kDiaryBook, "PRS", "LOC"), L"JALAN DAMAI") << "the location is kept";
    EXPECT_TRUE(Reasons.empty());
}

}  // namespace
