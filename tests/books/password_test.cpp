// The password dialogs over the live main window: which dialog each guarded
// command opens, what a right, wrong or new password leads to, the key
// filter of the password edits, and the stored password of each book.
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "bookjob.h"
#include "booktest.h"
#include "books.h"
#include "cipher.h"
#include "datastore.h"
#include "mainwindow.h"
#include "resource.h"
#include "sqlite3.h"
#include "testsupport.h"

namespace {

// ---- What the dialogs lead to -----------------------------------------------------

struct Step {
    int step;
    int arg;
    bool closeGreyed = false;  // the entry dialog's close command while the step ran
    bool operator==(const Step &o) const { return step == o.step && arg == o.arg; }
};
std::vector<Step> Steps;

void RecordStep(int step, int arg, HWND) {
    bool greyed = false;
    if (PasswordEntryDialogHandle != NULL) {
        HMENU menu = GetSystemMenu(PasswordEntryDialogHandle, FALSE);
        greyed = (GetMenuState(menu, SC_CLOSE, MF_BYCOMMAND) & MF_GRAYED) != 0;
    }
    Steps.push_back({step, arg, greyed});
}

// The pauses of the dialogs, with the message line shown meanwhile.
struct Pause {
    DWORD ms;
    std::wstring text;
};
std::vector<Pause> Pauses;

void RecordPause(DWORD ms) {
    HWND dialog = PasswordEntryDialogHandle != NULL ? PasswordEntryDialogHandle : PasswordSetupDialogHandle;
    int id = PasswordEntryDialogHandle != NULL ? IDC_PWENTRY_MSGBOX : IDC_PWSET_MSGBOX;
    HWND line = GetDlgItem(dialog, id);
    std::wstring text = IsWindowVisible(line) ? booktest::Text(dialog, id) : L"<hidden>";
    Pauses.push_back({ms, text});
}

// A job as CleanUp and Update Diary run one: it holds the busy guard and
// pumps messages between its rows; it notes whether the entry dialog still
// took input and had its close command greyed once it had pumped.
bool EntryLiveDuringJob;
void RunAsAJob(int step, int arg, HWND owner) {
    JobBusyGuard busy;
    if (!busy.acquired()) return;
    PumpPendingMessages();
    HWND dialog = PasswordEntryDialogHandle;
    EntryLiveDuringJob = dialog != NULL && (IsWindowEnabled(GetDlgItem(dialog, IDC_PWENTRY_OK)) ||
                                            IsWindowEnabled(GetDlgItem(dialog, IDC_PWENTRY_PASSWORD)));
    RecordStep(step, arg, owner);
}

// ---- Driving a chain of dialogs ---------------------------------------------------

bool IsSetUpDialog(HWND dialog) { return GetDlgItem(dialog, IDC_PWSET_FIRST) != NULL; }

struct DialogRun {
    std::vector<std::function<void(HWND)>> acts;  // one per dialog, in order
    size_t next;
    HWND last;
    DWORD lastAt;
    bool forced;
    std::vector<std::wstring> kinds;  // "500" or "600" and the caption, per dialog met
};
DialogRun *Run;

BOOL CALLBACK FindNewDialog(HWND window, LPARAM lParam) {
    HWND *found = reinterpret_cast<HWND *>(lParam);
    wchar_t cls[32] = {0};
    GetClassNameW(window, cls, ARRAYSIZE(cls));
    if (wcscmp(cls, L"#32770") == 0 && IsWindowVisible(window) && window != Run->last &&
        (GetDlgItem(window, IDC_PWSET_FIRST) != NULL || GetDlgItem(window, IDC_PWENTRY_PASSWORD) != NULL)) {
        *found = window;
        return FALSE;
    }
    return TRUE;
}

BOOL CALLBACK EndEveryDialog(HWND window, LPARAM) {
    wchar_t cls[32] = {0};
    GetClassNameW(window, cls, ARRAYSIZE(cls));
    if (wcscmp(cls, L"#32770") == 0 && IsWindowVisible(window)) EndDialog(window, -7);
    return TRUE;
}

void CALLBACK DialogTick(HWND, UINT, UINT_PTR, DWORD) {
    DialogRun *run = Run;
    if (run == NULL) return;
    HWND found = NULL;
    EnumThreadWindows(GetCurrentThreadId(), FindNewDialog, (LPARAM)&found);
    if (found != NULL && run->next < run->acts.size()) {
        WCHAR caption[64] = {0};
        GetWindowTextW(found, caption, ARRAYSIZE(caption));
        run->kinds.push_back(std::wstring(IsSetUpDialog(found) ? L"500 " : L"600 ") + caption);
        run->last = found;
        run->lastAt = GetTickCount();
        run->acts[run->next++](found);
        return;
    }
    if (!run->forced && GetTickCount() - run->lastAt > 5000) {
        run->forced = true;
        EnumThreadWindows(GetCurrentThreadId(), EndEveryDialog, 0);
    }
}

// Runs command in the main window and acts on each password dialog that
// opens, in order. Returns the dialogs met ("500 <caption>" or "600
// <caption>"); "forced" ends the list when a dialog had to be ended by force.
std::vector<std::wstring> RunCommand(int command, std::vector<std::function<void(HWND)>> acts) {
    DialogRun run = {std::move(acts), 0, NULL, GetTickCount(), false, {}};
    Run = &run;
    UINT_PTR timer = SetTimer(NULL, 0, 30, DialogTick);
    SendMessageW(MainWindow, WM_COMMAND, MAKEWPARAM(command, BN_CLICKED), 0);
    KillTimer(NULL, timer);
    Run = NULL;
    if (run.forced) run.kinds.push_back(L"forced");
    return run.kinds;
}

void Type(HWND dialog, int id, const std::wstring &text) {
    HWND edit = GetDlgItem(dialog, id);
    for (wchar_t c : text) SendMessageW(edit, WM_CHAR, c, 0);
}

// The acts on one dialog.
std::function<void(HWND)> Enter(const std::wstring &password) {
    return [password](HWND dialog) {
        Type(dialog, IDC_PWENTRY_PASSWORD, password);
        booktest::Click(dialog, IDC_PWENTRY_OK);
    };
}

std::function<void(HWND)> NewPassword(const std::wstring &first, const std::wstring &second) {
    return [first, second](HWND dialog) {
        Type(dialog, IDC_PWSET_FIRST, first);
        Type(dialog, IDC_PWSET_SECOND, second);
        booktest::Click(dialog, IDC_PWSET_OK);
    };
}

// Enters the password, then closes the dialog that stays open for its job.
std::function<void(HWND)> EnterAndClose(const std::wstring &password, int radio = 0) {
    return [password, radio](HWND dialog) {
        if (radio != 0) booktest::Click(dialog, radio);
        Type(dialog, IDC_PWENTRY_PASSWORD, password);
        booktest::Click(dialog, IDC_PWENTRY_OK);
        EXPECT_TRUE(IsWindowVisible(dialog)) << "the job's dialog stays open";
        EXPECT_FALSE(IsWindowVisible(GetDlgItem(dialog, IDC_PWENTRY_PASSWORD)));
        EXPECT_TRUE(IsWindowVisible(GetDlgItem(dialog, IDC_PWENTRY_MSGBOX)));
        HMENU menu = GetSystemMenu(dialog, FALSE);
        EXPECT_EQ(GetMenuState(menu, SC_CLOSE, MF_BYCOMMAND) & MF_GRAYED, 0u) << "close enabled again";
        PostMessageW(dialog, WM_CLOSE, 0, 0);
    };
}

std::string Field(const std::wstring &text) {
    char field[kCipherFieldBytes];
    EncodeField(LocalCipher, text.c_str(), field);
    return field;
}

class Passwords : public booktest::BookWindowTest {
  protected:
    void SetUp() override {
        BookWindowTest::SetUp();
        Steps.clear();
        Pauses.clear();
        GuardedStepHook = RecordStep;
        JobPauseHook = RecordPause;
    }
    void TearDown() override {
        GuardedStepHook = NULL;
        JobPauseHook = NULL;
        BookWindowTest::TearDown();
    }

    // Puts the passwords into both books and into memory, as start-up
    // leaves them.
    void GivePasswords(const std::wstring &diary, const std::wstring &remark) {
        std::string sql = "update PRS set C2 = '" + Field(diary) + "' where C1 = 'D'";
        RunOnDiary(sql.c_str());
        sql = "update PRS set C2 = '" + Field(remark) + "' where C1 = 'D'";
        ASSERT_EQ(sqlite3_exec(RemarkDb, sql.c_str(), NULL, NULL, NULL), SQLITE_OK);
        lstrcpynW(DiaryPassword, diary.c_str(), ARRAYSIZE(DiaryPassword));
        lstrcpynW(RemarkPassword, remark.c_str(), ARRAYSIZE(RemarkPassword));
    }
    static std::wstring StoredDiary() { return live::ReadEncipheredKey(live::kDiaryBook, "PRS", "D"); }
    static std::wstring StoredRemark() { return live::ReadEncipheredKey(live::kRemarkBook, "PRS", "D"); }
};

TEST_F(Passwords, EachCommandOpensItsDialogAndLeadsToItsStep) {
    struct Case {
        const char *name;
        int command;
        const wchar_t *diary, *remark;  // the passwords before
        std::vector<std::function<void(HWND)>> acts;
        std::vector<std::wstring> dialogs;
        std::vector<Step> steps;
        const wchar_t *diaryAfter, *remarkAfter;  // in the books and in memory
    };
    const std::wstring D = L"Diary Password", R = L"Remark Password";
    const Case cases[] = {
        {"Diary, no password: set up, both books", IDM_DIARY, L"", L"", {NewPassword(L"new1", L"NEW1")},
         {L"500 " + D}, {{kStepDiaryWindow, 0}}, L"NEW1", L"NEW1"},
        {"Diary button, right password in another case", IDC_BIG_DIARY, L"OLD9", L"OLD9", {Enter(L"old9")},
         {L"600 " + D}, {{kStepDiaryWindow, 0}}, L"OLD9", L"OLD9"},
        {"Change Diary Password: both books", IDC_BIG_CHANGE_DIARY_PASSWORD, L"OLD9", L"OLD9",
         {Enter(L"OLD9"), NewPassword(L"NEW2", L"NEW2")}, {L"600 " + D, L"500 " + D}, {{kStepDiaryWindow, 0}},
         L"NEW2", L"NEW2"},
        {"Change Remark Password: the remark book only", IDM_CHANGE_REMARK_PASSWORD, L"OLD9", L"REM5",
         {Enter(L"REM5"), NewPassword(L"NEW3", L"NEW3")}, {L"600 " + R, L"500 " + R}, {{kStepRemarkWindow, 0}},
         L"OLD9", L"NEW3"},
        {"Change Remark Password chooses by the remark password alone", IDM_CHANGE_REMARK_PASSWORD, L"",
         L"REM5", {Enter(L"REM5"), NewPassword(L"NEW4", L"NEW4")}, {L"600 " + R, L"500 " + R},
         {{kStepRemarkWindow, 0}}, L"", L"NEW4"},
        {"Remark, both empty: set up, both books", IDM_REMARK, L"", L"", {NewPassword(L"NEW5", L"NEW5")}, {L"500 " + R},
         {{kStepRemarkWindow, 0}}, L"NEW5", L"NEW5"},
        {"Remark while the remark book has no password: the diary's is asked", IDM_REMARK, L"OLD9", L"",
         {Enter(L"OLD9")}, {L"600 " + R}, {{kStepRemarkWindow, 0}}, L"OLD9", L""},
        {"Remark with a remark password only: the entry dialog", IDC_BIG_REMARK, L"", L"REM5", {Enter(L"REM5")},
         {L"600 " + R}, {{kStepRemarkWindow, 0}}, L"", L"REM5"},
        {"Update Diary, no password: set up, no update", IDM_UPDATE_DIARY, L"", L"", {NewPassword(L"NEW6", L"NEW6")},
         {L"500 " + D}, {{kStepDiaryWindow, 0}}, L"NEW6", L"NEW6"},
        {"Update Diary runs inside the entry dialog", IDC_BIG_UPDATE_DIARY, L"OLD9", L"OLD9",
         {EnterAndClose(L"OLD9")}, {L"600 " + D}, {{kStepUpdateDiary, 0}}, L"OLD9", L"OLD9"},
        {"CleanUp, the second mode", IDM_CLEANUP_DIARY, L"OLD9", L"OLD9",
         {EnterAndClose(L"OLD9", IDC_PWENTRY_KEEP_LOCATION)}, {L"600 " + D}, {{kStepCleanUp, 1}}, L"OLD9", L"OLD9"},
        {"CleanUp, the third mode", IDM_CLEANUP_DIARY, L"OLD9", L"OLD9",
         {EnterAndClose(L"OLD9", IDC_PWENTRY_KEEP_TIME)}, {L"600 " + D}, {{kStepCleanUp, 2}}, L"OLD9", L"OLD9"},
        {"CleanUp, the first mode as checked at the start", IDM_CLEANUP_DIARY, L"OLD9", L"OLD9",
         {EnterAndClose(L"OLD9")}, {L"600 " + D}, {{kStepCleanUp, 0}}, L"OLD9", L"OLD9"},
        {"CleanUp, no password: set up, no clean-up", IDM_CLEANUP_DIARY, L"", L"", {NewPassword(L"NEW7", L"NEW7")},
         {L"500 " + D}, {{kStepDiaryWindow, 0}}, L"NEW7", L"NEW7"},
        {"Delete Old Diary Data with a password: its own dialog at once", IDM_DELETE_OLD_DIARY, L"OLD9", L"OLD9",
         {}, {}, {{kStepDeleteOldDiary, 0}}, L"OLD9", L"OLD9"},
        {"Delete Old Diary Data, no password: set up", IDM_DELETE_OLD_DIARY, L"", L"", {NewPassword(L"NEW8", L"NEW8")},
         {L"500 " + D}, {{kStepDiaryWindow, 0}}, L"NEW8", L"NEW8"},
        {"A wrong password ends the dialog and changes nothing", IDC_BIG_CHANGE_DIARY_PASSWORD, L"OLD9", L"OLD9",
         {Enter(L"OLD8")}, {L"600 " + D}, {}, L"OLD9", L"OLD9"},
        {"A wrong remark password", IDM_REMARK, L"OLD9", L"REM5", {Enter(L"OLD9")}, {L"600 " + R}, {}, L"OLD9",
         L"REM5"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        GivePasswords(c.diary, c.remark);
        Steps.clear();
        EXPECT_EQ(RunCommand(c.command, c.acts), c.dialogs);
        EXPECT_EQ(Steps, c.steps);
        for (const Step &s : Steps) {
            if (s.step == kStepUpdateDiary || s.step == kStepCleanUp) {
                EXPECT_TRUE(s.closeGreyed);
            }
        }
        EXPECT_EQ(StoredDiary(), c.diaryAfter);
        EXPECT_EQ(StoredRemark(), c.remarkAfter);
        EXPECT_STREQ(DiaryPassword, c.diaryAfter);
        EXPECT_STREQ(RemarkPassword, c.remarkAfter);
        EXPECT_EQ(GetFocus(), PlateEntryEdit);
    }
}

// Enter pressed twice on the password, as a person who is not sure the
// first one took: the job runs once, with OK and the password edit
// disabled and the close command greyed all through.
TEST_F(Passwords, ASecondEnterWhileTheJobRunsStartsNothing) {
    struct Case {
        const char *name;
        int command;
        int step;
    };
    const Case kCases[] = {
        {"CleanUp", IDM_CLEANUP_DIARY, kStepCleanUp},
        {"Update Diary", IDC_BIG_UPDATE_DIARY, kStepUpdateDiary},
    };
    GivePasswords(L"OLD9", L"OLD9");
    GuardedStepHook = RunAsAJob;
    for (const Case &c : kCases) {
        SCOPED_TRACE(c.name);
        Steps.clear();
        EntryLiveDuringJob = true;
        EXPECT_EQ(RunCommand(c.command, {[](HWND dialog) {
                                 Type(dialog, IDC_PWENTRY_PASSWORD, L"OLD9");
                                 live::PressKeys(dialog, GetDlgItem(dialog, IDC_PWENTRY_PASSWORD),
                                                 {VK_RETURN, VK_RETURN});
                                 PostMessageW(dialog, WM_CLOSE, 0, 0);
                             }}),
                  std::vector<std::wstring>{L"600 Diary Password"});
        ASSERT_EQ(Steps.size(), 1u) << "one job";
        EXPECT_EQ(Steps[0].step, c.step);
        EXPECT_TRUE(Steps[0].closeGreyed);
        EXPECT_FALSE(EntryLiveDuringJob);
    }
}

TEST_F(Passwords, CleanUpAnsweredNoOpensNoDialog) {
    GivePasswords(L"OLD9", L"OLD9");
    booktest::QuestionAnswer = IDNO;
    EXPECT_TRUE(RunCommand(IDM_CLEANUP_DIARY, {}).empty());
    EXPECT_TRUE(Steps.empty());
    ASSERT_EQ(live::Shown.size(), 1u);
    EXPECT_EQ(live::Shown[0].caption, L"CleanUp Diary");
    EXPECT_EQ(live::Shown[0].type, (UINT)(MB_YESNO | MB_ICONEXCLAMATION));
}

TEST_F(Passwords, MessagesOfTheEntryAndSetUpDialogsAndTheirPauses) {
    GivePasswords(L"OLD9", L"OLD9");
    // An empty entry: the dialog stays; then a wrong password ends it.
    RunCommand(IDM_DIARY, {[](HWND dialog) {
                   booktest::Click(dialog, IDC_PWENTRY_OK);
                   EXPECT_TRUE(IsWindowVisible(dialog));
                   EXPECT_FALSE(IsWindowVisible(GetDlgItem(dialog, IDC_PWENTRY_MSGBOX)));
                   Enter(L"BAD")(dialog);
               }});
    ASSERT_EQ(Pauses.size(), 2u);
    EXPECT_EQ(Pauses[0].ms, 1000u);
    EXPECT_EQ(Pauses[0].text, L"\r\nPlease key in a password.");
    EXPECT_EQ(Pauses[1].ms, 3000u);
    EXPECT_EQ(Pauses[1].text, L"\r\nThe password entered is not correct.");
    EXPECT_TRUE(Steps.empty());

    // The set-up: each empty box, then two that differ, which empties both.
    GivePasswords(L"", L"");
    Pauses.clear();
    RunCommand(IDM_DIARY, {[](HWND dialog) {
                   booktest::Click(dialog, IDC_PWSET_OK);
                   Type(dialog, IDC_PWSET_FIRST, L"ABC1");
                   booktest::Click(dialog, IDC_PWSET_OK);
                   EXPECT_EQ(GetFocus(), GetDlgItem(dialog, IDC_PWSET_SECOND));
                   Type(dialog, IDC_PWSET_SECOND, L"ABC2");
                   booktest::Click(dialog, IDC_PWSET_OK);
                   EXPECT_EQ(booktest::Text(dialog, IDC_PWSET_FIRST), L"");
                   EXPECT_EQ(booktest::Text(dialog, IDC_PWSET_SECOND), L"");
                   EXPECT_EQ(GetFocus(), GetDlgItem(dialog, IDC_PWSET_FIRST));
                   booktest::Click(dialog, IDC_PWSET_CANCEL);
               }});
    std::vector<std::wstring> texts;
    for (const Pause &p : Pauses) texts.push_back(std::to_wstring(p.ms) + p.text);
    EXPECT_EQ(texts, (std::vector<std::wstring>{L"1000\r\nPlease key in a password in the first box.",
                                                L"1000\r\nPlease key in a password in the second box.",
                                                L"3000\r\nThe password entered are both not the same, please try again."}));
    EXPECT_TRUE(Steps.empty());
    EXPECT_EQ(StoredDiary(), L"");
    EXPECT_EQ(StoredRemark(), L"");

    // In Malay, the reminder before a new password is stored.
    UseEnglish = 0;
    Pauses.clear();
    RunCommand(IDM_DIARY, {NewPassword(L"ABC1", L"abc1")});
    ASSERT_EQ(Pauses.size(), 1u);
    EXPECT_EQ(Pauses[0].text, L"\r\nJangan lupa password anda.");
    EXPECT_EQ(StoredDiary(), L"ABC1") << "the boxes compare ignoring case";
}

TEST_F(Passwords, TheEditsTakeLettersAndDigitsOnlyUpToTwentyAndEnterClicksOk) {
    GivePasswords(L"", L"");
    RunCommand(IDM_DIARY, {[](HWND dialog) {
                   Type(dialog, IDC_PWSET_FIRST, L"ab c'd-e.9|");
                   EXPECT_EQ(booktest::Text(dialog, IDC_PWSET_FIRST), L"ABCDE9");
                   Type(dialog, IDC_PWSET_FIRST, std::wstring(1, (wchar_t)VK_BACK));
                   EXPECT_EQ(booktest::Text(dialog, IDC_PWSET_FIRST), L"ABCDE");
                   Type(dialog, IDC_PWSET_FIRST, L"0123456789ABCDEFGHIJ");
                   EXPECT_EQ(booktest::Text(dialog, IDC_PWSET_FIRST), L"ABCDE0123456789ABCDE");
                   Type(dialog, IDC_PWSET_SECOND, L"abcde0123456789abcde\r");
               }});
    EXPECT_EQ(StoredDiary(), L"ABCDE0123456789ABCDE");
    EXPECT_EQ(Steps, (std::vector<Step>{{kStepDiaryWindow, 0}}));

    Steps.clear();
    RunCommand(IDM_DIARY, {[](HWND dialog) {
                   Type(dialog, IDC_PWENTRY_PASSWORD, L"ABCDE 0123'456789ABCDE;XYZ");
                   EXPECT_EQ(booktest::Text(dialog, IDC_PWENTRY_PASSWORD), L"ABCDE0123456789ABCDE");
                   Type(dialog, IDC_PWENTRY_PASSWORD, L"\r");
               }});
    EXPECT_EQ(Steps, (std::vector<Step>{{kStepDiaryWindow, 0}}));
}

TEST_F(Passwords, ANewPasswordLandsInBooksWithoutAPasswordRow) {
    GivePasswords(L"", L"");
    RunOnDiary("delete from PRS where C1 = 'D'");
    ASSERT_EQ(sqlite3_exec(RemarkDb, "delete from PRS where C1 = 'D'", NULL, NULL, NULL), SQLITE_OK);
    RunCommand(IDM_DIARY, {NewPassword(L"ROW1", L"ROW1")});
    EXPECT_EQ(StoredDiary(), L"ROW1");
    EXPECT_EQ(StoredRemark(), L"ROW1");
    EXPECT_EQ(live::CountRows(live::kDiaryBook, "select * from PRS where C1 = 'D'"), 1);
    EXPECT_TRUE(live::Shown.empty());
}

// A book that another connection holds locked cannot take the password:
// the failure is shown, and memory keeps what the books hold.
TEST_F(Passwords, AFailedWriteKeepsTheOldPasswordInTheBookAndInMemory) {
    struct Case {
        const char *name;
        const wchar_t *locked;
        const wchar_t *diaryAfter, *remarkAfter;
    } cases[] = {
        {"diary locked: nothing changes", live::kDiaryBook, L"", L""},
        {"remark book locked: the diary has it, the remark book not", live::kRemarkBook, L"LOCK1", L""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        GivePasswords(L"", L"");
        Steps.clear();
        live::Shown.clear();
        sqlite3 *holder = NULL;
        ASSERT_EQ(sqlite3_open(testsupport::Utf8(c.locked).c_str(), &holder), SQLITE_OK);
        ASSERT_EQ(sqlite3_exec(holder, "BEGIN EXCLUSIVE", NULL, NULL, NULL), SQLITE_OK);
        RunCommand(IDM_DIARY, {NewPassword(L"LOCK1", L"LOCK1")});
        sqlite3_exec(holder, "ROLLBACK", NULL, NULL, NULL);
        sqlite3_close(holder);
        EXPECT_TRUE(Steps.empty()) << "no window opens";
        EXPECT_EQ(live::Shown.size(), 1u) << "the failure is shown";
        EXPECT_STREQ(DiaryPassword, c.diaryAfter);
        EXPECT_STREQ(RemarkPassword, c.remarkAfter);
        EXPECT_EQ(StoredDiary(), c.diaryAfter);
        EXPECT_EQ(StoredRemark(), c.remarkAfter);
    }
}

}  // namespace
