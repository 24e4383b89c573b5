// The jobs that rewrite the whole diary, CleanUp of repeated plates and
// Update Diary, and the purge of cleared plates from the remark book.
//
// Both diary jobs run inside the password entry dialog and write their
// progress into its message line and title. Neither changes the diary
// before it holds a checked backup, and neither leaves it short at any
// moment: CleanUp swaps the table's rows inside one transaction on the
// diary, Update Diary builds a complete new diary file and lets it replace
// the old one only once it is verified and on the disk. On any failure
// before that the old diary stays as it was, open, and the temporary file
// is removed; a new diary that is in place but will not open again is said
// as such, never as the old one.
//
// What both diary jobs share, the temporary diary and the job's progress,
// is in diaryrebuild.cpp.
#include <windows.h>

#include <stdlib.h>
#include <string.h>
#include <strsafe.h>

#include <algorithm>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "bookjob.h"
#include "books.h"
#include "cipher.h"
#include "datastore.h"
#include "dbfiles.h"
#include "diaryrebuild.h"
#include "mainwindow.h"
#include "md5.h"
#include "sqlexec.h"
#include "statement.h"
#include "textutil.h"

namespace {

const WCHAR kCleanUpFailedEn[] = L"The diary could not be cleaned up; it is as it was.";
const WCHAR kCleanUpFailedMs[] = L"Diary tidak dapat dicuci; ia kekal seperti asal.";
const WCHAR kUpdateFailedEn[] = L"The diary could not be updated; it is as it was.";
const WCHAR kUpdateFailedMs[] = L"Diary tidak dapat dikemaskini; ia kekal seperti asal.";

void ShowCleanUpFailure(const JobFault &fault) {
    ShowDiaryJobFailure(fault, kCleanUpFailedEn, kCleanUpFailedMs, L"CleanUp Diary - Failed", L"Cuci Diary - Gagal");
}

void ShowUpdateFailure(const JobFault &fault) {
    ShowDiaryJobFailure(fault, kUpdateFailedEn, kUpdateFailedMs, L"Update Diary - Failed",
                        L"Kemaskini Diary - Gagal");
}

// ---- CleanUp -----------------------------------------------------------------------

// The row kept for one key so far: where it is in the diary, when it was
// (last) chosen, and its time stamp.
struct KeptRow {
    long long source;  // its rowid in the diary
    long long order;   // its place in the cleaned diary: the order of the last choice
    std::string stamp; // its C1
};

// Text to integer as the found state is stored: leading blanks, a sign and
// the digits that follow; anything else gives 0.
long long StateNumber(const char *text) { return strtoll(text, NULL, 10); }

// Phase one: one pass over the diary in rowid order choosing, per key, the
// row to keep. A later row of a key replaces the kept one when it has a
// location and a time stamp not earlier than the kept row's. The result
// lists the diary rowids to keep in the order of the cleaned diary.
bool ChooseKeptRows(int mode, long long m, std::vector<long long> *keep, JobFault *fault) {
    Statement scan;
    int rc = scan.Prepare(TempDiaryDb, "select rowid, C1, C3, C8 from old.VLS where C3 <> '' order by rowid");
    if (rc != SQLITE_OK) return fault->Set(rc, "reading the diary", TempDiaryDb);
    std::vector<KeptRow> kept;
    std::unordered_map<std::string, size_t> byKey;
    long long order = 0;
    long long rows = 0;
    ProgressLine progress;
    std::string key;
    for (;;) {
        rc = sqlite3_step(scan.get());
        if (rc == SQLITE_DONE) break;
        if (rc != SQLITE_ROW) return fault->Set(rc, "reading the diary", TempDiaryDb);
        long long rowid = sqlite3_column_int64(scan.get(), 0);
        if (++rows % kProgressStep == 0)
            progress.Show(L"\r\nPlease wait. Cleaning up the diary now.\r\nRow: %d of %d.",
                          L"\r\nSila tunggu. Cuci diary sedang dijalankan.\r\nBaris: %d daripada %d.", rowid, m);
        const char *stamp = scan.Text(1);
        const char *location = scan.Text(3);
        // The key's parts, each with its length, so that no two keys run together.
        key.clear();
        int parts = mode == 1 ? 2 : mode == 2 ? 3 : 1;
        const int columns[] = {2, 3, 1};
        for (int p = 0; p < parts; p++) {
            int bytes = scan.Bytes(columns[p]);
            key.append((const char *)&bytes, sizeof bytes);
            key.append(scan.Text(columns[p]), (size_t)bytes);
        }
        auto found = byKey.find(key);
        if (found == byKey.end()) {
            byKey.emplace(key, kept.size());
            kept.push_back(KeptRow{rowid, order++, std::string(stamp, (size_t)scan.Bytes(1))});
            continue;
        }
        KeptRow &row = kept[found->second];
        if (location[0] == 0) continue;
        WCHAR mine[kTextChars], theirs[kTextChars];
        AnsiToWide(stamp, mine, ARRAYSIZE(mine));
        AnsiToWide(row.stamp.c_str(), theirs, ARRAYSIZE(theirs));
        if (IsTimeStampNotEarlier(mine, theirs) != 1) continue;
        row.source = rowid;
        row.order = order++;
        row.stamp.assign(stamp, (size_t)scan.Bytes(1));
    }
    std::sort(kept.begin(), kept.end(), [](const KeptRow &a, const KeptRow &b) { return a.order < b.order; });
    keep->clear();
    keep->reserve(kept.size());
    for (const KeptRow &row : kept) keep->push_back(row.source);
    return true;
}

// Writes the kept rows, in their new order, into the temporary diary's VLS
// (C2 as an integer), inside the transaction that the caller opened.
bool WriteKeptRows(const std::vector<long long> &keep, long long m, JobFault *fault) {
    Statement read, insert;
    int rc = read.Prepare(TempDiaryDb, "select C1, C2, C3, C4, C5, C6, C7, C8, C9, C10, C11 from old.VLS "
                                       "where rowid = ?");
    if (rc != SQLITE_OK) return fault->Set(rc, "reading the diary", TempDiaryDb);
    rc = insert.Prepare(TempDiaryDb, "insert into main.VLS values (?,?,?,?,?,?,?,?,?,?,?)");
    if (rc != SQLITE_OK) return fault->Set(rc, "writing the temporary diary", TempDiaryDb);
    ProgressLine progress;
    long long written = 0;
    for (long long source : keep) {
        if (++written % kProgressStep == 0)
            progress.Show(L"\r\nPlease wait. Cleaning up the diary now.\r\nRow: %d of %d.",
                          L"\r\nSila tunggu. Cuci diary sedang dijalankan.\r\nBaris: %d daripada %d.", source, m);
        sqlite3_bind_int64(read.get(), 1, source);
        rc = sqlite3_step(read.get());
        if (rc != SQLITE_ROW)
            return fault->Set(rc == SQLITE_DONE ? SQLITE_CORRUPT : rc, "reading the diary", TempDiaryDb);
        for (int c = 0; c < 11; c++) {
            if (c == 1)
                sqlite3_bind_int64(insert.get(), 2, StateNumber(read.Text(1)));
            else
                sqlite3_bind_text(insert.get(), c + 1, read.Text(c), read.Bytes(c), SQLITE_STATIC);
        }
        rc = sqlite3_step(insert.get());
        sqlite3_reset(insert.get());
        sqlite3_clear_bindings(insert.get());
        sqlite3_reset(read.get());
        if (rc != SQLITE_DONE) return fault->Set(rc, "writing the temporary diary", TempDiaryDb);
    }
    return true;
}

// Attaches the diary to the temporary diary's connection as "old", for
// reading. Outside any transaction.
bool AttachDiary(JobFault *fault) {
    char name[kPathChars * 3];
    if (!EngineFileName(DiaryDbPath, name)) return fault->Set(SQLITE_CANTOPEN, "diary name");
    if (JobStatementHook != NULL) {
        int injected = JobStatementHook(L"ATTACH DATABASE ? AS old");
        if (injected != SQLITE_OK) return fault->Set(injected, "reading the diary");
    }
    Statement attach;
    int rc = attach.Prepare(TempDiaryDb, "ATTACH DATABASE ? AS old");
    if (rc == SQLITE_OK) {
        sqlite3_bind_text(attach.get(), 1, name, -1, SQLITE_STATIC);
        rc = sqlite3_step(attach.get());
        if (rc == SQLITE_DONE) rc = SQLITE_OK;
    }
    return rc == SQLITE_OK || fault->Set(rc, "reading the diary", TempDiaryDb);
}

// Everything of the diary but VLS goes over as it is: its settings, the
// android_metadata of a phone, any other table with its rows, and their
// indexes, views and triggers.
bool CopyOtherTables(JobFault *fault) {
    Statement schema;
    int rc = schema.Prepare(TempDiaryDb, "select type, name, sql from old.ZELDdb_master where sql is not null "
                                         "and tbl_name <> 'VLS' and name not like 'ZELDdb%' "
                                         "order by type <> 'table', rowid");
    if (rc != SQLITE_OK) return fault->Set(rc, "reading the diary", TempDiaryDb);
    std::vector<std::string> statements;
    for (;;) {
        rc = sqlite3_step(schema.get());
        if (rc == SQLITE_DONE) break;
        if (rc != SQLITE_ROW) return fault->Set(rc, "reading the diary", TempDiaryDb);
        statements.push_back(schema.Text(2));
        if (strcmp(schema.Text(0), "table") != 0) continue;
        std::string quoted;
        for (const char *c = schema.Text(1); *c != 0; c++) quoted += *c == '"' ? std::string("\"\"") : std::string(1, *c);
        statements.push_back("INSERT INTO main.\"" + quoted + "\" SELECT * FROM old.\"" + quoted + "\"");
    }
    schema.Finalize();
    for (const std::string &statement : statements) {
        rc = sqlite3_exec(TempDiaryDb, statement.c_str(), NULL, NULL, NULL);
        if (rc != SQLITE_OK) return fault->Set(rc, "copying the settings", TempDiaryDb);
    }
    return true;
}

// Phase two and three: the file gets the diary's other tables, the rows
// (rows of them) their indexes; then it replaces the diary.
bool FinishCleanedDiary(long long rows, bool *replaced, JobFault *fault) {
    ShowJobStep(L"\r\nPlease wait. Phase Two is being done.", L"\r\nSila tunggu. Fasa Kedua sedang dijalankan.");
    if (!CopyOtherTables(fault) || !IndexAndCommitTempBook(fault)) return false;
    sqlite3_exec(TempDiaryDb, "DETACH DATABASE old", NULL, NULL, NULL);
    long long settings = QueryNumber(TempDiaryDb, "select count(*) from PRS");
    if (settings != QueryNumber(DiaryDb, "select count(*) from PRS"))
        return fault->Set(SQLITE_CORRUPT, "the settings were not all copied");
    ShowJobStep(L"\r\nPlease wait. Phase Three, Compressing the diary file now.",
                L"\r\nSila tunggu. Fasa Ketiga, Mengecilkan file diary sedang dijalankan.");
    return SwapInTempBook(rows, settings, replaced, fault);
}

}  // namespace

void CleanUpDiaryDuplicates(int mode) {
    JobBusyGuard busy;
    if (!busy.acquired()) return;
    if (mode < 0 || mode > 2) mode = 0;
    JobFault fault;
    ShowJobTitle(L"CleanUp Diary", L"Cuci Diary");
    ShowJobStep(L"\r\nPlease wait. Diary backup is being done.", L"\r\nSila tunggu. Diary backup sedang dijalankan.");
    HideJobButtons();
    if (DiaryDb == NULL) {
        fault.Set(SQLITE_MISUSE, "the diary is not open");
        ShowCleanUpFailure(fault);
        return;
    }
    if (!BackUpDiaryBook(JobWindow())) {  // shown
        ShowCleanUpFailure(fault);
        return;
    }
    long long m = 0;
    std::vector<long long> keep;
    bool replaced = false;
    bool ok = CreateTempBook(false, &fault) && AttachDiary(&fault) && RunStep(TempDiaryDb, L"begin", &fault) &&
              DiaryHighestRowId(TempDiaryDb, "old.VLS", &m, &fault) && ChooseKeptRows(mode, m, &keep, &fault) &&
              WriteKeptRows(keep, m, &fault) && FinishCleanedDiary((long long)keep.size(), &replaced, &fault);
    RemoveTempBook();
    if (!ok && !replaced) {
        ShowCleanUpFailure(fault);
        return;
    }
    if (!ok) ShowDiaryNotReopened(JobWindow());  // the cleaned diary is in place all the same
    ShowJobText(Pick(L"\r\nYour diary has been cleaned up.", L"\r\nDiary anda sudah dicuci."));
    ShowJobTitle(L"CleanUp Diary - Finished", L"Cuci Diary - Selesai");
}

// ---- Update Diary --------------------------------------------------------------------

namespace {

enum { kNarrowChars = 256 };

// The diary's settings, every one by its key, into the temporary diary.
bool CopySettings(long long *count, JobFault *fault) {
    Statement read, insert;
    int rc = read.Prepare(DiaryDb, "select C1, C2 from PRS order by rowid");
    if (rc != SQLITE_OK) return fault->Set(rc, "reading the settings", DiaryDb);
    rc = insert.Prepare(TempDiaryDb, "insert into PRS values (?,?)");
    if (rc != SQLITE_OK) return fault->Set(rc, "writing the settings", TempDiaryDb);
    *count = 0;
    for (;;) {
        rc = sqlite3_step(read.get());
        if (rc == SQLITE_DONE) return true;
        if (rc != SQLITE_ROW) return fault->Set(rc, "reading the settings", DiaryDb);
        sqlite3_bind_value(insert.get(), 1, sqlite3_column_value(read.get(), 0));
        sqlite3_bind_value(insert.get(), 2, sqlite3_column_value(read.get(), 1));
        rc = sqlite3_step(insert.get());
        sqlite3_reset(insert.get());
        if (rc != SQLITE_DONE) return fault->Set(rc, "writing the settings", TempDiaryDb);
        (*count)++;
    }
}

// The diary fields (LocalCipher) of every plate the data lists as cleared.
bool ReadClearedPlates(std::unordered_set<std::string> *cleared, JobFault *fault) {
    Statement vlc;
    int rc = vlc.Prepare(DataDb, "SELECT C1 from VLC");
    if (rc != SQLITE_OK) {
        ShowMessageBox(NULL, L"Could not prepare statement.", L"Error", MB_OK);
        return fault->Set(rc, "SELECT C1 from VLC", DataDb);
    }
    WCHAR plate[kPlainBytes];
    char field[kCipherFieldBytes];
    for (;;) {
        rc = sqlite3_step(vlc.get());
        if (rc == SQLITE_DONE) return true;
        if (rc != SQLITE_ROW) return fault->Set(rc, "reading the cleared plates", DataDb);
        DecodeField(DataCipher, vlc.Text(0), plate);
        EncodeField(LocalCipher, plate, field);
        if (field[0] != 0) cleared->insert(field);
    }
}

// A VLD value as the diary keeps it: deciphered, its fillers stripped
// (strip > 0), and enciphered again for the agent (encipher) or plain.
void DiaryValue(const char *field, int strip, bool encipher, char *out) {
    char plain[kNarrowChars];
    DecodeFieldA(DataCipher, field, plain, sizeof plain);
    if (strip > 0) StripBothEndsNarrow(plain, strip);
    if (encipher)
        EncodeFieldA(LocalCipher, plain, out);
    else
        StringCchCopyA(out, kCipherFieldBytes, plain);
}

// The rebuild: every diary row that is not of a cleared plate, looked up
// again in VLD, into the temporary diary. *carried counts the rows written.
bool RebuildRows(const std::unordered_set<std::string> &cleared, const char *version, long long m,
                 long long *carried, JobFault *fault) {
    Statement lookup, rows, insert;
    int rc = lookup.Prepare(DataDb, "SELECT C2,C3,C4,C5 from VLD WHERE C1 = ?");
    sqlite3 *where = DataDb;
    if (rc == SQLITE_OK) {
        where = DiaryDb;
        rc = rows.Prepare(DiaryDb, "SELECT C1,C2,C3,C4,C5,C6,C7,C8,C9,C10,C11 FROM VLS WHERE C3 <> '' "
                                   "ORDER BY rowid ASC");
    }
    if (rc == SQLITE_OK) {
        where = TempDiaryDb;
        rc = insert.Prepare(TempDiaryDb, "INSERT INTO VLS VALUES(?,?,?,?,?,?,?,?,?,?,?)");
    }
    if (rc != SQLITE_OK) {
        ShowMessageBox(NULL, L"Could not prepare statement.", L"Error", MB_OK);
        return fault->Set(rc, "prepare", where);
    }
    ShowJobStep(L"\r\nPreparing the update diary process.", L"\r\nPersediaan process kemaskini diary.");
    const int versionBytes = (int)strlen(version);
    ProgressLine progress;
    long long n = 0;
    WCHAR plate[kPlainBytes];
    char key[kMd5HexBytes];
    char date[kCipherFieldBytes], description[kCipherFieldBytes], financier[kCipherFieldBytes],
        arrears[kCipherFieldBytes];
    sqlite3_stmt *in = insert.get();
    for (;;) {
        rc = sqlite3_step(rows.get());
        if (rc == SQLITE_DONE) break;
        if (rc != SQLITE_ROW) return fault->Set(rc, "reading the diary", DiaryDb);
        const char *c3 = rows.Text(2);
        if (cleared.count(std::string(c3, (size_t)rows.Bytes(2))) != 0) continue;  // no longer wanted
        if (++n % kProgressStep == 0)
            progress.Show(L"\r\nPlease wait. Updating the diary now.\r\nRow: %d of %d.",
                          L"\r\nSila tunggu. Kemaskini diary sedang dijalankan.\r\nBaris: %d daripada %d.", n, m);
        DecodeField(LocalCipher, c3, plate);
        VehicleLookupKey(plate, key);
        sqlite3_bind_text(lookup.get(), 1, key, 32, SQLITE_STATIC);
        rc = sqlite3_step(lookup.get());
        if (rc != SQLITE_ROW && rc != SQLITE_DONE) return fault->Set(rc, "looking the plate up", DataDb);
        // The columns carried over as they are: C1, C3, C8, C10 and C11.
        const int carriedColumns[] = {0, 2, 7, 9, 10};
        for (int c : carriedColumns) sqlite3_bind_value(in, c + 1, sqlite3_column_value(rows.get(), c));
        sqlite3_bind_text(in, 9, version, versionBytes, SQLITE_STATIC);
        if (rc == SQLITE_ROW) {
            DiaryValue(lookup.Text(0), 2, true, date);
            DiaryValue(lookup.Text(1), 0, true, description);
            DiaryValue(lookup.Text(2), 2, false, financier);
            DiaryValue(lookup.Text(3), 2, true, arrears);
            // Not found when last written (no financier): new; found in
            // this data version already: as it was; else found.
            if (rows.Bytes(5) == 0)
                sqlite3_bind_text(in, 2, "2", 1, SQLITE_STATIC);
            else if (_stricmp(rows.Text(8), version) == 0)
                sqlite3_bind_value(in, 2, sqlite3_column_value(rows.get(), 1));
            else
                sqlite3_bind_text(in, 2, "1", 1, SQLITE_STATIC);
            sqlite3_bind_text(in, 4, date, -1, SQLITE_STATIC);
            sqlite3_bind_text(in, 5, description, -1, SQLITE_STATIC);
            sqlite3_bind_text(in, 6, financier, -1, SQLITE_STATIC);
            sqlite3_bind_text(in, 7, arrears, -1, SQLITE_STATIC);
        } else {
            sqlite3_bind_text(in, 2, "0", 1, SQLITE_STATIC);
            for (int c = 4; c <= 7; c++) sqlite3_bind_text(in, c, "", 0, SQLITE_STATIC);
        }
        rc = sqlite3_step(in);
        sqlite3_reset(in);
        sqlite3_clear_bindings(in);
        sqlite3_reset(lookup.get());
        if (rc != SQLITE_DONE) return fault->Set(rc, "writing the temporary diary", TempDiaryDb);
    }
    *carried = n;
    return true;
}

}  // namespace

void UpdateDiaryFromData(void) {
    JobBusyGuard busy;
    if (!busy.acquired()) return;
    JobFault fault;
    ShowJobTitle(L"Update Diary", L"Kemaskini Diary");
    ShowJobStep(L"\r\nPlease wait. Diary backup is being done.", L"\r\nSila tunggu. Diary backup sedang dijalankan.");
    HideJobButtons();
    if (DiaryDb == NULL || DataDb == NULL) {
        fault.Set(SQLITE_MISUSE, "the diary or the data is not open");
        ShowUpdateFailure(fault);
        return;
    }
    if (!BackUpDiaryBook(JobWindow())) {  // shown
        ShowUpdateFailure(fault);
        return;
    }
    char version[kNarrowChars];
    if (!WideToAnsi(DataVersionUpdate, version, sizeof version)) version[0] = 0;
    long long settings = 0, m = 0, n = 0;
    std::unordered_set<std::string> cleared;
    bool ok = CreateTempBook(true, &fault) && RunStep(TempDiaryDb, L"begin", &fault) &&
              CopySettings(&settings, &fault) && DiaryHighestRowId(DiaryDb, "VLS", &m, &fault);
    if (ok) {
        ShowJobStep(L"\r\nDatabase initial process.", L"\r\nProsess persediaan database.");
        ok = ReadClearedPlates(&cleared, &fault) && RebuildRows(cleared, version, m, &n, &fault);
    }
    if (ok) {
        ShowJobStep(L"\r\nPlease wait. Save data.", L"\r\nSila tunggu. Save data.");
        ok = IndexAndCommitTempBook(&fault);
    }
    if (ok && QueryNumber(TempDiaryDb, "select count(*) from PRS") != settings)
        ok = fault.Set(SQLITE_CORRUPT, "the settings were not all copied");
    bool replaced = false;
    ok = ok && SwapInTempBook(n, settings, &replaced, &fault);
    RemoveTempBook();
    if (!ok && !replaced) {
        ShowUpdateFailure(fault);
        return;
    }
    if (!ok) ShowDiaryNotReopened(JobWindow());  // the updated diary is in place all the same
    WCHAR text[kTextChars];
    StringCchPrintfW(text, ARRAYSIZE(text),
                     Pick(L"\r\nYour diary has been updated.\r\nRow: %d of %d.",
                          L"\r\nDiary anda sudah dikemaskini.\r\nBaris: %d daripada %d."),
                     (int)n, (int)m);
    ShowJobText(text);
    ShowJobTitle(L"Update Diary - Finished", L"Kemaskini Diary - Selesai");
}

// ---- Purge of cleared plates -----------------------------------------------------------

void PurgeClearedPlatesFromRemark(void) {
    if (RemarkDb == NULL || DataDb == NULL) return;
    {
        Statement flag;
        if (flag.Prepare(RemarkDb, "select C2 from PRS where C1 ='CLF'") != SQLITE_OK) return;
        int rc = sqlite3_step(flag.get());
        if (rc != SQLITE_ROW && rc != SQLITE_DONE) return;
        ClearedPlatesPurged = rc == SQLITE_ROW && _stricmp(flag.Text(0), "1") == 0 ? 1 : 0;
        if (ClearedPlatesPurged) return;
    }
    Statement vlc, present, remove;
    if (vlc.Prepare(DataDb, "SELECT C1 from VLC") != SQLITE_OK ||
        present.Prepare(RemarkDb, "SELECT 1 from VLS WHERE C1 = ?") != SQLITE_OK ||
        remove.Prepare(RemarkDb, "DELETE FROM VLS WHERE C1 = ?") != SQLITE_OK)
        return;
    // The remark fields of the cleared plates that have a remark.
    std::vector<std::string> doomed;
    WCHAR plate[kPlainBytes];
    char field[kCipherFieldBytes];
    for (;;) {
        int rc = sqlite3_step(vlc.get());
        if (rc == SQLITE_DONE) break;
        if (rc != SQLITE_ROW) return;
        DecodeField(DataCipher, vlc.Text(0), plate);
        EncodeField(LocalCipher, plate, field);
        sqlite3_bind_text(present.get(), 1, field, -1, SQLITE_STATIC);
        rc = sqlite3_step(present.get());
        sqlite3_reset(present.get());
        if (rc == SQLITE_ROW)
            doomed.push_back(field);
        else if (rc != SQLITE_DONE)
            return;
    }
    vlc.Finalize();
    present.Finalize();
    // Remarks go only after a checked backup of the remark book.
    if (!doomed.empty() &&
        !MakeCheckedBackup(RemarkDbPath, BackupNameHook != NULL ? BackupNameHook : MakeRemarkBackupPath,
                           RemarkBackupPath, ARRAYSIZE(RemarkBackupPath)))
        return;
    if (RunJobStatementQuietly(RemarkDb, L"begin") != SQLITE_OK) return;
    bool ok = true;
    for (const std::string &key : doomed) {
        if (JobStatementHook != NULL && JobStatementHook(L"DELETE FROM VLS WHERE C1 = ?") != SQLITE_OK) {
            ok = false;
            break;
        }
        sqlite3_bind_text(remove.get(), 1, key.c_str(), (int)key.size(), SQLITE_STATIC);
        int rc = sqlite3_step(remove.get());
        sqlite3_clear_bindings(remove.get());
        sqlite3_reset(remove.get());
        if (rc != SQLITE_DONE) {
            ok = false;
            break;
        }
    }
    remove.Finalize();
    ok = ok && RunJobStatementQuietly(RemarkDb, L"update PRS set C2 = '1' where C1 = 'CLF'") == SQLITE_OK &&
         RunJobStatementQuietly(RemarkDb, L"commit") == SQLITE_OK;
    if (!ok) {
        if (!sqlite3_get_autocommit(RemarkDb)) sqlite3_exec(RemarkDb, "rollback", NULL, NULL, NULL);
        return;
    }
    ClearedPlatesPurged = 1;
}
