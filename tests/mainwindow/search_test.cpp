// The plate search end to end: the real Korvane.exe driven from this
// process, a data file made by the data tool, and the books on drive C read
// back and deciphered.
#include <winsock2.h>

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

// Reads rows of a book on drive C while the program has it open.
std::vector<std::vector<std::string>> Rows(const wchar_t *path, const char *sql) {
    return testsupport::ReadBookRows(path, sql);
}

std::wstring Decode(const std::string &field) {
    WCHAR plain[kPlainBytes];
    DecodeField(LocalCipher, field.c_str(), plain);
    return plain;
}

class Search : public testing::Test {
  protected:
    static void SetUpTestSuite() { KeyCipherContexts(); }

    void SetUp() override {
        folder_ = L"C:\\KorvaneSearch\\";
        ASSERT_TRUE(testsupport::PrepareProgramFolder(folder_));
        std::string error;
        std::wstring data = folder_ + L"KorvaneData.db";
        ASSERT_EQ(datatool::MakeDataFile(data.c_str(), 200, 7, &error), 0) << error;
        std::vector<datatool::VehicleRecord> wanted = {
            {L"WA1234B", L"7", L"05 Feb 2024", L"MYVI 1.3 SILVER 2016", L"D'CRUZ LEASING SDN BHD"},
            {L"BJK9921", L"", L"", L"HILUX 2.5 WHITE", L"BANK SATU"},
            {L"BJK9921", L"3", L"", L"HILUX 2.5 WHITE", L"BANK DUA"},
            {L"G1M123", L"2", L"11 Nov 2025", L"SAGA BLUE", L"KREDIT UTAMA"},
        };
        ASSERT_EQ(datatool::AddVehicles(data.c_str(), wanted, &error), 0) << error;
        Start();
    }

    // Starts the program in its folder and waits for the main window.
    void Start() {
        program_.set_folder(folder_);
        ASSERT_TRUE(program_.Launch());
        main_ = program_.WaitForMain();
        ASSERT_NE(main_, (HWND)NULL);
        entry_ = driver::FindControl(main_, IDC_PLATE_ENTRY);
        ASSERT_NE(entry_, (HWND)NULL);
    }
    // Closes the program and starts it again.
    void Restart() {
        ASSERT_TRUE(program_.Stop());
        Start();
    }
    // Presses F4 in the plate entry. Returns true with the question when one
    // comes; false once a character typed after F4 has reached the entry
    // without one (it is taken out again).
    bool PressF4(driver::MessageBoxInfo *box) {
        SetFocusedEntryText(L"");
        PostMessageW(entry_, WM_KEYDOWN, VK_F4, 1);
        PostMessageW(entry_, WM_CHAR, L'Q', 1);
        for (int i = 0; i < 250; i++) {
            if (driver::WaitForMessageBox(program_.pid(), 0, box)) return true;
            if (Text(IDC_PLATE_ENTRY) == L"Q") {
                SetFocusedEntryText(L"");
                return driver::WaitForMessageBox(program_.pid(), 0, box);
            }
            Sleep(20);
        }
        ADD_FAILURE() << "neither a question nor the typed character came";
        return false;
    }
    void SetFocusedEntryText(const wchar_t *text) { driver::SetText(entry_, text); }

    void TearDown() override {
        program_.Stop();
        testsupport::RemoveTree(folder_);
    }

    // Keys a plate (as a paste would: blanks and all) and presses Find.
    void Find(const std::wstring &plate) { program_.Find(plate); }
    std::wstring Text(int id) { return driver::GetText(driver::FindControl(main_, id)); }
    std::vector<std::vector<std::wstring>> Found() {
        return driver::ReadListView(driver::FindControl(main_, IDC_FOUND_VEHICLE_LIST));
    }
    std::vector<std::vector<std::string>> Diary() {
        return Rows(L"C:\\KorvaneDiary.db", "select C1,C2,C3,C4,C5,C6,C7,C8,C9,C10,C11 from VLS order by rowid");
    }
    // Waits until the box is gone and the focus is on control id.
    bool WaitForFocus(int id) {
        for (int i = 0; i < 400; i++) {
            if (FocusedId() == id) return true;
            Sleep(20);
        }
        return false;
    }
    int FocusedId() {
        GUITHREADINFO info = {};
        info.cbSize = sizeof info;
        DWORD thread = GetWindowThreadProcessId(main_, NULL);
        if (!GetGUIThreadInfo(thread, &info) || info.hwndFocus == NULL) return 0;
        return GetDlgCtrlID(info.hwndFocus);
    }

    std::wstring folder_;
    testsupport::ProgramRun program_;
    HWND main_ = NULL;
    HWND entry_ = NULL;
};

TEST_F(Search, FoundPlateShowsItsLineAndLogsADecodableDiaryRow) {
    Find(L"  wa 1234 b ");
    const std::wstring line = L"WA1234B | 7 | 05 Feb 2024 | D'CRUZ LEASING SDN BHD | MYVI 1.3 SILVER 2016";
    EXPECT_EQ(Text(IDC_RESULT), line);
    auto found = Found();
    ASSERT_FALSE(found.empty());
    EXPECT_EQ(found[0][0], line);
    EXPECT_EQ(Text(IDC_PLATE), L"WA1234B") << "blanks removed, upper case";
    EXPECT_EQ(Text(IDC_PLATE_ENTRY), L"") << "the entry is emptied for the next plate";
    EXPECT_EQ(Text(IDC_ARREARS), L"7");
    EXPECT_EQ(Text(IDC_FINANCIER), L"D'CRUZ LEASING SDN BHD");
    EXPECT_EQ(Text(IDC_HIT_COUNT), L"Jumpa: 1 baris");

    auto diary = Diary();
    ASSERT_EQ(diary.size(), 1u);
    const auto &row = diary[0];
    EXPECT_EQ(row[0].size(), 19u) << "time stamp";
    EXPECT_EQ(row[1], "1");
    EXPECT_EQ(Decode(row[2]), L"WA1234B");
    EXPECT_EQ(Decode(row[3]), L"05 Feb 2024");
    EXPECT_EQ(Decode(row[4]), L"MYVI 1.3 SILVER 2016");
    EXPECT_EQ(row[5], "D'CRUZ LEASING SDN BHD") << "the financier, apostrophe and all, in plain text";
    EXPECT_EQ(Decode(row[6]), L"7");
}

TEST_F(Search, UnknownAndDoublePlates) {
    Find(L"ZZZ9999");
    auto diary = Diary();
    ASSERT_EQ(diary.size(), 1u) << "exactly one not-found row";
    EXPECT_EQ(diary[0][1], "0");
    EXPECT_EQ(Decode(diary[0][2]), L"ZZZ9999");
    for (int c = 3; c <= 6; c++) EXPECT_EQ(diary[0][c], "") << c;
    EXPECT_EQ(Text(IDC_HIT_COUNT), L"");

    Find(L"BJK9921");
    diary = Diary();
    ASSERT_EQ(diary.size(), 3u) << "two found rows more";
    EXPECT_EQ(diary[1][1], "1");
    EXPECT_EQ(diary[2][1], "1");
    auto found = Found();
    ASSERT_GE(found.size(), 2u);
    EXPECT_EQ(found[0][0], Text(IDC_RESULT)) << "the row delivered last stands on top";
    EXPECT_NE(found[0][0], found[1][0]);
    EXPECT_EQ(Text(IDC_HIT_COUNT), L"Jumpa: 2 baris");
    std::wstring lines = found[0][0] + L"\n" + found[1][0];
    EXPECT_NE(lines.find(L"BJK9921 | BANK SATU | HILUX 2.5 WHITE"), std::wstring::npos) << "no arrears, no date";
    EXPECT_NE(lines.find(L"BJK9921 | 3 | BANK DUA | HILUX 2.5 WHITE"), std::wstring::npos);

    Find(L"GIM123");
    diary = Diary();
    ASSERT_EQ(diary.size(), 4u);
    EXPECT_EQ(Decode(diary[3][2]), L"G1M123") << "a misread series is searched and logged corrected";
    EXPECT_EQ(diary[3][1], "1");
}

TEST_F(Search, HistoryKeepsTheLastThreeInTheDiary) {
    for (const wchar_t *plate : {L"AAA1", L"BBB2", L"CCC3", L"DDD4"}) Find(plate);
    EXPECT_EQ(Text(IDC_FIND_HISTORY), L"DDD4\r\nCCC3\r\nBBB2\r\n");
    auto keys = Rows(L"C:\\KorvaneDiary.db", "select C1, C2 from PRS where C1 in ('FH1','FH2','FH3') order by C1");
    ASSERT_EQ(keys.size(), 3u);
    EXPECT_EQ(Decode(keys[0][1]), L"DDD4");
    EXPECT_EQ(Decode(keys[1][1]), L"CCC3");
    EXPECT_EQ(Decode(keys[2][1]), L"BBB2");

    // The empty entry changes nothing.
    Find(L"   ");
    EXPECT_EQ(Diary().size(), 4u);
    EXPECT_EQ(Text(IDC_FIND_HISTORY), L"DDD4\r\nCCC3\r\nBBB2\r\n");
}

TEST_F(Search, RemarkFieldsAreSavedAndComeBackOnTheNextSearch) {
    Find(L"WA1234B");
    HWND month = driver::FindControl(main_, IDC_LASTPAY_MONTH);
    HWND followMonth = driver::FindControl(main_, IDC_FOLLOWUP_MONTH);
    driver::SetText(driver::FindControl(main_, IDC_ARREARS), L"8");
    driver::SetText(driver::FindControl(main_, IDC_LASTPAY_DAY), L"7");
    SendMessageW(month, CB_SETCURSEL, 2, 0);
    driver::SetText(driver::FindControl(main_, IDC_LASTPAY_YEAR), L"2024");
    driver::SetText(driver::FindControl(main_, IDC_REMARK), L"CALL OWNER");
    driver::SetText(driver::FindControl(main_, IDC_FOLLOWUP_DAY), L"9");
    SendMessageW(followMonth, CB_SETCURSEL, 12, 0);
    driver::SetText(driver::FindControl(main_, IDC_FOLLOWUP_YEAR), L"2026");
    driver::Click(driver::FindControl(main_, IDC_SAVE));

    auto remarks = Rows(L"C:\\LastRemark.db", "select C1,C2,C3,C4,C5,C6,C7 from VLS");
    ASSERT_EQ(remarks.size(), 1u);
    EXPECT_EQ(Decode(remarks[0][0]), L"WA1234B");
    EXPECT_EQ(Decode(remarks[0][1]), L"8");
    EXPECT_EQ(Decode(remarks[0][2]), L"07 Feb 2024");
    EXPECT_EQ(Decode(remarks[0][4]), L"CALL OWNER");
    EXPECT_EQ(remarks[0][6], "2026-12-09");
    EXPECT_EQ(Text(IDC_LAST_SAVED), L"Last Saved at : " + std::wstring(remarks[0][5].begin(), remarks[0][5].end()));

    Find(L"AAA1");
    EXPECT_EQ(Text(IDC_REMARK), L"");
    Find(L"WA1234B");
    EXPECT_EQ(Text(IDC_ARREARS), L"8");
    EXPECT_EQ(Text(IDC_LASTPAY_DAY), L"07");
    EXPECT_EQ(SendMessageW(month, CB_GETCURSEL, 0, 0), 2);
    EXPECT_EQ(Text(IDC_LASTPAY_YEAR), L"2024");
    EXPECT_EQ(Text(IDC_REMARK), L"CALL OWNER");
    EXPECT_EQ(Text(IDC_FOLLOWUP_DAY), L"09");
    EXPECT_EQ(SendMessageW(followMonth, CB_GETCURSEL, 0, 0), 12);
    EXPECT_EQ(Text(IDC_FOLLOWUP_YEAR), L"2026");

    // A second Save updates the one row.
    driver::SetText(driver::FindControl(main_, IDC_REMARK), L"SEEN AT KL");
    driver::Click(driver::FindControl(main_, IDC_SAVE));
    remarks = Rows(L"C:\\LastRemark.db", "select C5 from VLS");
    ASSERT_EQ(remarks.size(), 1u);
    EXPECT_EQ(Decode(remarks[0][0]), L"SEEN AT KL");
}

TEST_F(Search, DateRulesStopSaveWithTheFieldAtFault) {
    Find(L"WA1234B");
    struct Case {
        const wchar_t *day;
        int month;
        const wchar_t *year;
        const wchar_t *message;
        int focus;
    } cases[] = {
        {L"", 3, L"", L"Sila masukkan tahun untuk LastPayment.", IDC_LASTPAY_YEAR},
        {L"1", 3, L"203", L"Tahun untuk LastPayment mestilah 4 digit.", IDC_LASTPAY_YEAR},
        {L"1", 3, L"1969", L"Tahun untuk LastPayment mestilah diantara 1970 dan 2040.", IDC_LASTPAY_YEAR},
        {L"1", 3, L"2041", L"Tahun untuk LastPayment mestilah diantara 1970 dan 2040.", IDC_LASTPAY_YEAR},
        {L"1", 0, L"2024", L"Sila pilih bulan untuk LastPayment.", IDC_LASTPAY_MONTH},
        {L"", 3, L"2024", L"Sila masukkan hari untuk LastPayment.", IDC_LASTPAY_DAY},
        {L"30", 2, L"2024", L"Hari untuk bulan 'Feb' untuk LastPayment mestilah diantara 1 dan 29.", IDC_LASTPAY_DAY},
        {L"29", 2, L"2023", L"Hari untuk bulan 'Feb' untuk LastPayment mestilah diantara 1 dan 28.", IDC_LASTPAY_DAY},
        {L"1'", 4, L"2024", L"Hari untuk bulan 'Apr' untuk LastPayment mestilah diantara 1 dan 30.", IDC_LASTPAY_DAY},
        {L"0", 1, L"2024", L"Hari untuk bulan 'Jan' untuk LastPayment mestilah diantara 1 dan 31.", IDC_LASTPAY_DAY},
    };
    for (const Case &c : cases) {
        driver::SetText(driver::FindControl(main_, IDC_LASTPAY_DAY), c.day);
        SendMessageW(driver::FindControl(main_, IDC_LASTPAY_MONTH), CB_SETCURSEL, c.month, 0);
        driver::SetText(driver::FindControl(main_, IDC_LASTPAY_YEAR), c.year);
        driver::PostClick(driver::FindControl(main_, IDC_SAVE));
        driver::MessageBoxInfo box;
        ASSERT_TRUE(driver::WaitForMessageBox(program_.pid(), 5000, &box)) << testsupport::Utf8(c.message);
        EXPECT_EQ(box.text, c.message);
        EXPECT_EQ(box.caption, L"");
        driver::AnswerMessageBox(box, IDOK);
        EXPECT_TRUE(WaitForFocus(c.focus)) << testsupport::Utf8(c.message) << ": focus on " << FocusedId();
    }
    EXPECT_TRUE(Rows(L"C:\\LastRemark.db", "select 1 from VLS").empty()) << "nothing was stored";

    // Leap day and an empty follow-up are fine: the follow-up is 'NULL'.
    driver::SetText(driver::FindControl(main_, IDC_LASTPAY_DAY), L"29");
    SendMessageW(driver::FindControl(main_, IDC_LASTPAY_MONTH), CB_SETCURSEL, 2, 0);
    driver::SetText(driver::FindControl(main_, IDC_LASTPAY_YEAR), L"2024");
    driver::Click(driver::FindControl(main_, IDC_SAVE));
    auto remarks = Rows(L"C:\\LastRemark.db", "select C3, C7 from VLS");
    ASSERT_EQ(remarks.size(), 1u);
    EXPECT_EQ(Decode(remarks[0][0]), L"29 Feb 2024");
    EXPECT_EQ(remarks[0][1], "NULL");
}

TEST_F(Search, F4UndoesOnlyWhatTheLastSearchWrote) {
    // Nothing searched yet: no question, and the keys stay with the entry.
    driver::MessageBoxInfo box;
    ASSERT_FALSE(PressF4(&box)) << testsupport::Utf8(box.text);
    EXPECT_EQ(FocusedId(), IDC_PLATE_ENTRY) << "typing after F4 lands in the plate entry";

    Find(L"ZZZ1");
    Find(L"BJK9921");
    ASSERT_TRUE(PressF4(&box));
    EXPECT_EQ(box.text, L"Adakah anda pasti yang anda ingin memadam baris ini?\r\nPlateNo = BJK9921");
    driver::AnswerMessageBox(box, IDYES);
    // The box can hand the focus back before the undo has run; the history
    // is rewritten last, after the diary rows are blanked.
    for (int i = 0; i < 250 && Text(IDC_FIND_HISTORY).rfind(L"BJK9921", 0) == 0; i++) Sleep(20);
    EXPECT_TRUE(WaitForFocus(IDC_PLATE_ENTRY));
    auto diary = Diary();
    ASSERT_EQ(diary.size(), 3u);
    EXPECT_EQ(Decode(diary[0][2]), L"ZZZ1") << "the earlier search stays";
    for (int r = 1; r <= 2; r++) {
        EXPECT_EQ(diary[r][1], "0") << r;
        EXPECT_EQ(diary[r][2], "") << "both rows of the undone search are blanked";
    }
    // A second F4 finds no plate left to undo: no question, the focus stays.
    EXPECT_FALSE(PressF4(&box)) << testsupport::Utf8(box.text);
    EXPECT_EQ(FocusedId(), IDC_PLATE_ENTRY);
}

// After a restart the last plate is still in the history, but the diary
// rows of its search belong to the run before: F4 asks, and on Yes takes
// back the plate's remark and history entry, never an old diary row.
TEST_F(Search, F4AfterARestartKeepsTheDiaryAndTheFocus) {
    Find(L"BJK9921");
    driver::SetText(driver::FindControl(main_, IDC_REMARK), L"CALL OWNER");
    driver::Click(driver::FindControl(main_, IDC_SAVE));
    ASSERT_EQ(Rows(L"C:\\LastRemark.db", "select 1 from VLS").size(), 1u);
    Restart();
    if (HasFatalFailure()) return;

    for (int answer : {IDNO, IDYES}) {
        driver::MessageBoxInfo box;
        ASSERT_TRUE(PressF4(&box)) << answer;
        EXPECT_EQ(box.text, L"Adakah anda pasti yang anda ingin memadam baris ini?\r\nPlateNo = BJK9921");
        driver::AnswerMessageBox(box, answer);
        EXPECT_TRUE(WaitForFocus(IDC_PLATE_ENTRY)) << answer << ": focus on " << FocusedId();
        driver::Settle(main_);
        EXPECT_EQ(Rows(L"C:\\LastRemark.db", "select 1 from VLS").size(), answer == IDNO ? 1u : 0u) << answer;
    }
    auto diary = Diary();
    ASSERT_EQ(diary.size(), 2u);
    EXPECT_EQ(Decode(diary[0][2]), L"BJK9921") << "the last run's rows stay";
    EXPECT_EQ(Decode(diary[1][2]), L"BJK9921");
    auto history = Rows(L"C:\\KorvaneDiary.db", "select C2 from PRS where C1 = 'FH1'");
    ASSERT_EQ(history.size(), 1u);
    EXPECT_EQ(Decode(history[0][0]), L"");
}

// A search that the diary cannot take (another program holds it locked,
// or it refuses the search's rows, as a full drive C does) still shows its
// hit; the agent is told once, in the agent's language, and goes on; the
// next search, once the cause is gone, is logged.
TEST_F(Search, ASearchTheDiaryCannotTakeIsShownAndSaidOnce) {
    struct Case {
        const char *name;
        const char *refuse;  // run on the diary before the search ("" for the lock alone)
        bool lock;           // a connection of this process holds the diary with BEGIN EXCLUSIVE
        const char *allow;   // undoes refuse
    } cases[] = {
        {"locked by another program", "", true, ""},
        {"the diary refuses its row", "CREATE TRIGGER refuse BEFORE INSERT ON VLS BEGIN SELECT RAISE(FAIL, 'disk full'); END",
         false, "DROP TRIGGER refuse"},
        {"the diary refuses every write",
         "CREATE TRIGGER refuse BEFORE INSERT ON VLS BEGIN SELECT RAISE(FAIL, 'disk full'); END;"
         "CREATE TRIGGER refuse2 BEFORE UPDATE ON PRS BEGIN SELECT RAISE(FAIL, 'disk full'); END",
         false, "DROP TRIGGER refuse; DROP TRIGGER refuse2"},
    };
    const std::wstring hit = L"WA1234B | 7 | 05 Feb 2024 | D'CRUZ LEASING SDN BHD | MYVI 1.3 SILVER 2016";
    size_t logged = 0;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        // The program keeps the diary's journal between its writes.
        testsupport::CheckDb holder(L"C:\\KorvaneDiary.db");
        holder.Exec("PRAGMA journal_mode = PERSIST");
        ASSERT_EQ(holder.Exec(c.refuse), SQLITE_OK) << holder.message();
        if (c.lock) {
            ASSERT_EQ(holder.Exec("BEGIN EXCLUSIVE"), SQLITE_OK) << holder.message();
        }
        driver::SetText(entry_, L"WA1234B");
        driver::PostClick(driver::FindControl(main_, IDC_FIND));
        driver::MessageBoxInfo box;
        ASSERT_TRUE(driver::WaitForMessageBox(program_.pid(), 10000, &box));
        EXPECT_EQ(Text(IDC_RESULT), hit) << "the hit is shown before the message";
        EXPECT_EQ(box.caption, L"Masaalah");
        EXPECT_EQ(box.text.rfind(L"Carian ini tidak dapat ditulis ke dalam Diary: Diary tidak dapat ditulis sekarang "
                                 L"(drive C mungkin penuh, atau program lain mungkin sedang menggunakan Diary).",
                                 0),
                  0u)
            << testsupport::Utf8(box.text);
        driver::AnswerMessageBox(box, IDOK);
        for (int i = 0; i < 250 && IsWindow(box.window); i++) Sleep(20);
        EXPECT_FALSE(driver::WaitForMessageBox(program_.pid(), 1000, &box)) << "another: " << testsupport::Utf8(box.text);
        DWORD code = 0;
        EXPECT_FALSE(program_.WaitForExit(0, &code)) << "the program goes on";
        EXPECT_EQ(Text(IDC_FIND_HISTORY).rfind(L"WA1234B\r\n", 0), 0u);

        if (c.lock) holder.Exec("ROLLBACK");
        ASSERT_EQ(holder.Exec(c.allow), SQLITE_OK) << holder.message();
        EXPECT_EQ(holder.Count("VLS"), (int)logged) << "nothing of the refused search was kept";
        Find(L"ZZZ9999");
        EXPECT_FALSE(driver::WaitForMessageBox(program_.pid(), 300, &box)) << testsupport::Utf8(box.text);
        auto diary = Diary();
        ASSERT_EQ(diary.size(), ++logged) << "the next search is logged";
        EXPECT_EQ(Decode(diary.back()[2]), L"ZZZ9999");
        auto history = Rows(L"C:\\KorvaneDiary.db", "select C2 from PRS where C1 = 'FH1'");
        ASSERT_EQ(history.size(), 1u);
        EXPECT_EQ(Decode(history[0][0]), L"ZZZ9999");
    }
}

// A statement that fails inside its transaction ends the program through
// its real shutdown with one message; the shutdown still stores the
// location and the e-mail text, unless the diary refuses every write.
TEST_F(Search, AFailedStatementEndsTheProgramWithOneMessage) {
    struct Case {
        const char *name;
        const char *remarkTriggers;   // what the remark book refuses
        const char *diaryTriggers;    // what the diary refuses
        const wchar_t *typed;         // the location field at the time
        const wchar_t *location;      // 'LOC' afterwards
    } cases[] = {
        {"remark row", "CREATE TRIGGER refuse BEFORE INSERT ON VLS BEGIN SELECT RAISE(ABORT, 'refused'); END", "",
         L"JALAN TUN RAZAK", L"JALAN TUN RAZAK"},
        {"every write", "CREATE TRIGGER refuse BEFORE INSERT ON VLS BEGIN SELECT RAISE(ABORT, 'refused'); END",
         "CREATE TRIGGER refuse2 BEFORE UPDATE ON PRS BEGIN SELECT RAISE(ABORT, 'refused'); END", L"KM 12",
         L"JALAN TUN RAZAK"},
    };
    for (const Case &c : cases) {
        Find(L"WA1234B");
        {
            testsupport::CheckDb remark(L"C:\\LastRemark.db");
            ASSERT_EQ(remark.Exec(c.remarkTriggers), SQLITE_OK) << c.name << ": " << remark.message();
            testsupport::CheckDb diary(L"C:\\KorvaneDiary.db");
            diary.Exec("PRAGMA journal_mode = PERSIST");  // the program keeps the diary's journal
            ASSERT_EQ(diary.Exec(c.diaryTriggers), SQLITE_OK) << c.name << ": " << diary.message();
        }
        driver::SetText(driver::FindControl(main_, IDC_LOCATION), c.typed);
        driver::SetText(driver::FindControl(main_, IDC_EMAIL), L"ejen@contoh.my");
        driver::SetText(driver::FindControl(main_, IDC_REMARK), L"CALL OWNER");
        driver::PostClick(driver::FindControl(main_, IDC_SAVE));
        driver::MessageBoxInfo box;
        ASSERT_TRUE(driver::WaitForMessageBox(program_.pid(), 10000, &box)) << c.name;
        EXPECT_EQ(box.caption, L"sql_stmt") << c.name;
        EXPECT_EQ(box.text.rfind(L"Error in statement: INSERT INTO VLS SELECT ", 0), 0u)
            << c.name << ": " << testsupport::Utf8(box.text);
        driver::AnswerMessageBox(box, IDOK);
        int more = 0;
        DWORD code = 1;
        for (int i = 0; i < 200 && !program_.WaitForExit(50, &code); i++) {
            if (driver::WaitForMessageBox(program_.pid(), 0, &box)) {
                ADD_FAILURE() << c.name << ": another message: " << testsupport::Utf8(box.text);
                driver::AnswerMessageBox(box, IDOK);
                more++;
            }
        }
        ASSERT_TRUE(program_.WaitForExit(0, &code)) << c.name << ": the program ends";
        EXPECT_EQ(more, 0) << c.name;
        main_ = NULL;
        {
            testsupport::CheckDb diary(L"C:\\KorvaneDiary.db");
            EXPECT_EQ(Decode(diary.One("select C2 from PRS where C1 = 'LOC'")), c.location) << c.name;
            diary.Exec("DROP TRIGGER IF EXISTS refuse2");
            testsupport::CheckDb remark(L"C:\\LastRemark.db");
            EXPECT_EQ(remark.Count("VLS"), 0) << c.name;
            remark.Exec("DROP TRIGGER IF EXISTS refuse");
        }
        Start();
        if (HasFatalFailure()) return;
    }
}

}  // namespace
