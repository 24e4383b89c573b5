// The real Korvane.exe ended by TerminateProcess while it commits a search,
// run after run: after each end the next start shows no message and sets
// nothing aside, and the diary holds every search whose result the program
// had shown (committed) before the end.
#include <winsock2.h>

#include <windows.h>

#include <gtest/gtest.h>
#include <strsafe.h>

#include <string.h>

#include <map>
#include <string>
#include <vector>

#include "cipher.h"
#include "crashjobs.h"
#include "datatool.h"
#include "driver.h"
#include "resource.h"
#include "schema.h"
#include "sqlite3.h"
#include "testsupport.h"

namespace {

const wchar_t kClass[] = L"KORVANE";
const wchar_t kDiary[] = L"C:\\KorvaneDiary.db";
const wchar_t kJournal[] = L"C:\\KorvaneDiary.db-journal";
const int kRuns = 30;

std::wstring Decode(const std::string &field) {
    WCHAR plain[kPlainBytes];
    DecodeField(LocalCipher, field.c_str(), plain);
    return plain;
}

// True while the diary on file is shorter than its header says: its commit
// has written the new first page and not yet the pages it adds.
bool DiaryCut(HANDLE file) {
    unsigned char head[32];
    DWORD got = 0;
    OVERLAPPED at = {};
    LARGE_INTEGER size;
    if (!ReadFile(file, head, sizeof head, &got, &at) || got != sizeof head || !GetFileSizeEx(file, &size))
        return false;
    unsigned pageSize = head[16] << 8 | head[17];
    if (pageSize == 1) pageSize = 65536;
    unsigned pages = (unsigned)head[28] << 24 | head[29] << 16 | head[30] << 8 | head[31];
    return (LONGLONG)pages * pageSize > size.QuadPart;
}

// The change counter in the header of the database on file.
unsigned ChangeCounter(HANDLE file) {
    unsigned char head[28];
    DWORD got = 0;
    OVERLAPPED at = {};
    if (!ReadFile(file, head, sizeof head, &got, &at) || got != sizeof head) return 0;
    return (unsigned)head[24] << 24 | head[25] << 16 | head[26] << 8 | head[27];
}

// True when the diary's journal on file is hot: its header is there until
// the commit is over (the diary keeps its journal and zeroes its header).
bool JournalHot(HANDLE file) {
    static const unsigned char kMagic[8] = {0xd9, 0xd5, 0x05, 0xf9, 0x20, 0xa1, 0x63, 0xd7};
    unsigned char head[8];
    DWORD got = 0;
    OVERLAPPED at = {};
    return ReadFile(file, head, sizeof head, &got, &at) && got == sizeof head && memcmp(head, kMagic, 8) == 0;
}

HANDLE OpenShared(const wchar_t *path) {
    return CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL, OPEN_EXISTING,
                       0, NULL);
}

class KilledProgram : public testing::Test {
  protected:
    static void SetUpTestSuite() { KeyCipherContexts(); }
    void SetUp() override {
        folder_ = L"C:\\KorvaneKilled\\";
        ASSERT_TRUE(testsupport::PrepareProgramFolder(folder_));
        for (const std::wstring &name : testsupport::MatchingFiles(L"C:\\*DAMAGED*")) DeleteFileW((L"C:\\" + name).c_str());
        std::string error;
        std::wstring data = folder_ + L"KorvaneData.db";
        ASSERT_EQ(datatool::MakeDataFile(data.c_str(), 200, 5, &error), 0) << error;
        std::vector<datatool::VehicleRecord> wanted = {{L"WKL0001", L"7", L"05 Feb 2024", L"MYVI", L"BANK SATU"}};
        ASSERT_EQ(datatool::AddVehicles(data.c_str(), wanted, &error), 0) << error;
    }
    void TearDown() override {
        driver::Kill(program_);
        program_.Close();
        testsupport::RemoveTree(folder_);
    }

    // Starts the program; true once its main window is up with no message
    // box over it.
    bool StartQuietly(std::string *said) {
        if (!driver::Start(folder_ + L"Korvane.exe", folder_, &program_)) {
            *said = "does not start";
            return false;
        }
        for (int i = 0; i < 600; i++) {
            driver::MessageBoxInfo box;
            if (driver::WaitForMessageBox(program_.pid, 0, &box)) {
                *said = testsupport::Utf8(box.caption + L": " + box.text);
                return false;
            }
            main_ = driver::WaitForWindow(program_.pid, kClass, kProgramTitle, 0);
            if (main_ != NULL) break;
            Sleep(50);
        }
        if (main_ == NULL) {
            *said = "no main window";
            return false;
        }
        entry_ = driver::FindControl(main_, IDC_PLATE_ENTRY);
        driver::Settle(main_);
        driver::MessageBoxInfo box;
        if (driver::WaitForMessageBox(program_.pid, 300, &box)) {
            *said = testsupport::Utf8(box.caption + L": " + box.text);
            return false;
        }
        return entry_ != NULL;
    }
    // Closes the program as the agent does.
    void Close() {
        PostMessageW(main_, WM_CLOSE, 0, 0);
        DWORD code = 0;
        EXPECT_TRUE(driver::WaitForExit(program_, 10000, &code));
        program_.Close();
        main_ = NULL;
    }
    // A whole search: back once the program shows the plate searched.
    void Search(const std::wstring &plate) {
        driver::SetText(entry_, plate);
        driver::Click(driver::FindControl(main_, IDC_FIND));
    }
    // The plates of the diary's rows, with how often each is there.
    std::map<std::wstring, int> DiaryPlates() {
        std::map<std::wstring, int> plates;
        for (const auto &row : testsupport::ReadBookRows(kDiary, "select C3 from VLS")) {
            if (!row.empty() && row[0].compare(0, 6, "ERROR:") == 0) {
                plates[L"<" + std::wstring(row[0].begin(), row[0].end()) + L">"]++;
                continue;
            }
            if (!row.empty() && !row[0].empty()) plates[Decode(row[0])]++;
        }
        return plates;
    }

    std::wstring folder_;
    driver::Program program_;
    HWND main_ = NULL;
    HWND entry_ = NULL;
};

TEST_F(KilledProgram, EndedDuringASearchsCommitComesBackWhole) {
    std::string said;
    ASSERT_TRUE(StartQuietly(&said)) << said;
    std::map<std::wstring, int> committed;
    int hot = 0, cut = 0;  // kills that left a hot journal, and a diary shorter than its header
    for (int run = 0; run < kRuns; run++) {
        // A few whole searches, then one that is ended: after a delay from
        // the click, or as soon as its commit has begun writing the journal.
        for (int i = 0; i < 1 + run % 3; i++) {
            WCHAR plate[16];
            StringCchPrintfW(plate, ARRAYSIZE(plate), L"WKL%02d%02d", run, i);
            Search(plate);
            committed[plate]++;
        }
        WCHAR last[16];
        StringCchPrintfW(last, ARRAYSIZE(last), L"WKL%02d99", run);
        driver::SetText(entry_, last);
        HANDLE diary = OpenShared(kDiary), journal = OpenShared(kJournal);
        unsigned counter = ChangeCounter(diary);
        driver::PostClick(driver::FindControl(main_, IDC_FIND));
        DWORD until = GetTickCount() + 1500;
        switch (run % 3) {
        case 0:  // after a delay from the click
            Sleep((DWORD)(run * 3 % 40));
            break;
        case 1:  // once a commit has begun, and a little later each run
            while (!JournalHot(journal) && GetTickCount() < until) {
            }
            for (volatile int spin = 0; spin < (run / 3) * 3000; spin = spin + 1) {
            }
            break;
        default:  // as soon as the commit has written the diary's first page
            while (ChangeCounter(diary) == counter && GetTickCount() < until) {
            }
            break;
        }
        TerminateProcess(program_.process, 9);
        WaitForSingleObject(program_.process, 10000);
        program_.Close();
        main_ = NULL;
        cut += DiaryCut(diary);
        hot += JournalHot(journal);
        for (HANDLE file : {diary, journal})
            if (file != INVALID_HANDLE_VALUE) CloseHandle(file);

        ASSERT_TRUE(StartQuietly(&said)) << "run " << run << ": the start after the kill says: " << said;
        EXPECT_TRUE(testsupport::MatchingFiles(L"C:\\*DAMAGED*").empty()) << "run " << run << ": a book set aside";
        std::map<std::wstring, int> plates = DiaryPlates();
        for (const auto &entry : committed) {
            EXPECT_EQ(plates[entry.first], entry.second)
                << "run " << run << ": " << testsupport::Utf8(entry.first) << " committed before the kill";
        }
        if (plates[last] > 0) committed[last] = plates[last];
        if (HasFailure()) break;
    }
    printf("[ crash    ] Korvane.exe: %d kills, %d left a hot journal, %d a diary shorter than its header\n", kRuns,
           hot, cut);
    Close();
    testsupport::CheckDb db(kDiary);
    EXPECT_EQ(db.One("PRAGMA integrity_check"), "ok");
}

// The engine's own state of a diary killed in a commit that adds pages: a
// hot journal beside a file whose new first page says it is longer than it
// is. The program's Import Diary (crash_writer) makes it on copies of the
// program's own books, ended once it has written that page.
TEST_F(KilledProgram, ADiaryShorterThanItsHeaderBesideItsHotJournalStartsWhole) {
    using namespace crashjobs;
    std::string said;
    ASSERT_TRUE(StartQuietly(&said)) << said;
    const std::vector<std::wstring> plates = {L"WKL0001", L"BKX1", L"CDE22"};
    for (const std::wstring &plate : plates) Search(plate);
    Close();

    std::wstring work = folder_ + L"writer\\";
    auto fresh = [&]() {
        testsupport::RemoveTree(work);
        ASSERT_TRUE(CreateDirectoryW(work.c_str(), NULL));
        for (const wchar_t *book : {kDiaryFile, kInitFile, kRemarkFile})
            ASSERT_TRUE(testsupport::CopyOneFile(std::wstring(L"C:\\") + book, work + book));
        ASSERT_TRUE(testsupport::CopyOneFile(folder_ + kDataFile, work + kDataFile));
        std::string error;
        ASSERT_EQ(datatool::MakeDiaryFile((work + kImportDiaryFile).c_str(), kDiarySchemaCurrent, 300, false, {},
                                          &error),
                  0)
            << error;
    };
    fresh();
    ASSERT_EQ(RunCrashWriter("importdiary", work, 0, kKillBefore), 0u) << ReadNote(work + kMessagesFile);
    std::vector<std::string> points = PassedPoints(work);
    const std::string kFirstPage = " at 0 of KorvaneDiary.db";
    long firstPage = 0;
    for (size_t i = 0; i < points.size() && firstPage == 0; i++)
        if (points[i].size() >= kFirstPage.size() &&
            points[i].compare(points[i].size() - kFirstPage.size(), kFirstPage.size(), kFirstPage) == 0)
            firstPage = (long)i + 1;
    ASSERT_GT(firstPage, 0) << "the import writes no first page of the diary";
    fresh();
    ASSERT_EQ(RunCrashWriter("importdiary", work, firstPage + 1, kKillBefore), (DWORD)kKilledExitCode);
    HANDLE diary = OpenShared((work + kDiaryFile).c_str()), journal = OpenShared((work + kDiaryFile + L"-journal").c_str());
    bool cut = DiaryCut(diary), hot = JournalHot(journal);
    CloseHandle(diary);
    CloseHandle(journal);
    ASSERT_TRUE(cut && hot) << "killed at " << ReadNote(work + kKilledFile) << ": cut " << cut << ", hot " << hot;
    for (const std::wstring &file : {std::wstring(kDiaryFile), std::wstring(kDiaryFile) + L"-journal"})
        ASSERT_TRUE(testsupport::CopyOneFile(work + file, L"C:\\" + file));

    ASSERT_TRUE(StartQuietly(&said)) << "the start after the kill says: " << said;
    EXPECT_TRUE(testsupport::MatchingFiles(L"C:\\*DAMAGED*").empty()) << "a book set aside";
    std::map<std::wstring, int> expected;
    for (const std::wstring &plate : plates) expected[plate] = 1;
    EXPECT_EQ(DiaryPlates(), expected) << "the searches before the import, and nothing of the import";
    Close();
    testsupport::CheckDb db(kDiary);
    EXPECT_EQ(db.One("PRAGMA integrity_check"), "ok");
}

}  // namespace
