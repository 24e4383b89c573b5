// Start-up's checks of the books and the data file, on files in a scratch
// folder: what is made afresh, what is set aside and under which name, and
// what of the data file a search needs.
#include <gtest/gtest.h>

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

}  // namespace
