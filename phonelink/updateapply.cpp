// Applying a checked reply's row operations to VLD, VLC and the remark
// book: one transaction each, every statement checked, rolled back whole on
// any failure, so a bad reply or a full disk never half-applies an update.
#include "update.h"

#include <string.h>
#include <strsafe.h>

#include <algorithm>
#include <new>

#include "bookjob.h"
#include "cipher.h"
#include "datastore.h"
#include "dbfiles.h"
#include "sqlite3.h"
#include "statement.h"
#include "updateparts.h"

namespace {

// ---- Books -----------------------------------------------------------------

// Binds the texts to ?1.. of s, steps once and resets. Returns the step's
// code (SQLITE_ROW, SQLITE_DONE or an error).
int RunWith(Statement &s, std::initializer_list<const std::string *> values) {
    int i = 1;
    for (const std::string *v : values) {
        sqlite3_bind_text(s.get(), i++, v->c_str(), (int)v->size(), SQLITE_TRANSIENT);
    }
    int rc = sqlite3_step(s.get());
    sqlite3_clear_bindings(s.get());
    sqlite3_reset(s.get());
    return rc;
}

bool Exec(sqlite3 *db, const char *sql, std::string *error) {
    char *message = NULL;
    int rc = sqlite3_exec(db, sql, NULL, NULL, &message);
    if (rc != SQLITE_OK && error != NULL && error->empty()) {
        *error = std::string(sql) + ": " + (message ? message : sqlite3_errstr(rc));
    }
    sqlite3_free(message);
    return rc == SQLITE_OK;
}

// The apply keeps the engine's syncs: its journal must be on the disk before
// the pages it guards are overwritten, or a power cut in the apply leaves a
// damaged data file or remark book.
void FastPragmas(sqlite3 *db) {
    Exec(db, "PRAGMA temp_store = MEMORY;", NULL);
    Exec(db, "PRAGMA locking_mode = EXCLUSIVE;", NULL);
}

void NormalPragmas(sqlite3 *db) {
    Exec(db, "PRAGMA temp_store = DEFAULT;", NULL);
    Exec(db, "PRAGMA locking_mode = NORMAL;", NULL);
    // Leaving exclusive mode lets the file go only at the next access;
    // make that access now, so other readers (the setup program, a copy,
    // the engine's shell) are not locked out until the next search.
    Exec(db, "PRAGMA user_version;", NULL);
}

// The plate of a remark key (LocalCipher) as the data book keeps it in VLC.
std::string ClearedPlateField(const std::string &remarkKey) {
    WCHAR plate[kPlainBytes];
    DecodeField(LocalCipher, remarkKey.c_str(), plate);
    char field[kCipherFieldBytes];
    EncodeField(DataCipher, plate, field);
    return field;
}

enum { kApplyPaintMs = 40, kApplyPaintRows = 64 };  // the apply lets paint through this often

// True when a remark of one of the X rows is in the remark book: the apply
// would delete it. Returns false when there is none or the book cannot be
// read (then the apply's own delete fails as well). The lookups share one
// read transaction: outside one, every lookup would take the book's lock,
// look for a journal and let the lock go again, which for the tens of
// thousands of X rows of a large reply costs seconds.
bool DeletesRemarks(const std::vector<UpdateRow> &rows) {
    sqlite3_stmt *find = NULL;
    if (sqlite3_prepare_v2(RemarkDb, "SELECT 1 FROM VLS WHERE C1=? LIMIT 1", -1, &find, NULL) != SQLITE_OK) {
        sqlite3_finalize(find);
        return false;
    }
    bool reading = sqlite3_get_autocommit(RemarkDb) && Exec(RemarkDb, "BEGIN", NULL);
    bool found = false;
    for (size_t i = 0; i < rows.size() && !found; i++) {
        if (_stricmp(rows[i].f.c_str(), "X") != 0) continue;
        sqlite3_bind_text(find, 1, rows[i].a.c_str(), (int)rows[i].a.size(), SQLITE_STATIC);
        found = sqlite3_step(find) == SQLITE_ROW;
        sqlite3_reset(find);
    }
    sqlite3_finalize(find);
    if (reading && !Exec(RemarkDb, "COMMIT", NULL)) Exec(RemarkDb, "ROLLBACK", NULL);
    return found;
}

bool Step(int rc, const char *what, sqlite3 *db, size_t row, std::string *error) {
    if (rc == SQLITE_DONE || rc == SQLITE_ROW) return true;
    char text[512];
    StringCchPrintfA(text, ARRAYSIZE(text), "row %u: %s: %s", (unsigned)row + 1, what, sqlite3_errmsg(db));
    *error = text;
    return false;
}

enum {
    kApplyCacheKiB = 163840,       // the data book's page cache while an update is applied (half the room beside its map)
    kApplyRemarkCacheKiB = 32768,  // the remark book's, which then holds the whole book as a rule
};

// The row operations that touch the cleared plates (and the remark book)
// rather than VLD.
bool IsClearOperation(const UpdateRow &r) {
    return _stricmp(r.f.c_str(), "X") == 0 || _stricmp(r.f.c_str(), "Z") == 0;
}

// The order in which the rows are applied. The VLD rows (D and the
// upserts) go by key, so that a large reply walks the key index from one
// end to the other and reads and rewrites each of its pages about once
// instead of once per row; the X and Z rows follow in their own order.
// Rows of the same key keep the order the server gave, and rows of
// different keys, or of VLD and of VLC, never touch the same row, so the
// outcome is that of the rows in the reply's order.
std::vector<size_t> ApplyOrder(const std::vector<UpdateRow> &rows) {
    std::vector<size_t> order(rows.size());
    std::vector<char> clears(rows.size());  // the kind of each row, found once and not at every comparison
    for (size_t i = 0; i < rows.size(); i++) {
        order[i] = i;
        clears[i] = IsClearOperation(rows[i]);
    }
    std::stable_sort(order.begin(), order.end(), [&rows, &clears](size_t x, size_t y) {
        if (clears[x] != clears[y]) return clears[y] != 0;  // VLD rows first
        return !clears[x] && rows[x].a < rows[y].a;
    });
    return order;
}

// The connection's page cache setting ("PRAGMA cache_size"), 0 when it
// cannot be read.
int CacheSizeSetting(sqlite3 *db) {
    int value = 0;
    sqlite3_stmt *stmt = NULL;
    if (sqlite3_prepare_v2(db, "PRAGMA cache_size", -1, &stmt, NULL) == SQLITE_OK &&
        sqlite3_step(stmt) == SQLITE_ROW) {
        value = sqlite3_column_int(stmt, 0);
    }
    sqlite3_finalize(stmt);
    return value;
}

bool LockingModeIsExclusive(sqlite3 *db) {
    bool exclusive = false;
    sqlite3_stmt *stmt = NULL;
    if (sqlite3_prepare_v2(db, "PRAGMA locking_mode", -1, &stmt, NULL) == SQLITE_OK &&
        sqlite3_step(stmt) == SQLITE_ROW) {
        const unsigned char *mode = sqlite3_column_text(stmt, 0);
        exclusive = mode != NULL && _stricmp((const char *)mode, "exclusive") == 0;
    }
    sqlite3_finalize(stmt);
    return exclusive;
}

void SetCacheSize(sqlite3 *db, int value) {
    char sql[64];
    StringCchPrintfA(sql, ARRAYSIZE(sql), "PRAGMA cache_size = %d;", value);
    Exec(db, sql, NULL);
}

}  // namespace

bool ApplyUpdateRows(const std::vector<UpdateRow> &rows, const WCHAR *newPatch, std::string *error,
                     int *remarksKept) {
    error->clear();
    if (remarksKept != NULL) *remarksKept = 0;
    int remarksDeleted = 0;
    if (DataDb == NULL || RemarkDb == NULL) {
        *error = "the data or remark book is not open";
        return false;
    }
    // Remarks that the reply deletes are copied first, to a checked backup;
    // without one nothing is applied.
    if (DeletesRemarks(rows) &&
        !MakeCheckedBackup(RemarkDbPath, BackupNameHook != NULL ? BackupNameHook : MakeRemarkBackupPath,
                           RemarkBackupPath, ARRAYSIZE(RemarkBackupPath))) {
        *error = "the backup copy of the remark book could not be made";
        return false;
    }
    // The data book may keep its read lock between lookups; the apply's end
    // releases every lock, and that mode comes back after it.
    bool keepsReadLock = LockingModeIsExclusive(DataDb);
    FastPragmas(DataDb);
    FastPragmas(RemarkDb);
    // A cache that holds the pages a large reply changes, so that they are
    // neither written out early nor read twice; the setting comes back after.
    int cacheSize = CacheSizeSetting(DataDb), remarkCacheSize = CacheSizeSetting(RemarkDb);
    if (cacheSize != 0) SetCacheSize(DataDb, -kApplyCacheKiB);
    if (remarkCacheSize != 0) SetCacheSize(RemarkDb, -kApplyRemarkCacheKiB);
    bool ok = Exec(DataDb, "begin", error) && Exec(RemarkDb, "begin", error);
    // The cleared plates are found by their text, and VLC comes without an
    // index: every X and Z would read the whole table. The index is made
    // once, inside the data transaction, so a failed apply takes it back
    // with the rest; readers of the file see no difference.
    bool clearsPlates = false;
    for (const UpdateRow &r : rows) clearsPlates = clearsPlates || IsClearOperation(r);
    if (ok && clearsPlates) ok = Exec(DataDb, "CREATE INDEX IF NOT EXISTS idxVLCC1 ON VLC(C1)", error);
    // Memory that runs out half way is a failure like any other: both
    // transactions are rolled back below.
    try {
        Statement update(DataDb, "UPDATE VLD SET C2=?,C3=?,C4=?,C5=? WHERE C1=?");
        Statement insert(DataDb, "INSERT INTO VLD VALUES(?,?,?,?,?)");
        Statement erase(DataDb, "DELETE FROM VLD WHERE C1=?");
        Statement clear(DataDb, "INSERT INTO VLC (C1) SELECT ? WHERE NOT EXISTS (SELECT 1 FROM VLC WHERE C1=?)");
        Statement unclear(DataDb, "DELETE FROM VLC WHERE C1=?");
        Statement forget(RemarkDb, "DELETE FROM VLS WHERE C1=?");
        Statement patchUpdate(DataDb, "update PRD set C2 = ? where C1 = 'DVP'");
        Statement patchInsert(DataDb, "insert into PRD (C1, C2) values ('DVP', ?)");
        if (ok && !(update.ok() && insert.ok() && erase.ok() && clear.ok() && unclear.ok() &&
                    forget.ok() && patchUpdate.ok() && patchInsert.ok())) {
            *error = "Could not prepare statement.";
            ok = false;
        }
        std::vector<size_t> order = ApplyOrder(rows);
        DWORD painted = GetTickCount();
        for (size_t n = 0; ok && n < order.size(); n++) {
            if (n % kApplyPaintRows == 0 && GetTickCount() - painted >= kApplyPaintMs) {
                LetPaintThrough();
                painted = GetTickCount();
            }
            size_t i = order[n];  // the row's place in the reply, for the error text
            const UpdateRow &r = rows[i];
            if (_stricmp(r.f.c_str(), "D") == 0) {
                ok = Step(RunWith(erase, {&r.a}), "delete", DataDb, i, error);
            } else if (_stricmp(r.f.c_str(), "X") == 0) {
                std::string cleared = ClearedPlateField(r.a);
                ok = Step(RunWith(forget, {&r.a}), "remark delete", RemarkDb, i, error);
                if (ok) remarksDeleted += sqlite3_changes(RemarkDb);
                ok = ok && Step(RunWith(clear, {&cleared, &cleared}), "clear", DataDb, i, error);
            } else if (_stricmp(r.f.c_str(), "Z") == 0) {
                std::string cleared = ClearedPlateField(r.a);
                ok = Step(RunWith(unclear, {&cleared}), "unclear", DataDb, i, error);
            } else {
                // The update finds the row itself; a key it meets nowhere
                // is a new vehicle.
                ok = Step(RunWith(update, {&r.b, &r.c, &r.d, &r.e, &r.a}), "update", DataDb, i, error);
                if (ok && sqlite3_changes(DataDb) == 0) {
                    ok = Step(RunWith(insert, {&r.a, &r.b, &r.c, &r.d, &r.e}), "insert", DataDb, i, error);
                }
            }
        }
        if (ok) {
            char field[kCipherFieldBytes];
            EncodeField(DataCipher, newPatch, field);
            std::string patch = field;
            ok = Step(RunWith(patchUpdate, {&patch}), "patch version", DataDb, rows.size(), error);
            if (ok && sqlite3_changes(DataDb) == 0) {
                ok = Step(RunWith(patchInsert, {&patch}), "patch version", DataDb, rows.size(), error);
            }
        }
    } catch (const std::bad_alloc &) {
        *error = "out of memory";
        ok = false;
    }
    // The remark book commits first, the data book with the new patch
    // version last. Every row operation can be done twice to the same end,
    // so when the data commit fails after the remark commit, the old patch
    // version stays and the next update brings the same rows again: no row
    // is lost, only the remark deletions are already done.
    bool remarksCommitted = false;
    if (ok) ok = remarksCommitted = Exec(RemarkDb, "commit", error);
    if (ok) ok = Exec(DataDb, "commit", error);
    if (!ok) {
        for (sqlite3 *db : {DataDb, RemarkDb}) {
            if (!sqlite3_get_autocommit(db)) Exec(db, "rollback", NULL);
        }
        if (remarksCommitted && remarksKept != NULL) *remarksKept = remarksDeleted;
    }
    if (cacheSize != 0) SetCacheSize(DataDb, cacheSize);
    if (remarkCacheSize != 0) SetCacheSize(RemarkDb, remarkCacheSize);
    NormalPragmas(RemarkDb);
    NormalPragmas(DataDb);
    if (keepsReadLock) Exec(DataDb, "PRAGMA locking_mode = EXCLUSIVE;", NULL);
    return ok;
}
