// Start-up of the real Korvane.exe over damaged and empty files: one table
// of damage over the three books and the data file. A book comes back
// afresh with its damaged bytes kept beside it and one message; a damaged
// data file ends the program with one message and stays as it was.
#include <winsock2.h>

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "cipher.h"
#include "datatool.h"
#include "driver.h"
#include "md5.h"
#include "resource.h"
#include "sqlite3.h"
#include "testsupport.h"

namespace {

const wchar_t kClass[] = L"KORVANE";
const wchar_t kDataMessage[] = L"Data kenderaan yang dikehendaki (KorvaneData.db) telah rosak.";
const wchar_t kDataMessageEnglish[] = L"The wanted-vehicle data (KorvaneData.db) is damaged.";

enum Target { kInit, kDiary, kRemark, kData };
enum Damage { kZeroBytes, kRandomBytes, kHeaderOverRandomPages, kCutToHalf, kStandardNotABook, kReadOnlyDamaged };

struct DamageCase {
    Target target;
    Damage damage;
};

const wchar_t *const kBookPaths[] = {L"C:\\KorvaneInit.db", L"C:\\KorvaneDiary.db", L"C:\\LastRemark.db"};
const wchar_t *const kDamagedBases[] = {L"KorvaneInit - DAMAGED", L"KorvaneDiary - DAMAGED",
                                        L"LastRemark - DAMAGED"};

std::string CaseName(const testing::TestParamInfo<DamageCase> &info) {
    static const char *const kTargets[] = {"Init", "Diary", "Remark", "Data"};
    static const char *const kDamages[] = {"ZeroBytes", "RandomBytes", "HeaderOverRandomPages",
                                           "CutToHalf", "StandardNotABook", "ReadOnlyDamaged"};
    return std::string(kTargets[info.param.target]) + "_" + kDamages[info.param.damage];
}

// Every file in the root of drive C whose name matches pattern.
std::vector<std::wstring> RootFiles(const std::wstring &pattern) {
    return testsupport::MatchingFiles(L"C:\\" + pattern);
}

void DeleteRootFile(const std::wstring &path) {
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(path.c_str());
}

// What the agent saw of one run: the message boxes, answered with OK as
// they came, and whether the main window came up or the program ended.
struct Watch {
    std::vector<std::wstring> messages;
    std::set<HWND> seen;
    HWND main = NULL;
    bool ended = false;

    // Watches for up to ms; stops early once the program ended, or (when
    // untilMain) once its main window is visible with no box open.
    void For(const driver::Program &program, DWORD ms, bool untilMain) {
        DWORD start = GetTickCount();
        for (;;) {
            DWORD code = 0;
            if (driver::WaitForExit(program, 0, &code)) {
                ended = true;
                return;
            }
            bool boxOpen = false;
            for (HWND box : driver::FindTopWindows(program.pid, L"#32770", NULL)) {
                if (!IsWindowVisible(box)) continue;
                boxOpen = true;
                if (!seen.insert(box).second) continue;
                driver::MessageBoxInfo info;
                info.window = box;
                HWND text = GetDlgItem(box, 0xFFFF);
                messages.push_back(text != NULL ? driver::GetText(text) : L"(no text)");
                driver::AnswerMessageBox(info, IDOK);
            }
            main = driver::WaitForWindow(program.pid, kClass, kProgramTitle, 0);
            if (untilMain && main != NULL && !boxOpen) return;
            if (GetTickCount() - start >= ms) return;
            Sleep(50);
        }
    }
    std::string Messages() const {
        std::string all;
        for (const std::wstring &m : messages) all += "\n  [" + testsupport::Utf8(m) + "]";
        return all;
    }
};

class DamagedFilesBase : public testing::Test {
  protected:
    static void SetUpTestSuite() { KeyCipherContexts(); }

    void SetUp() override {
        folder_ = L"C:\\KorvaneDamaged\\";
        ASSERT_TRUE(testsupport::PrepareProgramFolder(folder_));
        CleanRoot();
        data_ = folder_ + L"KorvaneData.db";
        std::string error;
        ASSERT_EQ(datatool::MakeDataFile(data_.c_str(), 200, 7, &error), 0) << error;
    }

    void TearDown() override {
        driver::Kill(program_);
        CleanRoot();
        testsupport::RemoveTree(folder_);
    }

    static void CleanRoot() {
        for (const wchar_t *book : kBookPaths) {
            DeleteRootFile(book);
            DeleteRootFile(std::wstring(book) + L"-journal");
        }
        for (const wchar_t *kind : {L"* - DAMAGED *", L"* - BACKUP *"}) {
            for (const std::wstring &name : RootFiles(kind)) DeleteRootFile(L"C:\\" + name);
        }
    }

    std::wstring TargetPath(Target target) const { return target == kData ? data_ : kBookPaths[target]; }

    // A sound file of the target's kind, several pages long.
    void MakeSound(Target target) {
        std::string error;
        std::wstring path = TargetPath(target);
        switch (target) {
        case kInit: {
            testsupport::CheckDb init(path);
            ASSERT_EQ(init.Exec("CREATE TABLE PRI(C1 TEXT PRIMARY KEY, C2 TEXT);"
                                "INSERT INTO PRI VALUES('DSP','');"),
                      SQLITE_OK)
                << init.message();
            break;
        }
        case kDiary:
            ASSERT_EQ(datatool::MakeDiaryFile(path.c_str(), 15, 300, false, {}, &error), 0) << error;
            break;
        case kRemark:
            ASSERT_EQ(datatool::MakeRemarkFile(path.c_str(), 1002, 300, {}, &error), 0) << error;
            break;
        case kData:
            break;  // made by SetUp
        }
    }

    // Writes the damage over the target; returns the bytes it left.
    std::vector<unsigned char> Damage(const DamageCase &c) {
        std::wstring path = TargetPath(c.target);
        std::vector<unsigned char> bytes;
        std::mt19937 random(17 + 10 * c.target + c.damage);
        switch (c.damage) {
        case kZeroBytes:
            break;
        case kRandomBytes:
            bytes.resize(8192);
            for (unsigned char &b : bytes) b = (unsigned char)random();
            break;
        case kHeaderOverRandomPages:
        case kReadOnlyDamaged:  // damage that only the engine finds
            MakeSound(c.target);
            EXPECT_TRUE(testsupport::ReadFileBytes(path, &bytes));
            EXPECT_GT(bytes.size(), 1024u);
            for (size_t i = 100; i < bytes.size(); i++) bytes[i] = (unsigned char)random();
            break;
        case kCutToHalf:
            MakeSound(c.target);
            EXPECT_TRUE(testsupport::ReadFileBytes(path, &bytes));
            EXPECT_GT(bytes.size(), 2048u);
            bytes.resize(bytes.size() / 2);
            break;
        case kStandardNotABook: {
            std::wstring fixtures = testsupport::HostFolderFromEnv("KORVANE_FIXTURES");
            EXPECT_TRUE(testsupport::ReadFileBytes(fixtures + L"standard-other.db", &bytes));
            EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 6), "SQLite");
            break;
        }
        }
        DeleteRootFile(path);
        EXPECT_TRUE(testsupport::WriteFileBytes(path, bytes));
        if (c.damage == kReadOnlyDamaged) {
            EXPECT_TRUE(SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY));
        }
        return bytes;
    }

    std::vector<unsigned char> Bytes(const std::wstring &path) {
        std::vector<unsigned char> bytes;
        EXPECT_TRUE(testsupport::ReadFileBytes(path, &bytes)) << testsupport::Utf8(path);
        return bytes;
    }

    // A search through the main window; returns the diary's rows once it
    // logged one, or once the program ended.
    std::vector<std::vector<std::string>> SearchOnce(Watch *watch, const std::wstring &plate = L"ZZZ9999") {
        HWND entry = driver::FindControl(watch->main, IDC_PLATE_ENTRY);
        EXPECT_TRUE(driver::SetText(entry, plate));
        driver::PostClick(driver::FindControl(watch->main, IDC_FIND));
        std::vector<std::vector<std::string>> rows;
        for (int i = 0; i < 100 && !watch->ended; i++) {
            rows = testsupport::ReadBookRows(L"C:\\KorvaneDiary.db", "select C2 from VLS");
            if (!rows.empty() && rows.back()[0].rfind("ERROR", 0) != 0) break;
            watch->For(program_, 100, false);
        }
        watch->For(program_, 500, false);
        return rows;
    }

    // Leaves at the target's path, prepared, the files of a commit to it that was
    // killed while the file was shorter than its new header says, with the
    // hot journal beside it, as the engine leaves them. Returns rowsSql's
    // answer on the file before that commit: what must come back.
    std::string KillInCommit(Target target, const char *prepare, const char *commit, const char *rowsSql) {
        MakeSound(target);
        std::wstring path = TargetPath(target), pristine = path + L".pristine", live = path + L".live";
        {
            testsupport::CheckDb db(path);
            EXPECT_EQ(db.Exec(prepare), SQLITE_OK) << db.message();
        }
        EXPECT_TRUE(MoveFileW(path.c_str(), pristine.c_str()));
        std::string rows = testsupport::CheckDb(pristine).One(rowsSql);
        bool cut = false;
        for (int at = 1; at < 1000 && !cut; at++) {
            DeleteRootFile(live + L"-journal");
            EXPECT_TRUE(testsupport::CopyOneFile(pristine, live));
            {
                testsupport::CrashCopy crash(live, at, path);
                testsupport::CheckDb db(live);
                EXPECT_EQ(db.Exec(commit), SQLITE_OK) << db.message();
                if (!crash.copied()) break;
            }
            std::vector<unsigned char> bytes = Bytes(path);
            size_t page = bytes.size() < 100 ? 0 : ((size_t)bytes[16] << 8) | bytes[17];
            size_t pages = 0;
            for (int i = 28; i < 32 && bytes.size() >= 100; i++) pages = (pages << 8) | bytes[i];
            cut = bytes.size() < page * pages && testsupport::FileExists(path + L"-journal");
        }
        EXPECT_TRUE(cut) << "a kill point where the file is shorter than its header says";
        for (const std::wstring &file : {pristine, live, live + L"-journal"}) DeleteRootFile(file);
        return rows;
    }

    std::wstring folder_;
    std::wstring data_;
    driver::Program program_;
};

class DamagedFiles : public DamagedFilesBase, public testing::WithParamInterface<DamageCase> {};
class DamagedData : public DamagedFilesBase {};
class SetAsideMessage : public DamagedFilesBase {
  protected:
    // Starts the program, answers its boxes until the main window is up,
    // closes it, and returns the one message it showed ("" unless one).
    std::wstring MessageOfOneStart() {
        Watch watch;
        EXPECT_TRUE(driver::Start(folder_ + L"Korvane.exe", folder_, &program_));
        watch.For(program_, 30000, true);
        EXPECT_NE(watch.main, (HWND)NULL) << watch.Messages();
        PostMessageW(watch.main, WM_CLOSE, 0, 0);
        watch.For(program_, 10000, false);
        EXPECT_EQ(watch.messages.size(), 1u) << watch.Messages();
        return watch.messages.size() == 1u ? watch.messages[0] : std::wstring();
    }
};

TEST_P(DamagedFiles, KeepsTheBytesAndSaysSoOnce) {
    const DamageCase c = GetParam();
    const std::vector<unsigned char> damaged = Damage(c);
    ASSERT_FALSE(HasFailure());
    ASSERT_TRUE(driver::Start(folder_ + L"Korvane.exe", folder_, &program_));
    Watch watch;
    watch.For(program_, 30000, true);

    if (c.target == kData) {
        watch.For(program_, 10000, false);  // to its end
        EXPECT_TRUE(watch.ended) << "a damaged data file ends the program";
        ASSERT_EQ(watch.messages.size(), 1u) << watch.Messages();
        EXPECT_EQ(watch.messages[0].rfind(kDataMessage, 0), 0u) << watch.Messages();
        EXPECT_NE(watch.messages[0].find(kDataMessageEnglish), std::wstring::npos) << "both languages";
        for (const wchar_t *journal : {L"dan padamkan fail KorvaneData.db-journal di sebelahnya jika ada.",
                                       L"and delete the file KorvaneData.db-journal beside it if there is one."})
            EXPECT_NE(watch.messages[0].find(journal), std::wstring::npos) << "the stale journal goes too";
        EXPECT_TRUE(Bytes(data_) == damaged) << "the data file stays as it was";
        DWORD attributes = GetFileAttributesW(data_.c_str());
        EXPECT_EQ((attributes & FILE_ATTRIBUTE_READONLY) != 0, c.damage == kReadOnlyDamaged);
        return;
    }

    ASSERT_NE(watch.main, (HWND)NULL) << "the main window comes up" << watch.Messages();
    auto diary = SearchOnce(&watch);
    ASSERT_EQ(diary.size(), 1u) << "the search is logged";
    EXPECT_EQ(diary[0][0], "0");
    PostMessageW(watch.main, WM_CLOSE, 0, 0);
    watch.For(program_, 10000, false);
    EXPECT_TRUE(watch.ended);

    std::vector<std::wstring> aside = RootFiles(std::wstring(kDamagedBases[c.target]) + L" *.db");
    if (c.damage == kZeroBytes) {
        EXPECT_TRUE(watch.messages.empty()) << "an empty book is a missing one" << watch.Messages();
        EXPECT_TRUE(aside.empty());
    } else {
        ASSERT_EQ(aside.size(), 1u) << "the damaged book is set aside";
        EXPECT_TRUE(Bytes(L"C:\\" + aside[0]) == damaged) << "its bytes unchanged";
        ASSERT_EQ(watch.messages.size(), 1u) << watch.Messages();
        EXPECT_NE(watch.messages[0].find(L"c:\\" + aside[0]), std::wstring::npos)
            << "the message names the file set aside" << watch.Messages();
    }

    // A fresh book of its kind stands in the damaged one's place.
    testsupport::CheckDb book(kBookPaths[c.target]);
    ASSERT_TRUE(book.ok());
    const char *const kFresh[] = {"select count(*) from PRI", "select C2 from PRS where C1 = 'DSV'",
                                  "select C2 from PRS where C1 = 'DSV'"};
    const char *const kExpected[] = {"1", "15", "1002"};
    EXPECT_EQ(book.One(kFresh[c.target]), kExpected[c.target]);
}

std::vector<DamageCase> AllCases() {
    std::vector<DamageCase> cases;
    for (Target t : {kInit, kDiary, kRemark, kData}) {
        for (Damage d : {kZeroBytes, kRandomBytes, kHeaderOverRandomPages, kCutToHalf, kStandardNotABook,
                         kReadOnlyDamaged}) {
            cases.push_back({t, d});
        }
    }
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Table, DamagedFiles, testing::ValuesIn(AllCases()), CaseName);

// A book or the data file killed in its commit comes back whole at the
// next start: no message, nothing set aside, every committed row there.
struct CrashCase {
    Target target;
    bool readOnly;  // the file is read-only as well
};

class CrashedFiles : public DamagedFilesBase, public testing::WithParamInterface<CrashCase> {};

TEST_P(CrashedFiles, ComeBackWholeWithoutAWord) {
    const CrashCase c = GetParam();
    struct Commit {
        const char *prepare, *sql, *rows;
    } const kCommits[] = {
        {"", "", ""},
        {"", "PRAGMA journal_mode = PERSIST; BEGIN; INSERT INTO VLS SELECT * FROM VLS; COMMIT",
         "SELECT count(*) || group_concat(C1 || C3) FROM (SELECT C1, C3 FROM VLS ORDER BY rowid LIMIT 300)"},
        // No follow-up falls due at the start.
        {"UPDATE VLS SET C7 = '2099-01-01'", "BEGIN; INSERT INTO VLS(C1, C2) SELECT C1 || 'X', C2 FROM VLS; COMMIT",
         "SELECT count(*) || group_concat(C1) FROM (SELECT C1 FROM VLS ORDER BY rowid)"},
        {"", "PRAGMA synchronous = OFF; PRAGMA locking_mode = EXCLUSIVE; BEGIN; UPDATE VLD SET C2 = C2 || 'X'; "
         "INSERT INTO VLD SELECT * FROM VLD; COMMIT",
         "SELECT count(*) || group_concat(C1 || C2) FROM (SELECT C1, C2 FROM VLD ORDER BY rowid)"},
    };
    const Commit &commit = kCommits[c.target];
    const std::string committed = KillInCommit(c.target, commit.prepare, commit.sql, commit.rows);
    ASSERT_FALSE(HasFailure());
    const std::wstring path = TargetPath(c.target);
    if (c.readOnly) {
        ASSERT_TRUE(SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY));
    }

    ASSERT_TRUE(driver::Start(folder_ + L"Korvane.exe", folder_, &program_));
    Watch watch;
    watch.For(program_, 30000, true);
    ASSERT_NE(watch.main, (HWND)NULL) << watch.Messages();
    // A wanted plate of the data file as it was committed is found.
    SearchOnce(&watch, datatool::SyntheticVehicle(7, 5).plate);
    PostMessageW(watch.main, WM_CLOSE, 0, 0);
    watch.For(program_, 10000, false);
    EXPECT_TRUE(watch.ended);
    EXPECT_TRUE(watch.messages.empty()) << watch.Messages();
    EXPECT_EQ(testsupport::CheckDb(kBookPaths[kDiary]).One("SELECT C2 FROM VLS ORDER BY rowid DESC LIMIT 1"), "1")
        << "the search found its plate and was logged";

    for (Target t : {kInit, kDiary, kRemark})
        EXPECT_TRUE(RootFiles(std::wstring(kDamagedBases[t]) + L" *.db").empty()) << "nothing is set aside";
    EXPECT_FALSE(testsupport::FileExists(path + L"-journal") &&
                 Bytes(path + L"-journal").size() >= 8 && Bytes(path + L"-journal")[0] == 0xd9)
        << "no hot journal is left";
    testsupport::CheckDb book(path);
    ASSERT_TRUE(book.ok());
    EXPECT_EQ(book.One("PRAGMA integrity_check"), "ok");
    EXPECT_EQ(book.One(commit.rows), committed) << "every committed row, and nothing of the killed commit";
}

std::string CrashCaseName(const testing::TestParamInfo<CrashCase> &info) {
    static const char *const kTargets[] = {"Init", "Diary", "Remark", "Data"};
    return std::string(kTargets[info.param.target]) + (info.param.readOnly ? "_ReadOnly" : "");
}

INSTANTIATE_TEST_SUITE_P(Table, CrashedFiles,
                         testing::Values(CrashCase{kDiary, false}, CrashCase{kRemark, false}, CrashCase{kData, false},
                                         CrashCase{kData, true}),
                         CrashCaseName);

}  // namespace

namespace {

// Damage deep inside the wanted vehicles, where start-up's check does not
// read: the search that meets it says so once, and the program ends.
TEST_F(DamagedData, ASearchThatMeetsDamagedDataSaysSoOnceAndEnds) {
    const uint32_t kVehicles = 3000;
    std::string error;
    ASSERT_EQ(datatool::MakeDataFile(data_.c_str(), kVehicles, 7, &error), 0) << error;
    std::vector<unsigned char> bytes = Bytes(data_);
    ASSERT_GT(bytes.size(), 4096u);
    const size_t page = ((size_t)bytes[16] << 8) | bytes[17];

    // Every vehicle's lookup key, and the plates of the lowest and highest.
    std::vector<std::pair<std::string, uint32_t>> keys;
    for (uint32_t i = 0; i < kVehicles; i++) {
        char key[kMd5HexBytes];
        VehicleLookupKey(datatool::SyntheticVehicle(7, i).plate.c_str(), key);
        keys.push_back({key, i});
    }
    std::sort(keys.begin(), keys.end());
    const uint32_t lowest = keys.front().second, highest = keys.back().second;
    auto places = [&](const std::string &key) {
        std::vector<size_t> at;
        for (auto it = bytes.begin(); (it = std::search(it, bytes.end(), key.begin(), key.end())) != bytes.end(); ++it)
            at.push_back((size_t)(it - bytes.begin()));
        return at;
    };
    // A vehicle in the middle of the key order, whose row lies far from
    // those of the edge keys, and whose key stands on exactly two pages: its
    // row's and its index entry's (not on an inner page of the index).
    std::wstring plate;
    std::vector<size_t> at;
    for (size_t rank = kVehicles / 2; rank < kVehicles - 600 && plate.empty(); rank++) {
        uint32_t i = keys[rank].second;
        if (i < lowest + 200 && i + 200 > lowest) continue;
        if (i < highest + 200 && i + 200 > highest) continue;
        at = places(keys[rank].first);
        if (at.size() == 2 && at[0] / page != at[1] / page) plate = datatool::SyntheticVehicle(7, i).plate;
    }
    ASSERT_FALSE(plate.empty());
    for (size_t offset : at) std::fill_n(bytes.begin() + (long)(offset / page * page), page, (unsigned char)0xEE);
    ASSERT_TRUE(testsupport::WriteFileBytes(data_, bytes));

    ASSERT_TRUE(driver::Start(folder_ + L"Korvane.exe", folder_, &program_));
    Watch watch;
    watch.For(program_, 30000, true);
    ASSERT_NE(watch.main, (HWND)NULL) << "the damage is not where start-up looks" << watch.Messages();
    auto diary = SearchOnce(&watch, datatool::SyntheticVehicle(7, lowest).plate);
    ASSERT_EQ(diary.size(), 1u) << "a search of sound data works as ever";
    EXPECT_EQ(diary[0][0], "1");
    EXPECT_TRUE(watch.messages.empty()) << watch.Messages();

    SearchOnce(&watch, plate);
    watch.For(program_, 10000, false);
    EXPECT_TRUE(watch.ended) << "the program ends";
    ASSERT_EQ(watch.messages.size(), 1u) << watch.Messages();
    EXPECT_EQ(watch.messages[0].rfind(kDataMessage, 0), 0u) << watch.Messages();
    EXPECT_NE(watch.messages[0].find(L"\r\n[database disk image is malformed]"), std::wstring::npos)
        << "the engine's text on a line of its own" << watch.Messages();
    EXPECT_TRUE(Bytes(data_) == bytes) << "the data file stays as it was";
}

}  // namespace

namespace {

// A backup file of a book, its time of last writing daysAgo days back.
void MakeBackup(const std::wstring &path, int daysAgo) {
    ASSERT_TRUE(testsupport::WriteFileBytes(path, std::vector<unsigned char>(2048, 0x42)));
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    ULARGE_INTEGER t;
    t.LowPart = now.dwLowDateTime;
    t.HighPart = now.dwHighDateTime;
    t.QuadPart -= (ULONGLONG)daysAgo * 24 * 3600 * 10000000ULL;
    FILETIME then = {t.LowPart, t.HighPart};
    EXPECT_TRUE(SetFileTime(file, NULL, NULL, &then));
    CloseHandle(file);
}

// The one message names the newest backup and how to bring it back, in
// the language of the diary that start-up ends up with.
TEST_F(SetAsideMessage, NamesTheNewestBackupInTheAgentsLanguage) {
    MakeBackup(L"C:\\KorvaneDiary - BACKUP 2026-DEC-01 08_00_00.db", 1);
    MakeBackup(L"C:\\KorvaneDiary - BACKUP 2026-NOV-30 08_00_00.db", 30);
    Damage({kDiary, kRandomBytes});
    std::wstring malay = MessageOfOneStart();
    EXPECT_EQ(malay.rfind(L"KorvaneDiary.db telah rosak.", 0), 0u) << "the new diary speaks Malay";
    EXPECT_NE(malay.find(L"BackUp terbaru, \"c:\\KorvaneDiary - BACKUP 2026-DEC-01 08_00_00.db\", "
                         L"boleh dipulihkan dengan Guna Diary BackUp."),
              std::wstring::npos)
        << testsupport::Utf8(malay);

    {
        testsupport::CheckDb diary(L"C:\\KorvaneDiary.db");
        ASSERT_EQ(diary.Exec("update PRS set C2 = '1' where C1 = 'B'"), SQLITE_OK);
    }
    MakeBackup(L"C:\\LastRemark - BACKUP 2026-DEC-02 09_00_00.db", 2);
    Damage({kRemark, kCutToHalf});
    std::wstring english = MessageOfOneStart();
    EXPECT_EQ(english.rfind(L"LastRemark.db was damaged. It has been kept, unchanged, as \"c:\\LastRemark - DAMAGED ", 0), 0u)
        << testsupport::Utf8(english);
    EXPECT_NE(english.find(L" The newest backup, \"c:\\LastRemark - BACKUP 2026-DEC-02 09_00_00.db\", "
                           L"can be brought back with Import Remark."),
              std::wstring::npos)
        << testsupport::Utf8(english);
}

}  // namespace
