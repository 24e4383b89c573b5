// Start-up's checks of the books and the data file, on files in a scratch
// folder: what is made afresh, what is set aside and under which name, and
// what of the data file a search needs.
#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <vector>

#include "bookcheck.h"
#include "cipher.h"
#include "datatool.h"
#include "sqlite3.h"
#include "testsupport.h"

namespace {

using testsupport::CheckDb;
using testsupport::ScratchFolder;

std::vector<unsigned char> Bytes(const std::wstring &path) {
    std::vector<unsigned char> bytes;
    EXPECT_TRUE(testsupport::ReadFileBytes(path, &bytes));
    return bytes;
}

class BookCheck : public testing::Test {
  protected:
    static void SetUpTestSuite() { KeyCipherContexts(); }
    BookCheck() : dir_(L"bookcheck") {}
    BookFile Diary() const { return {diary_.c_str(), L"Diary - DAMAGED", "PRS", true, true}; }

    ScratchFolder dir_;
    std::wstring diary_ = dir_.File(L"Diary.db");
};

// A standard file is judged on a converted copy: a diary is converted in
// place as before, anything else is set aside with its standard bytes.
TEST_F(BookCheck, StandardFilesAreConvertedOnlyWhenTheyAreBooks) {
    std::wstring fixtures = testsupport::HostFolderFromEnv("KORVANE_FIXTURES");
    ASSERT_FALSE(fixtures.empty()) << "KORVANE_FIXTURES is not set";
    WCHAR temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    size_t copiesBefore = testsupport::MatchingFiles(std::wstring(temp) + L"kvb*").size();

    ASSERT_TRUE(testsupport::CopyOneFile(fixtures + L"standard-1024.db", diary_));
    WCHAR aside[256];
    EXPECT_EQ(PrepareBookFile(Diary(), aside), kBookReady);
    EXPECT_EQ(aside[0], 0);
    std::vector<unsigned char> converted = Bytes(diary_);
    EXPECT_EQ(std::string(converted.begin(), converted.begin() + 15), "ZELD DATABASE 3");
    {
        CheckDb db(diary_);
        EXPECT_EQ(db.One("select count(*) from VLS"), "3000");
    }

    ASSERT_TRUE(DeleteFileW(diary_.c_str()));
    ASSERT_TRUE(testsupport::CopyOneFile(fixtures + L"standard-other.db", diary_));
    std::vector<unsigned char> other = Bytes(diary_);
    EXPECT_EQ(PrepareBookFile(Diary(), aside), kBookSetAside);
    EXPECT_FALSE(testsupport::FileExists(diary_));
    EXPECT_TRUE(Bytes(aside) == other) << "set aside with the bytes it came with";
    EXPECT_EQ(testsupport::MatchingFiles(std::wstring(temp) + L"kvb*").size(), copiesBefore) << "the trial copy is gone";
}

// The set-aside name has the backup names' form beside the book; another
// one in the same second takes the next free name, and a journal goes with
// its book. An empty book is simply removed, read-only or not.
TEST_F(BookCheck, SetAsideNamesNeverReplaceAFile) {
    const std::vector<unsigned char> journal(700, 0x11);
    std::vector<std::wstring> aside;
    std::vector<std::vector<unsigned char>> kept;
    for (int i = 0; i < 3; i++) {
        kept.push_back(std::vector<unsigned char>(3000 + 100 * (size_t)i, (unsigned char)(0x50 + i)));
        ASSERT_TRUE(testsupport::WriteFileBytes(diary_, kept.back()));
        if (i == 0) {
            ASSERT_TRUE(testsupport::WriteFileBytes(diary_ + L"-journal", journal));
        }
        WCHAR name[256];
        ASSERT_EQ(PrepareBookFile(Diary(), name), kBookSetAside);
        aside.push_back(name);
    }
    // "Diary - DAMAGED 2026-DEC-10 14_05_09.db"
    std::wstring name = aside[0].substr(dir_.path().size());
    ASSERT_EQ(name.size(), wcslen(L"Diary - DAMAGED 2026-DEC-10 14_05_09.db")) << testsupport::Utf8(name);
    EXPECT_EQ(name.substr(0, 16), L"Diary - DAMAGED ");
    EXPECT_EQ(name[20], L'-');
    EXPECT_TRUE(iswupper(name[21]) && iswupper(name[22]) && iswupper(name[23])) << "the month as in backups";
    EXPECT_EQ(name.substr(name.size() - 3), L".db");

    bool taken = false;
    for (int i = 0; i < 3; i++) {
        EXPECT_TRUE(Bytes(aside[i]) == kept[i]) << i;
        if (aside[i].size() > 7 && aside[i].substr(aside[i].size() - 7) == L" (2).db") {
            taken = true;
            EXPECT_EQ(aside[i], aside[i - 1].substr(0, aside[i - 1].size() - 3) + L" (2).db");
        }
    }
    EXPECT_TRUE(taken) << "three in a row share a second at least once";
    EXPECT_TRUE(Bytes(aside[0] + L"-journal") == journal) << "the journal went with its book";
    EXPECT_FALSE(testsupport::FileExists(diary_ + L"-journal"));

    ASSERT_TRUE(testsupport::WriteFileBytes(diary_, {}));
    ASSERT_TRUE(SetFileAttributesW(diary_.c_str(), FILE_ATTRIBUTE_READONLY));
    WCHAR none[256];
    EXPECT_EQ(PrepareBookFile(Diary(), none), kBookMissing);
    EXPECT_FALSE(testsupport::FileExists(diary_));
}

// A damaged book whose journal cannot go with it (held open by another
// program) is not set aside: apart from its journal it could never be
// brought back. It keeps its name, and start-up takes it as stuck.
TEST_F(BookCheck, ABookWhoseJournalCannotMoveStaysWhereItIs) {
    const std::vector<unsigned char> damaged(3000, 0x5A), journal(700, 0x11);
    ASSERT_TRUE(testsupport::WriteFileBytes(diary_, damaged));
    ASSERT_TRUE(testsupport::WriteFileBytes(diary_ + L"-journal", journal));
    HANDLE held = CreateFileW((diary_ + L"-journal").c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    WCHAR aside[256];
    EXPECT_EQ(PrepareBookFile(Diary(), aside), kBookStuck);
    EXPECT_EQ(aside[0], 0);
    CloseHandle(held);
    EXPECT_TRUE(Bytes(diary_) == damaged);
    EXPECT_TRUE(Bytes(diary_ + L"-journal") == journal);
    EXPECT_TRUE(testsupport::MatchingFiles(dir_.File(L"Diary - DAMAGED *")).empty());

    // Free again, the two go aside together.
    EXPECT_EQ(PrepareBookFile(Diary(), aside), kBookSetAside);
    EXPECT_TRUE(Bytes(aside) == damaged);
    EXPECT_TRUE(Bytes(std::wstring(aside) + L"-journal") == journal);
}

// A big healthy book is not read whole at each start: damage where
// start-up and a search read it is still found.
TEST_F(BookCheck, ABigBookIsCheckedWhereStartUpAndASearchReadIt) {
    std::string error;
    std::wstring big = dir_.File(L"big.db");
    ASSERT_EQ(datatool::MakeDiaryFile(big.c_str(), 15, 40000, false, {}, &error), 0) << error;
    std::vector<unsigned char> sound = Bytes(big);
    ASSERT_GT(sound.size(), 4u << 20);
    const size_t page = ((size_t)sound[16] << 8) | sound[17];
    size_t settings = 0;
    {
        CheckDb db(big);
        settings = (size_t)atoi(db.One("SELECT rootpage FROM ZELDdb_master WHERE name = 'PRS'").c_str());
    }
    ASSERT_GT(settings, 1u);
    struct Case {
        const char *name;
        size_t offset, length;  // bytes overwritten
        int expected;
    } cases[] = {
        {"sound", 0, 0, kBookReady},
        {"the schema page", 100, page - 100, kBookSetAside},
        {"the settings table", (settings - 1) * page, page, kBookSetAside},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<unsigned char> bytes = sound;
        std::fill_n(bytes.begin() + (long)c.offset, c.length, (unsigned char)0xA5);
        ASSERT_TRUE(testsupport::WriteFileBytes(diary_, bytes));
        WCHAR aside[256];
        EXPECT_EQ(PrepareBookFile(Diary(), aside), c.expected);
        if (aside[0] != 0) DeleteFileW(aside);
    }
}

// What a search needs of the data file, table by table; the checks never
// write to it.
TEST_F(BookCheck, DataFileChecksFindWhatASearchNeeds) {
    std::wstring data = dir_.File(L"KorvaneData.db");
    std::string error;
    struct Case {
        const char *damage;      // run on a sound file; "" none
        int expected;
        const char *detail;
    } cases[] = {
        {"", SQLITE_OK, ""},
        {"DROP INDEX idxC1; CREATE INDEX idxC2 ON VLD(C2, C1)", SQLITE_CORRUPT, "no index on VLD.C1"},
        {"DROP TABLE VLD", SQLITE_CORRUPT, "no such table: VLD"},
        {"DROP TABLE PRD", SQLITE_CORRUPT, "no such table: PRD"},
        {"DELETE FROM VLD", SQLITE_OK, ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.damage);
        ASSERT_EQ(datatool::MakeDataFile(data.c_str(), 300, 3, &error), 0) << error;
        {
            CheckDb db(data);
            ASSERT_EQ(db.Exec(c.damage), SQLITE_OK) << db.message();
        }
        std::vector<unsigned char> before = Bytes(data);
        char detail[256] = "";
        ASSERT_EQ(CheckDataFileHeader(data.c_str(), detail, sizeof detail), SQLITE_OK) << detail;
        CheckDb db(data);
        EXPECT_EQ(CheckDataConnection(db.handle(), detail, sizeof detail), c.expected);
        if (c.expected != SQLITE_OK) {
            EXPECT_STREQ(detail, c.detail);
        }
        EXPECT_TRUE(Bytes(data) == before);
    }

    // Cut short, or another program's file: refused by the header alone.
    std::vector<unsigned char> bytes = Bytes(data);
    bytes.resize(bytes.size() - 4096);
    ASSERT_TRUE(testsupport::WriteFileBytes(data, bytes));
    char detail[256] = "";
    EXPECT_EQ(CheckDataFileHeader(data.c_str(), detail, sizeof detail), SQLITE_CORRUPT);
    EXPECT_STREQ(detail, "file is shorter than its header says");
    std::wstring fixtures = testsupport::HostFolderFromEnv("KORVANE_FIXTURES");
    EXPECT_EQ(CheckDataFileHeader((fixtures + L"standard-other.db").c_str(), detail, sizeof detail), SQLITE_NOTADB);
}

// The failures the running test has met so far.
int FailureCount() {
    const testing::TestResult *result = testing::UnitTest::GetInstance()->current_test_info()->result();
    int failures = 0;
    for (int i = 0; i < result->total_part_count(); i++) failures += result->GetTestPartResult(i).failed();
    return failures;
}

// Gives a database and its journal the standard magic, as a standard engine
// (a phone's) would have left them: in the file's header and in the image
// of page 1 that the journal holds. The journal's checksums do not cover
// those bytes.
void MakeStandard(const std::wstring &path) {
    const char kStandard[16] = "SQLite format 3";
    std::vector<unsigned char> bytes = Bytes(path);
    if (bytes.size() >= 16) std::copy(kStandard, kStandard + 16, bytes.begin());
    ASSERT_TRUE(testsupport::WriteFileBytes(path, bytes));
    if (!testsupport::FileExists(path + L"-journal")) return;
    std::vector<unsigned char> journal = Bytes(path + L"-journal");
    auto word = [&](size_t at) {
        return ((size_t)journal[at] << 24) | ((size_t)journal[at + 1] << 16) | ((size_t)journal[at + 2] << 8) |
               journal[at + 3];
    };
    if (journal.size() < 28) return;
    const size_t sector = word(20), page = word(24);
    if (sector == 0 || page == 0) return;
    for (size_t at = sector; at + page + 8 <= journal.size(); at += page + 8) {
        if (word(at) == 1) std::copy(kStandard, kStandard + 16, journal.begin() + (long)at + 4);
    }
    ASSERT_TRUE(testsupport::WriteFileBytes(path + L"-journal", journal));
}

// A book or data file killed at every point of a commit that grows it, as
// the engine leaves it (a hot journal beside a file that may be shorter
// than its new header says): start-up's checks bring it back whole, with
// nothing set aside, every committed row there and the commit wholly done
// or not at all.
TEST_F(BookCheck, AKillAtAnyPointOfACommitLeavesTheFileWhole) {
    enum Kind { kDiary, kRemark, kData };
    struct Case {
        const char *name;
        Kind kind;
        const char *commit;  // the transaction killed
        const char *rows;    // what must come back
        bool standard;       // the files as a standard engine leaves them
    } cases[] = {
        {"diary", kDiary,
         "PRAGMA journal_mode = PERSIST; BEGIN; INSERT INTO VLS SELECT * FROM VLS; "
         "UPDATE PRS SET C2 = 'x' WHERE C1 = 'LOC'; COMMIT",
         "SELECT count(*) || ':' || group_concat(C1 || C3, ',') FROM (SELECT C1, C3 FROM VLS ORDER BY rowid)", false},
        {"diary of a standard engine", kDiary, "BEGIN; INSERT INTO VLS SELECT * FROM VLS; COMMIT",
         "SELECT count(*) || ':' || group_concat(C1 || C3, ',') FROM (SELECT C1, C3 FROM VLS ORDER BY rowid)", true},
        {"remark book", kRemark, "BEGIN; INSERT INTO VLS(C1, C2) SELECT C1 || 'X', C2 FROM VLS; COMMIT",
         "SELECT count(*) || ':' || group_concat(C1, ',') FROM (SELECT C1 FROM VLS ORDER BY rowid)", false},
        {"data file", kData, "BEGIN; INSERT INTO VLD SELECT * FROM VLD; COMMIT",
         "SELECT count(*) || ':' || group_concat(C1, ',') FROM (SELECT C1 FROM VLD ORDER BY rowid)", false},
        {"data file, as an update writes it", kData,
         "PRAGMA synchronous = OFF; PRAGMA locking_mode = EXCLUSIVE; BEGIN; UPDATE VLD SET C2 = C2 || 'X'; "
         "INSERT INTO VLD SELECT * FROM VLD; COMMIT",
         "SELECT count(*) || ':' || group_concat(C1 || C2, ',') FROM (SELECT C1, C2 FROM VLD ORDER BY rowid)", false},
    };
    std::wstring pristine = dir_.File(L"pristine.db"), live = dir_.File(L"live.db"),
                 crashed = dir_.File(L"crashed.db");
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        std::string error;
        int made = c.kind == kDiary    ? datatool::MakeDiaryFile(pristine.c_str(), 15, 300, false, {}, &error)
                   : c.kind == kRemark ? datatool::MakeRemarkFile(pristine.c_str(), 1002, 300, {}, &error)
                                       : datatool::MakeDataFile(pristine.c_str(), 300, 5, &error);
        ASSERT_EQ(made, 0) << error;
        DeleteFileW((pristine + L"-journal").c_str());
        std::string before, after;
        {
            CheckDb db(pristine);
            before = db.One(c.rows);
        }
        // The commit's kill points: one before each change to the file or
        // its journal.
        auto commitOnce = [&](int killAt) {
            DeleteFileW((live + L"-journal").c_str());
            EXPECT_TRUE(testsupport::CopyOneFile(pristine, live));
            testsupport::CrashCopy crash(live, killAt, crashed);
            EXPECT_TRUE(crash.installed());
            {
                CheckDb db(live);
                EXPECT_EQ(db.Exec(c.commit), SQLITE_OK) << db.message();
                if (killAt == 0) after = db.One(c.rows);
            }
            EXPECT_EQ(crash.copied(), killAt > 0);
            return crash.changes();
        };
        const int points = commitOnce(0);
        ASSERT_GT(points, 10);
        ASSERT_NE(before, after);

        int cut = 0;  // points where the file was shorter than its header said
        const int failuresBefore = FailureCount();
        for (int at = 1; at <= points; at++) {
            SCOPED_TRACE("killed before change " + std::to_string(at) + " of " + std::to_string(points));
            commitOnce(at);
            if (c.standard) {
                MakeStandard(crashed);
            }
            std::vector<unsigned char> bytes = Bytes(crashed);
            ASSERT_GE(bytes.size(), 100u);
            size_t page = ((size_t)bytes[16] << 8) | bytes[17];
            size_t pages = ((size_t)bytes[28] << 24) | ((size_t)bytes[29] << 16) | ((size_t)bytes[30] << 8) | bytes[31];
            if (bytes.size() < page * pages && testsupport::FileExists(crashed + L"-journal")) cut++;

            char detail[256] = "";
            if (c.kind == kData) {
                EXPECT_NE(RollBackHotJournal(crashed.c_str()), (int)kJournalKept);
                EXPECT_EQ(CheckDataFileHeader(crashed.c_str(), detail, sizeof detail), SQLITE_OK) << detail;
                CheckDb db(crashed);
                EXPECT_EQ(CheckDataConnection(db.handle(), detail, sizeof detail), SQLITE_OK) << detail;
            } else {
                const BookFile book = {crashed.c_str(), L"crashed - DAMAGED", "PRS", true, true};
                WCHAR aside[256];
                EXPECT_EQ(PrepareBookFile(book, aside), kBookReady) << testsupport::Utf8(aside);
                EXPECT_TRUE(testsupport::MatchingFiles(dir_.File(L"crashed - DAMAGED *")).empty());
            }
            std::vector<unsigned char> now = Bytes(crashed);
            EXPECT_TRUE(now.size() >= 16 && memcmp(now.data(), "ZELD DATABASE 3", 16) == 0) << "the program's format";
            CheckDb db(crashed);
            EXPECT_EQ(db.One("PRAGMA integrity_check"), "ok");
            std::string rows = db.One(c.rows);
            EXPECT_TRUE(rows == before || rows == after) << "the commit wholly done or not at all";
            if (FailureCount() > failuresBefore) break;  // the first point that fails tells enough
        }
        EXPECT_GT(cut, 0) << "some kill points leave a file shorter than its header says";
        for (const std::wstring &name : testsupport::MatchingFiles(dir_.File(L"crashed - DAMAGED *")))
            DeleteFileW(dir_.File(name).c_str());
        for (const std::wstring &path : {pristine, live, crashed}) {
            DeleteFileW(path.c_str());
            DeleteFileW((path + L"-journal").c_str());
        }
    }
}

}  // namespace
