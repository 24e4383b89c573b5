// The one guard of a prepared statement: whoever prepares a statement on a
// connection holds it in a Statement, which finalizes it when it goes.
#pragma once

#include <stddef.h>

#include "sqlite3.h"

class Statement {
  public:
    Statement() = default;
    // Prepares sql on db at once; prepared() gives the engine's code.
    Statement(sqlite3 *db, const char *sql) { Prepare(db, sql); }
    ~Statement() { Finalize(); }
    Statement(const Statement &) = delete;
    Statement &operator=(const Statement &) = delete;

    // Finalizes what the guard held, then prepares sql on db. Returns the
    // engine's code; SQLITE_MISUSE, with nothing prepared, on a null db. On
    // any failure the guard holds nothing.
    int Prepare(sqlite3 *db, const char *sql) {
        Finalize();
        if (db == NULL) return rc_ = SQLITE_MISUSE;
        rc_ = sqlite3_prepare_v2(db, sql, -1, &stmt_, NULL);
        if (rc_ != SQLITE_OK) Finalize();
        return rc_;
    }
    void Finalize() {
        if (stmt_ != NULL) sqlite3_finalize(stmt_);
        stmt_ = NULL;
    }
    int prepared() const { return rc_; }  // the code of the last Prepare
    bool ok() const { return stmt_ != NULL && rc_ == SQLITE_OK; }
    sqlite3_stmt *get() const { return stmt_; }
    // The text of column in the current row; "" for NULL.
    const char *Text(int column) const {
        const unsigned char *t = sqlite3_column_text(stmt_, column);
        return t != NULL ? (const char *)t : "";
    }
    int Bytes(int column) const { return sqlite3_column_bytes(stmt_, column); }

  private:
    sqlite3_stmt *stmt_ = NULL;
    int rc_ = SQLITE_MISUSE;
};
