// The online update's apply as the engine alone does it: the same
// statements, order and settings as ApplyUpdateRows, on a copy of the same
// data file, built natively for this Linux machine and run without Wine.
// Its time is what the engine and the disk cost before any Windows layer,
// so bench.sh prints it beside the programs' own figures, and with two
// lighter settings that give up the power-cut safety the program keeps:
//
//   kept    journal_mode PERSIST, synchronous FULL (the program's)
//   nosync  the same journal, synchronous OFF
//   bare    no journal, synchronous OFF
//
//   update_native_bench DATAFILE WORKFOLDER [ROWS] [SEED]
//
// The reply's mix is bench_update's: 35% upserts of vehicles in the file,
// 30% upserts of new keys, 15% deletes, 12% clears of new plates and 8%
// unclears of cleared ones, shuffled, then put in the apply's order (the
// VLD rows by key, the VLC rows after them). The remark book is left out:
// it holds a few thousand pages beside the data file's hundred thousand.
// DATAFILE is never changed; every run works on a fresh copy.
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "sqlite3.h"

namespace {

double Now() {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (double)t.tv_sec + (double)t.tv_nsec / 1e9;
}

bool Exec(sqlite3 *db, const std::string &sql) {
    char *message = NULL;
    int rc = sqlite3_exec(db, sql.c_str(), NULL, NULL, &message);
    if (rc != SQLITE_OK) fprintf(stderr, "update_native_bench: %s: %s\n", sql.c_str(), message ? message : "");
    sqlite3_free(message);
    return rc == SQLITE_OK;
}

// A copy of source at target, written out to the disk before the run. The
// kernel copies it itself (as cp does): a copy written through a user
// buffer leaves the system's cache in large blocks, and every 4 KiB page
// the engine then writes costs several times more, which would make the
// engine look slower here than it is.
bool CopyFile(const std::string &source, const std::string &target) {
    int in = open(source.c_str(), O_RDONLY);
    int out = open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    struct stat info;
    bool ok = in >= 0 && out >= 0 && fstat(in, &info) == 0;
    off_t left = ok ? info.st_size : 0;
    while (ok && left > 0) {
        ssize_t n = copy_file_range(in, NULL, out, NULL, (size_t)left, 0);
        ok = n > 0;
        left -= n > 0 ? n : 0;
    }
    ok = ok && fsync(out) == 0;
    if (in >= 0) close(in);
    if (out >= 0) close(out);
    return ok;
}

enum Kind { kUpsert, kDelete, kClear, kUnclear };

struct Row {
    std::string key;
    Kind kind;
    unsigned n;  // the row's place in the reply, which its values follow
};

// A text of the given length in the alphabet of the stored keys.
std::string RandomHex(std::mt19937 &random, size_t length, bool upper) {
    const char *digits = upper ? "0123456789ABCDEF" : "0123456789abcdef";
    std::string text(length, '0');
    for (char &c : text) c = digits[random() % 16];
    return text;
}

// The text of column 0 of the row sql finds for ?1 = rowid; empty when none.
std::string TextAt(sqlite3_stmt *stmt, long long rowid) {
    sqlite3_bind_int64(stmt, 1, rowid);
    std::string text;
    if (sqlite3_step(stmt) == SQLITE_ROW) text = (const char *)sqlite3_column_text(stmt, 0);
    sqlite3_reset(stmt);
    return text;
}

long long Number(sqlite3 *db, const char *sql) {
    sqlite3_stmt *stmt = NULL;
    long long n = 0;
    if (sqlite3_prepare_v2(db, sql, -1, &stmt, NULL) == SQLITE_OK && sqlite3_step(stmt) == SQLITE_ROW) {
        n = sqlite3_column_int64(stmt, 0);
    }
    sqlite3_finalize(stmt);
    return n;
}

std::vector<Row> MakeRows(sqlite3 *db, int count, unsigned seed) {
    std::mt19937 random(7 + seed);
    long long maxRow = Number(db, "SELECT max(rowid) FROM VLD");
    long long clearedRows = Number(db, "SELECT max(rowid) FROM VLC");
    sqlite3_stmt *vehicle = NULL, *cleared = NULL;
    sqlite3_prepare_v2(db, "SELECT C1 FROM VLD WHERE rowid=?", -1, &vehicle, NULL);
    sqlite3_prepare_v2(db, "SELECT C1 FROM VLC WHERE rowid=?", -1, &cleared, NULL);
    size_t keyLength = TextAt(vehicle, 1).size(), plateLength = TextAt(cleared, 1).size();
    std::vector<Row> rows((size_t)count);
    for (int i = 0; i < count; i++) {
        Row &r = rows[(size_t)i];
        int pick = i % 100;
        r.n = (unsigned)i;
        if (pick < 35 || (pick >= 65 && pick < 80)) {
            while (r.key.empty() && maxRow > 0) r.key = TextAt(vehicle, 1 + (long long)(random() % maxRow));
            r.kind = pick < 35 ? kUpsert : kDelete;
        } else if (pick < 65) {
            r.key = RandomHex(random, keyLength, false);
            r.kind = kUpsert;
        } else if (pick < 92) {
            r.key = RandomHex(random, plateLength, true);
            r.kind = kClear;
        } else {
            while (r.key.empty() && clearedRows > 0) r.key = TextAt(cleared, 1 + (long long)(random() % clearedRows));
            r.kind = kUnclear;
        }
    }
    sqlite3_finalize(vehicle);
    sqlite3_finalize(cleared);
    std::shuffle(rows.begin(), rows.end(), random);
    std::stable_sort(rows.begin(), rows.end(), [](const Row &x, const Row &y) {
        bool cx = x.kind >= kClear, cy = y.kind >= kClear;
        if (cx != cy) return cy;
        return !cx && x.key < y.key;
    });
    return rows;
}

struct Setting {
    const char *name, *journal, *synchronous;
};

// One apply of rows on a fresh copy; prints its figures. False on any
// engine error.
bool RunOnce(const std::string &source, const std::string &copy, int count, unsigned seed, const Setting &setting) {
    unlink((copy + "-journal").c_str());
    if (!CopyFile(source, copy)) {
        fprintf(stderr, "update_native_bench: cannot copy %s to %s\n", source.c_str(), copy.c_str());
        return false;
    }
    sqlite3 *db = NULL;
    if (sqlite3_open(copy.c_str(), &db) != SQLITE_OK) {
        fprintf(stderr, "update_native_bench: cannot open %s\n", copy.c_str());
        sqlite3_close(db);
        return false;
    }
    // The program's settings for the apply: the whole file mapped, a
    // 160 MiB page cache, an exclusive lock, the temporary store in memory.
    bool ok = Exec(db, "PRAGMA mmap_size = 1073741824; PRAGMA cache_size = -163840;"
                       "PRAGMA temp_store = MEMORY; PRAGMA locking_mode = EXCLUSIVE;") &&
              Exec(db, std::string("PRAGMA journal_mode = ") + setting.journal) &&
              Exec(db, std::string("PRAGMA synchronous = ") + setting.synchronous);
    std::vector<Row> rows = MakeRows(db, count, seed);
    std::string b, c, d, e;
    {
        sqlite3_stmt *sample = NULL;
        sqlite3_prepare_v2(db, "SELECT C2, C3, C4, C5 FROM VLD WHERE rowid = 1", -1, &sample, NULL);
        if (sqlite3_step(sample) == SQLITE_ROW) {
            b = (const char *)sqlite3_column_text(sample, 0);
            c = (const char *)sqlite3_column_text(sample, 1);
            d = (const char *)sqlite3_column_text(sample, 2);
            e = (const char *)sqlite3_column_text(sample, 3);
        }
        sqlite3_finalize(sample);
    }
    ok = ok && !b.empty() && c.size() > 4;
    double start = Now();
    ok = ok && Exec(db, "begin") && Exec(db, "CREATE INDEX IF NOT EXISTS idxVLCC1 ON VLC(C1)");
    sqlite3_stmt *update = NULL, *insert = NULL, *erase = NULL, *clear = NULL, *unclear = NULL;
    sqlite3_prepare_v2(db, "UPDATE VLD SET C2=?,C3=?,C4=?,C5=? WHERE C1=?", -1, &update, NULL);
    sqlite3_prepare_v2(db, "INSERT INTO VLD VALUES(?,?,?,?,?)", -1, &insert, NULL);
    sqlite3_prepare_v2(db, "DELETE FROM VLD WHERE C1=?", -1, &erase, NULL);
    sqlite3_prepare_v2(db, "INSERT INTO VLC (C1) SELECT ? WHERE NOT EXISTS (SELECT 1 FROM VLC WHERE C1=?)", -1,
                       &clear, NULL);
    sqlite3_prepare_v2(db, "DELETE FROM VLC WHERE C1=?", -1, &unclear, NULL);
    ok = ok && update && insert && erase && clear && unclear;
    auto run = [&ok](sqlite3_stmt *stmt, std::initializer_list<const std::string *> values) {
        int i = 1;
        for (const std::string *v : values) sqlite3_bind_text(stmt, i++, v->c_str(), (int)v->size(), SQLITE_STATIC);
        int rc = sqlite3_step(stmt);
        sqlite3_reset(stmt);
        ok = ok && rc == SQLITE_DONE;
    };
    for (size_t i = 0; ok && i < rows.size(); i++) {
        const Row &r = rows[i];
        b[b.size() - 1] = (char)('A' + r.n % 26);  // new values of the same length
        c[c.size() - 1] = (char)('A' + r.n % 23);
        switch (r.kind) {
        case kUpsert:
            run(update, {&b, &c, &d, &e, &r.key});
            if (ok && sqlite3_changes(db) == 0) run(insert, {&r.key, &b, &c, &d, &e});
            break;
        case kDelete: run(erase, {&r.key}); break;
        case kClear: run(clear, {&r.key, &r.key}); break;
        case kUnclear: run(unclear, {&r.key}); break;
        }
    }
    double applied = Now();
    ok = ok && Exec(db, "commit");
    double committed = Now();
    int spilled = 0, written = 0, unused = 0;
    sqlite3_db_status(db, SQLITE_DBSTATUS_CACHE_SPILL, &spilled, &unused, 0);
    sqlite3_db_status(db, SQLITE_DBSTATUS_CACHE_WRITE, &written, &unused, 0);
    long long vehicles = Number(db, "SELECT count(*) FROM VLD");
    // A persistent journal keeps its length after the commit: the original
    // of every page the apply changed, each written and synced before the
    // page itself.
    struct stat journal;
    double journalMiB = stat((copy + "-journal").c_str(), &journal) == 0 ? (double)journal.st_size / 1048576.0 : 0.0;
    for (sqlite3_stmt *stmt : {update, insert, erase, clear, unclear}) sqlite3_finalize(stmt);
    sqlite3_close(db);
    if (!ok) return false;
    printf("  %-7s (journal %s, synchronous %s): %d rows in %.3f s, %.0f rows/s (statements %.3f s, commit %.3f s);"
           " pages written %d, %d of them spilled; journal %.0f MiB; VLD %lld\n",
           setting.name, setting.journal, setting.synchronous, count, committed - start,
           (double)count / (committed - start), applied - start, committed - applied, written, spilled, journalMiB,
           vehicles);
    fflush(stdout);
    return true;
}

}  // namespace

int main(int argc, char **argv) {
    if (argc < 3) {
        fprintf(stderr, "usage: update_native_bench DATAFILE WORKFOLDER [ROWS] [SEED]\n");
        return 2;
    }
    std::string source = argv[1], copy = std::string(argv[2]) + "/native-bench-data.db";
    int count = argc > 3 ? atoi(argv[3]) : 100000;
    unsigned seed = argc > 4 ? (unsigned)atoi(argv[4]) : 1;
    printf("the engine alone, natively, without Wine: %d reply rows on a copy of %s\n", count, source.c_str());
    static const Setting kSettings[] = {
        {"kept", "PERSIST", "FULL"}, {"nosync", "PERSIST", "OFF"}, {"bare", "OFF", "OFF"}};
    bool ok = true;
    for (const Setting &setting : kSettings) ok = RunOnce(source, copy, count, seed, setting) && ok;
    unlink(copy.c_str());
    unlink((copy + "-journal").c_str());
    return ok ? 0 : 1;
}
