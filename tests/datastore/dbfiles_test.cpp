// Database file conversion, backup names and paths.
#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <vector>

#include "datastore.h"
#include "dbfiles.h"
#include "testsupport.h"

using testsupport::ReadFileBytes;
using testsupport::ScratchFolder;
using testsupport::WriteFileBytes;

namespace {

SYSTEMTIME At(int year, int month, int day, int hour, int minute, int second) {
    SYSTEMTIME t = {};
    t.wYear = (WORD)year;
    t.wMonth = (WORD)month;
    t.wDay = (WORD)day;
    t.wHour = (WORD)hour;
    t.wMinute = (WORD)minute;
    t.wSecond = (WORD)second;
    return t;
}

TEST(BackupNames, MonthsAndOutOfRange) {
    const wchar_t *expected[] = {L"JAN", L"FEB", L"MAR", L"APR", L"MAY", L"JUN",
                                 L"JUL", L"AUG", L"SEP", L"OCT", L"NOV", L"DEC"};
    WCHAR month[8];
    for (int m = 1; m <= 12; m++) {
        MonthAbbreviation(m, month, ARRAYSIZE(month));
        EXPECT_STREQ(month, expected[m - 1]) << m;
    }
    for (int m : {0, 13, -1, 65535}) {
        wcscpy_s(month, L"xx");
        MonthAbbreviation(m, month, ARRAYSIZE(month));
        EXPECT_STREQ(month, L"") << m;
    }
}

TEST(BackupNames, FormattedFromTheGivenTime) {
    WCHAR path[kPathChars];
    SYSTEMTIME t = At(2026, 12, 9, 8, 56, 33);
    FormatBackupPath(path, ARRAYSIZE(path), L"KorvaneDiary - BACKUP", &t);
    EXPECT_STREQ(path, L"c:\\KorvaneDiary - BACKUP 2026-DEC-09 08_56_33.db");
    t = At(2027, 1, 2, 23, 5, 7);
    FormatBackupPath(path, ARRAYSIZE(path), L"LastRemark - BACKUP", &t);
    EXPECT_STREQ(path, L"c:\\LastRemark - BACKUP 2027-JAN-02 23_05_07.db");
    t = At(2026, 13, 9, 8, 56, 33);
    FormatBackupPath(path, ARRAYSIZE(path), L"LastRemark - BACKUP", &t);
    EXPECT_STREQ(path, L"c:\\LastRemark - BACKUP 2026--09 08_56_33.db");

    // A short buffer gets a cut, terminated name.
    WCHAR small[12];
    FormatBackupPath(small, ARRAYSIZE(small), L"KorvaneDiary - BACKUP", &t);
    EXPECT_EQ(wcslen(small), ARRAYSIZE(small) - 1);

    MakeDiaryBackupPath(path, ARRAYSIZE(path));
    EXPECT_EQ(std::wstring(path).rfind(L"c:\\KorvaneDiary - BACKUP 2", 0), 0u);
    MakeRemarkBackupPath(path, ARRAYSIZE(path));
    EXPECT_EQ(std::wstring(path).rfind(L"c:\\LastRemark - BACKUP 2", 0), 0u);
}

TEST(DatabasePaths, FixedPlacesAndProgramFolder) {
    BuildDatabasePaths(L"C:\\Users\\A\\Desktop\\");
    EXPECT_STREQ(DataDbPath, L"C:\\Users\\A\\Desktop\\KorvaneData.db");
    EXPECT_STREQ(InitDbPath, L"c:\\KorvaneInit.db");
    EXPECT_STREQ(DiaryDbPath, L"c:\\KorvaneDiary.db");
    EXPECT_STREQ(TempDiaryDbPath, L"c:\\Temp_KorvaneDiary.db");
    EXPECT_STREQ(RemarkDbPath, L"c:\\LastRemark.db");
    EXPECT_STREQ(RemarkBackupPath, L"c:\\LastRemark - BACKUP.db");
}

TEST(FindPrefix, WindowBounds) {
    unsigned char bytes[32];
    memset(bytes, 'x', sizeof bytes);
    memcpy(bytes + 10, "sqlite", 6);
    EXPECT_EQ(FindSqlitePrefix(bytes, 0, 17), 10);  // offsets 0..10
    EXPECT_EQ(FindSqlitePrefix(bytes, 0, 16), 0);   // offsets 0..9
    EXPECT_EQ(FindSqlitePrefix(bytes, 11, 20), 0);
    EXPECT_EQ(FindSqlitePrefix(bytes, 0, 6), 0);    // count below 7
    memcpy(bytes + 20, "SQLite", 6);
    EXPECT_EQ(FindSqlitePrefix(bytes, 11, 20), 0) << "exact lower case only";
}

TEST(DataMapSize, RoomInTheAddressSpace) {
    const long long mb = 1024 * 1024;
    const long long all = kDataMapMiB * mb;
    struct Case {
        long long file, largest, total, map;
        const char *what;
    } cases[] = {
        {591 * mb, 1008 * mb, 1040 * mb, all, "a large-address-aware process under Wine: the whole book"},
        {591 * mb, 3000 * mb, 3500 * mb, all, "64-bit Windows"},
        {20 * mb, 40 * mb, 400 * mb, all, "a small book in a small block"},
        {900 * mb, 3000 * mb, 3500 * mb, all, "a book larger than the most mapped: its first part"},
        {591 * mb, 467 * mb, 500 * mb, 180 * mb, "2 GB under Wine: the part that leaves the headroom"},
        {591 * mb, 200 * mb, 1500 * mb, 200 * mb, "a scattered space: the largest block"},
        {591 * mb, 200 * mb + 12345, 1500 * mb, 200 * mb, "in whole views of the system's grain"},
        {591 * mb, 1008 * mb, 591 * mb + kDataMapHeadroomMiB * mb, all, "the whole book with the headroom just left"},
        {591 * mb, 1008 * mb, 591 * mb + kDataMapHeadroomMiB * mb - 1, 590 * mb + 960 * 1024, "one byte short"},
        {591 * mb, 31 * mb, 1500 * mb, 0, "too small a part: no map"},
        {591 * mb, 1008 * mb, (kDataMapHeadroomMiB + 10) * mb, 0, "no room beside the headroom"},
        {591 * mb, 1008 * mb, kDataMapHeadroomMiB * mb, 0, "nothing beside the headroom"},
        {0, 1008 * mb, 1040 * mb, 0, "no size known: no map"},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(ChooseDataMapBytes(c.file, (unsigned long long)c.largest, (unsigned long long)c.total), c.map)
            << c.what;
    }
}

// A header of a standard file with the given page size, then zeros.
std::vector<unsigned char> StandardHeaderFile(size_t size, int pageSize) {
    std::vector<unsigned char> bytes(size, 0);
    memcpy(bytes.data(), "SQLite format 3", 16);
    bytes[16] = (unsigned char)((pageSize >> 8) & 0xFF);
    bytes[17] = (unsigned char)(pageSize & 0xFF);
    bytes[18] = 2;
    bytes[19] = 2;
    return bytes;
}

void Put(std::vector<unsigned char> &bytes, size_t at, const char *text) {
    memcpy(bytes.data() + at, text, strlen(text));
}

std::string At(const std::vector<unsigned char> &bytes, size_t at, size_t n) {
    return std::string(reinterpret_cast<const char *>(bytes.data()) + at, n);
}

TEST(Conversion, HeaderAndWindowBoundaries) {
    ScratchFolder dir(L"convert-window");
    struct Case {
        const char *name;
        int pageSize;
        size_t at;
        bool replaced;
    } cases[] = {
        {"1024 pages: inside the first 1500 bytes", 1024, 1494, true},
        {"1024 pages: straddles byte 1500", 1024, 1495, false},
        {"1024 pages: beyond byte 1500", 1024, 1600, false},
        {"1024 pages: on page 1", 1024, 200, true},
        {"4096 pages: beyond 1500 but on page 1", 4096, 3000, true},
        {"4096 pages: last bytes of page 1", 4096, 4090, true},
        {"4096 pages: straddles page 2", 4096, 4091, false},
        {"4096 pages: on page 2", 4096, 5000, false},
        {"65536 pages (field 1)", 1, 60000, true},
    };
    for (const Case &c : cases) {
        std::wstring path = dir.File(L"window.db");
        std::vector<unsigned char> bytes = StandardHeaderFile(70000, c.pageSize);
        Put(bytes, 120, "CREATE TABLE sqlite_sequence");
        Put(bytes, c.at, "sqlite_autoindex_VLS_1");
        ASSERT_TRUE(WriteFileBytes(path, bytes));
        ASSERT_EQ(ConvertToProgramDatabase(path.c_str()), 1) << c.name;
        std::vector<unsigned char> after;
        ASSERT_TRUE(ReadFileBytes(path, &after));
        EXPECT_EQ(At(after, 0, 16), std::string("ZELD DATABASE 3\0", 16)) << c.name;
        EXPECT_EQ(after[18], 1) << c.name;
        EXPECT_EQ(after[19], 1) << c.name;
        EXPECT_EQ(At(after, 120, 28), "CREATE TABLE ZELDdb_sequence") << c.name;
        EXPECT_EQ(At(after, c.at, 6), c.replaced ? "ZELDdb" : "sqlite") << c.name;
        // Nothing else moved.
        size_t differing = 0;
        for (size_t i = 20; i < bytes.size(); i++) differing += bytes[i] != after[i];
        EXPECT_EQ(differing, c.replaced ? 12u : 6u) << c.name;
    }
}

TEST(Conversion, MissingEmptyForeignAndRepeated) {
    ScratchFolder dir(L"convert-edge");
    std::wstring missing = dir.File(L"missing.db");
    EXPECT_EQ(ConvertToProgramDatabase(missing.c_str()), 0);
    EXPECT_FALSE(testsupport::FileExists(missing)) << "nothing is created";

    std::wstring empty = dir.File(L"empty.db");
    ASSERT_TRUE(WriteFileBytes(empty, {}));
    EXPECT_EQ(ConvertToProgramDatabase(empty.c_str()), 1);
    std::vector<unsigned char> bytes;
    ASSERT_TRUE(ReadFileBytes(empty, &bytes));
    EXPECT_TRUE(bytes.empty());

    std::wstring text = dir.File(L"notes.txt");
    std::vector<unsigned char> note(2000, 'a');
    Put(note, 100, "sqlite");
    ASSERT_TRUE(WriteFileBytes(text, note));
    EXPECT_EQ(ConvertToProgramDatabase(text.c_str()), 1);
    ASSERT_TRUE(ReadFileBytes(text, &bytes));
    EXPECT_EQ(bytes, note) << "a file that does not begin with SQL is not touched";

    std::wstring twice = dir.File(L"twice.db");
    std::vector<unsigned char> standard = StandardHeaderFile(3000, 1024);
    Put(standard, 700, "sqlite_autoindex_PRS_1");
    ASSERT_TRUE(WriteFileBytes(twice, standard));
    ASSERT_EQ(ConvertToProgramDatabase(twice.c_str()), 1);
    std::vector<unsigned char> once;
    ASSERT_TRUE(ReadFileBytes(twice, &once));
    ASSERT_EQ(ConvertToProgramDatabase(twice.c_str()), 1);
    ASSERT_TRUE(ReadFileBytes(twice, &bytes));
    EXPECT_EQ(bytes, once) << "a second conversion changes no byte";
}

}  // namespace
