// Killed writes: each job of the program, run by crash_writer.exe on a copy
// of the same books, is ended at every write point it passes (or a spread of
// them): before the write, for a write with half of its sectors on the disk,
// and as a power cut that loses what some (or all) files had not yet on the
// disk. After each end the books are judged as the next start judges them:
// the start-up checks find every book ready and set nothing aside, the
// engine's integrity_check is ok, and every book holds exactly what it held
// before the job or what the whole job leaves (never a part of the job, and
// never less than was committed before it).
#include <winsock2.h>

#include <windows.h>

#include <gtest/gtest.h>
#include <strsafe.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "bookcheck.h"
#include "cipher.h"
#include "crashjobs.h"
#include "datastore.h"
#include "datatool.h"
#include "schema.h"
#include "sqlite3.h"
#include "storetest.h"
#include "testsupport.h"

namespace {

using namespace crashjobs;
using storetest::LocalField;
using testsupport::Utf8;

// The books a job may change, in the order start-up opens them.
const WCHAR *const kBooks[] = {kDataFile, kInitFile, kDiaryFile, kRemarkFile};
enum { kBookCount = 4, kData = 0, kInit = 1, kDiary = 2, kRemark = 3 };

// The most runs a job is given per mode; beyond that its points are spread.
const int kMostRuns = 24;

std::wstring Today() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    WCHAR text[16];
    StringCchPrintfW(text, ARRAYSIZE(text), L"%04d-%02d-%02d", now.wYear, now.wMonth, now.wDay);
    return text;
}

// Every table and index of a book, and every row of every table in rowid
// order. A time stamp of today (the clock of the job itself) reads as
// "<now>", so that two runs of a job compare equal.
std::vector<std::string> BookRows(const std::wstring &path) {
    std::vector<std::string> out;
    testsupport::CheckDb db(path);
    if (!db.ok()) return {"ERROR: does not open"};
    const std::string today = Utf8(Today());
    std::vector<std::string> tables = db.Column("select name from ZELDdb_master where type = 'table' order by name");
    for (const std::string &line : db.Column("select type || ' ' || name || ' ' || ifnull(sql, '') from ZELDdb_master "
                                             "order by name"))
        out.push_back(line);
    for (const std::string &table : tables) {
        sqlite3_stmt *stmt = NULL;
        std::string sql = "select * from \"" + table + "\" order by rowid";
        if (sqlite3_prepare_v2(db.handle(), sql.c_str(), -1, &stmt, NULL) != SQLITE_OK) {
            out.push_back("ERROR: " + table + ": " + sqlite3_errmsg(db.handle()));
            continue;
        }
        int rc;
        while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
            std::string line = table;
            for (int c = 0; c < sqlite3_column_count(stmt); c++) {
                const char *text = (const char *)sqlite3_column_text(stmt, c);
                std::string cell = text != NULL ? text : "<null>";
                if (cell.compare(0, today.size(), today) == 0) cell = "<now>";
                line += "|" + cell;
            }
            out.push_back(line);
        }
        if (rc != SQLITE_DONE) out.push_back("ERROR: " + table + ": " + sqlite3_errmsg(db.handle()));
        sqlite3_finalize(stmt);
    }
    return out;
}

struct BookSet {
    std::vector<std::string> rows[kBookCount];
};

BookSet ReadBooks(const std::wstring &folder) {
    BookSet set;
    for (int b = 0; b < kBookCount; b++) set.rows[b] = BookRows(folder + kBooks[b]);
    return set;
}

// The first line of a that b lacks, or of b that a lacks.
std::string FirstDifference(const std::vector<std::string> &a, const std::vector<std::string> &b) {
    std::multiset<std::string> sa(a.begin(), a.end()), sb(b.begin(), b.end());
    for (const std::string &line : sa)
        if (sb.count(line) < sa.count(line)) return "lost: " + line.substr(0, 120);
    for (const std::string &line : sb)
        if (sa.count(line) < sb.count(line)) return "extra: " + line.substr(0, 120);
    return "the same rows in another order";
}

std::string Narrow(const std::wstring &text) { return Utf8(text); }

// The start-up checks of the program on the books of folder, in its order:
// the data file's hot journal played back, its header and its connection
// check, then each book through PrepareBookFile. Returns what a start
// would tell the agent or set aside.
std::string StartUpFaults(const std::wstring &folder) {
    std::string faults;
    std::wstring data = folder + kDataFile;
    char detail[512] = "";
    int rc = SQLITE_OK;
    if (RollBackHotJournal(data.c_str()) == kJournalKept) {
        faults += "the data file's journal cannot be played back; ";
    } else if ((rc = CheckDataFileHeader(data.c_str(), detail, sizeof detail)) != SQLITE_OK) {
        faults += "data file header: " + std::string(detail) + "; ";
    } else {
        sqlite3 *db = NULL;
        if (sqlite3_open(Utf8(data).c_str(), &db) != SQLITE_OK) {
            faults += "data file does not open; ";
        } else if ((rc = CheckDataConnection(db, detail, sizeof detail)) != SQLITE_OK) {
            faults += "data file check: " + std::string(detail) + "; ";
        }
        sqlite3_close(db);
    }
    const std::wstring init = folder + kInitFile, diary = folder + kDiaryFile, remark = folder + kRemarkFile;
    const BookFile books[] = {
        {init.c_str(), L"KorvaneInit - DAMAGED", "PRI", false, false},
        {diary.c_str(), L"KorvaneDiary - DAMAGED", "PRS", true, true},
        {remark.c_str(), L"LastRemark - DAMAGED", "PRS", true, true},
    };
    for (const BookFile &book : books) {
        WCHAR aside[MAX_PATH] = L"";
        int state = PrepareBookFile(book, aside);
        if (state != kBookReady) {
            static const char *const kStates[] = {"ready", "missing", "set aside", "stuck"};
            faults += Narrow(book.path + folder.size()) + " " + kStates[state & 3] +
                      (aside[0] ? " as " + Narrow(aside + folder.size()) : std::string()) + "; ";
        }
    }
    for (const std::wstring &name : testsupport::MatchingFiles(folder + L"*DAMAGED*"))
        faults += "set aside: " + Narrow(name) + "; ";
    return faults;
}

std::string IntegrityFaults(const std::wstring &folder) {
    std::string faults;
    for (const WCHAR *book : kBooks) {
        testsupport::CheckDb db(folder + book);
        std::string verdict = db.ok() ? db.One("PRAGMA integrity_check") : "does not open";
        if (verdict != "ok") faults += Narrow(book) + " integrity_check: " + verdict.substr(0, 200) + "; ";
    }
    return faults;
}

// name and this process's id: the entries of this program run side by side.
std::wstring OwnName(const wchar_t *name) { return name + std::to_wstring(GetCurrentProcessId()); }

// What one commit of a job changes: a table of a book, or (table null) the
// whole book with its schema.
struct Part {
    int book;
    const char *table;
};

// The lines of rows that belong to part.
std::vector<std::string> LinesOf(const BookSet &set, const Part &part) {
    if (part.table == NULL) return set.rows[part.book];
    std::vector<std::string> lines;
    std::string prefix = std::string(part.table) + "|";
    for (const std::string &line : set.rows[part.book])
        if (line.compare(0, prefix.size(), prefix) == 0) lines.push_back(line);
    return lines;
}

// A job and its commits in the order it makes them: a part may be done
// only once every part before it is. Books of no part must not change.
struct Job {
    const char *name;
    std::vector<Part> commits;
};

void PrintTo(const Job &job, std::ostream *out) { *out << job.name; }

class KilledJobs : public testing::TestWithParam<Job> {
  protected:
    static void SetUpTestSuite() {
        KeyCipherContexts();
        Template = new testsupport::ScratchFolder(OwnName(L"crash-template"));
        MakeTemplateBooks(Template->path());
    }
    static void TearDownTestSuite() {
        delete Template;
        Template = NULL;
    }

    // The books every job starts from, made by the program's own code.
    static void MakeTemplateBooks(const std::wstring &folder) {
        StringCchCopyW(InitDbPath, kPathChars, (folder + kInitFile).c_str());
        StringCchCopyW(DiaryDbPath, kPathChars, (folder + kDiaryFile).c_str());
        StringCchCopyW(RemarkDbPath, kPathChars, (folder + kRemarkFile).c_str());
        StringCchCopyW(DataDbPath, kPathChars, (folder + kDataFile).c_str());
        storetest::Recorder quiet;
        ASSERT_EQ(CreateInitDatabase(NULL), kSchemaDone);
        ASSERT_EQ(CreateDiaryDatabase(NULL), kSchemaDone);
        ASSERT_EQ(CreateRemarkDatabase(NULL), kSchemaDone);
        std::string error;
        ASSERT_EQ(datatool::MakeDataFile(DataDbPath, 300, 11, &error), 0) << error;
        std::vector<datatool::VehicleRecord> vehicles = {
            {kSearchPlate, L"7", L"05 Feb 2024", L"MYVI 1.3 SILVER 2016", L"D'CRUZ LEASING SDN BHD"},
            {L"NEW1", L"7", L"05 Mar 2025", L"SALOON 1.6 SILVER", L"BANK ISLAM"},
            {L"OLD1", L"3", L"01 Jan 2025", L"MPV 2.0 WHITE", L"AMANAH"},
            {L"CLR1", L"1", L"03 Mar 2025", L"VAN", L"AMANAH"},
        };
        ASSERT_EQ(datatool::AddVehicles(DataDbPath, vehicles, &error), 0) << error;
        ASSERT_EQ(datatool::AddClearedPlate(DataDbPath, L"CLR1", &error), 0) << error;

        // A diary of 240 searches over 60 plates (CleanUp keeps one row of
        // each), some of them of plates that Update Diary finds changed.
        std::string sql = "begin;";
        sql += "update PRS set C2 = '" + LocalField(L"SECRET") + "' where C1 = 'D';";
        const wchar_t *const kPlates[] = {L"NEW1", L"OLD1", L"CLR1", kSearchPlate};
        for (int i = 0; i < 240; i++) {
            WCHAR plate[16], stamp[32], location[32];
            if (i % 10 < 4)
                StringCchCopyW(plate, ARRAYSIZE(plate), kPlates[i % 10]);
            else
                StringCchPrintfW(plate, ARRAYSIZE(plate), L"BKL%04d", i % 60);
            StringCchPrintfW(stamp, ARRAYSIZE(stamp), L"2024-%02d-%02d 10:%02d:00", 1 + i % 12, 1 + i % 28, i % 60);
            StringCchPrintfW(location, ARRAYSIZE(location), L"JALAN %d", i % 7);
            sql += "insert into VLS values('" + Utf8(stamp) + "','" + std::to_string(i % 3 == 0) + "','" +
                   LocalField(plate) + "','" + LocalField(L"01 Jan 2024") + "','" + LocalField(L"KANCIL") +
                   "','BANK','" + LocalField(L"2") + "','" + Utf8(location) + "','20240101.001','note " +
                   std::to_string(i) + "','');";
        }
        for (int i = 1; i <= 60; i++) {
            WCHAR plate[16];
            StringCchPrintfW(plate, ARRAYSIZE(plate), L"RMK%04d", i);
            sql += "insert into VLS values('" + LocalField(plate) + "','" + LocalField(L"3") + "','" +
                   LocalField(L"01 Feb 2024") + "','" + LocalField(L"BANK TIGA") + "','" +
                   LocalField(L"remark of the plate, kept since the first sighting") + "','2024-02-01 09:00:00','NULL');";
        }
        sql += "commit;";
        // The diary rows go to the diary, the remark rows to the remark book.
        size_t split = sql.find("insert into VLS values('" + LocalField(L"RMK0001"));
        std::string diarySql = sql.substr(0, split) + "commit;";
        std::string remarkSql = "begin;" + sql.substr(split);
        char *message = NULL;
        ASSERT_EQ(sqlite3_exec(DiaryDb, diarySql.c_str(), NULL, NULL, &message), SQLITE_OK) << message;
        ASSERT_EQ(sqlite3_exec(RemarkDb, remarkSql.c_str(), NULL, NULL, &message), SQLITE_OK) << message;
        storetest::CloseAllConnections();

        ASSERT_EQ(datatool::MakeDiaryFile((folder + kImportDiaryFile).c_str(), kDiarySchemaCurrent, 120, false, {},
                                          &error),
                  0)
            << error;
        ASSERT_EQ(datatool::MakeDiaryFile((folder + kOlderDiaryFile).c_str(), kDiarySchemaCurrent, 90, false, {},
                                          &error),
                  0)
            << error;
        ASSERT_EQ(datatool::MakeRemarkFile((folder + kImportRemarkFile).c_str(), kRemarkSchemaCurrent, 80, {}, &error),
                  0)
            << error;
    }

    // Copies the template's books into a fresh run folder.
    void FreshRun() {
        testsupport::RemoveTree(run_.path());
        CreateDirectoryW(run_.path().c_str(), NULL);
        for (const std::wstring &name : testsupport::MatchingFiles(Template->path() + L"*.db"))
            ASSERT_TRUE(testsupport::CopyOneFile(Template->path() + name, run_.File(name)));
    }

    // Waits until no handle of the writer is open on a book: an ended
    // process is signalled before the system has closed its files, and the
    // next start comes only after that.
    void WaitUntilClosed() {
        for (const WCHAR *book : kBooks) {
            for (const std::wstring &path : {run_.File(book), run_.File(book) + L"-journal"}) {
                for (int i = 0; i < 200 && testsupport::FileExists(path); i++) {
                    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
                    if (file != INVALID_HANDLE_VALUE) {
                        CloseHandle(file);
                        break;
                    }
                    Sleep(10);
                }
            }
        }
    }

    // Runs the writer on the run folder; returns its exit code.
    DWORD RunWriter(const char *job, long killAt, int mode) {
        DWORD code = RunCrashWriter(job, run_.path(), killAt, mode);
        EXPECT_NE(code, (DWORD)-1) << job << " at point " << killAt << " did not run";
        WaitUntilClosed();
        return code;
    }

    // What is wrong with the books after a run (empty when nothing is).
    std::string Judge(const Job &job, const BookSet &before, const BookSet &after) {
        // The start-up checks come first, on the files as the end left them:
        // any open by the engine would roll a hot journal back.
        std::string faults = StartUpFaults(run_.path());
        faults += IntegrityFaults(run_.path());
        BookSet now = ReadBooks(run_.path());
        // Every part as before or as after, and the parts done a prefix of
        // the commits.
        bool undoneSeen = false;
        for (const Part &part : job.commits) {
            std::vector<std::string> was = LinesOf(before, part), will = LinesOf(after, part), is = LinesOf(now, part);
            std::string name = Narrow(kBooks[part.book]) + (part.table ? std::string(" ") + part.table : "");
            if (was == will) continue;
            if (is == will) {
                if (undoneSeen) faults += name + " done while a commit before it is not; ";
            } else if (is == was) {
                undoneSeen = true;
            } else {
                faults += name + " neither as before nor as after (" + FirstDifference(was, is) + "); ";
            }
        }
        // What no part covers stays as it was.
        for (int b = 0; b < kBookCount; b++) {
            std::multiset<std::string> covered;
            bool whole = false;
            for (const Part &part : job.commits) {
                if (part.book != b) continue;
                whole = whole || part.table == NULL;
                for (const std::string &line : LinesOf(now, part)) covered.insert(line);
                for (const std::string &line : LinesOf(before, part)) covered.insert(line);
            }
            if (whole) continue;
            std::vector<std::string> rest, restBefore;
            for (const std::string &line : now.rows[b])
                if (covered.count(line) == 0) rest.push_back(line);
            for (const std::string &line : before.rows[b])
                if (covered.count(line) == 0) restBefore.push_back(line);
            if (rest != restBefore)
                faults += Narrow(kBooks[b]) + " changed where the job writes nothing (" +
                          FirstDifference(restBefore, rest) + "); ";
        }
        return faults;
    }

    // Runs job at every point (or a spread of kMostRuns) in each mode and
    // checks the books after each.
    void KillEverywhere(const Job &job) {
        FreshRun();
        BookSet before = ReadBooks(run_.path());
        ASSERT_EQ(RunWriter(job.name, 0, kKillBefore), 0u)
            << job.name << " fails on its own: " << ReadNote(run_.File(kMessagesFile));
        BookSet after = ReadBooks(run_.path());
        std::string changed;
        for (int b = 0; b < kBookCount; b++)
            if (before.rows[b] != after.rows[b]) changed += Narrow(kBooks[b]) + " ";
        ASSERT_FALSE(changed.empty()) << job.name << " changes no book";
        ASSERT_EQ(Judge(job, before, after), "") << job.name << " run to its end";

        std::vector<std::string> points = PassedPoints(run_.path());
        ASSERT_FALSE(points.empty()) << job.name << " passes no write point";

        int tried = 0, faulty = 0;
        std::string first;
        // Torn: the writes. A power cut that loses all that is not on the
        // disk: the points between the writes (syncs, moves, deletes), where
        // what a job should have flushed shows.
        for (int mode : {kKillBefore, kKillTorn, kPowerCut, kPowerCutAll}) {
            std::vector<long> chosen;
            for (long n = 1; n <= (long)points.size(); n++) {
                bool write = points[n - 1].compare(0, 6, "write ") == 0;
                if ((mode == kKillTorn && !write) || (mode == kPowerCutAll && write)) continue;
                chosen.push_back(n);
            }
            if ((int)chosen.size() > kMostRuns) {
                std::vector<long> spread;
                for (int i = 0; i < kMostRuns; i++)
                    spread.push_back(chosen[(size_t)i * (chosen.size() - 1) / (kMostRuns - 1)]);
                chosen.swap(spread);
            }
            for (long n : chosen) {
                FreshRun();
                DWORD code = RunWriter(job.name, n, mode);
                tried++;
                std::string faults;
                if (code != kKilledExitCode) {
                    faults = "ended with " + std::to_string(code) + " instead of at the point; ";
                }
                faults += Judge(job, before, after);
                if (!faults.empty()) {
                    faulty++;
                    if (faulty <= 5)
                        ADD_FAILURE() << job.name << " killed at " << ReadNote(run_.File(kKilledFile)) << "  "
                                      << faults;
                }
            }
        }
        printf("[ crash    ] %s: %zu points (changes %s), %d kills tried, %d faulty\n", job.name, points.size(),
               changed.c_str(), tried, faulty);
        EXPECT_EQ(faulty, 0) << job.name << ": " << faulty << " of " << tried << " kills left the books wrong";
    }

    static testsupport::ScratchFolder *Template;
    testsupport::ScratchFolder run_{OwnName(L"crash-run")};
};

testsupport::ScratchFolder *KilledJobs::Template;

// The jobs, each as the agent starts it.
const Job kJobs[] = {
    // A search stores its find history, looks the plate up and writes its
    // diary row: one commit, so the diary holds all of it or none.
    {"search", {{kDiary, NULL}}},
    {"save", {{kRemark, NULL}}},          // Save of the remark fields in the main window
    {"cleanup", {{kDiary, NULL}}},        // CleanUp of repeated plates: a new diary swapped in
    {"updatediary", {{kDiary, NULL}}},    // Update Diary: a new diary swapped in
    {"importdiary", {{kDiary, NULL}}},    // Import Diary: one transaction after a checked backup
    {"importremark", {{kRemark, NULL}}},  // Import Remark: the same on the remark book
    {"restore", {{kDiary, NULL}}},        // Use BackUp Diary: a copy of the older diary swapped in
    // The online update's apply: the remark book commits first, the data
    // file last.
    {"update", {{kRemark, NULL}, {kData, NULL}}},
};

TEST_P(KilledJobs, EveryKillLeavesTheBooksWholeAndTheJobAllOrNothing) { KillEverywhere(GetParam()); }

INSTANTIATE_TEST_SUITE_P(Jobs, KilledJobs, testing::ValuesIn(kJobs),
                         [](const testing::TestParamInfo<Job> &info) { return std::string(info.param.name); });

}  // namespace
