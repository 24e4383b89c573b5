// The row cache of the record-book lists. An owner-data list view asks for
// each visible cell as it paints; cached_alpha_view answers from a window of
// rows that it fetches with one paged SELECT (LIMIT and OFFSET), and counts
// the rows of the SELECT for the list's item count.
//
// Every operation but the constructor takes the list's current SELECT, an
// ANSI text that the calling window keeps (CurrentListQuery in the book
// windows). It must hold the word "from" in lower case: the count runs
// "select count(*) " followed by the SELECT from that word on. Used on the
// user-interface thread only.
#pragma once

#include <stddef.h>

#include "sqlite3.h"

enum {
    kRowCacheWindowRows = 20,        // rows fetched beyond the one asked for, at first
    kRowCacheQueryBytes = 1500,      // the paged SELECT and the count SELECT
};

class cached_alpha_view {
  public:
    // Keeps connection (not owned; the book's connection) and a copy of
    // initialQuery, which the operations do not use. Caches nothing yet.
    cached_alpha_view(sqlite3 *connection, const char *initialQuery);
    // Frees the cached rows.
    virtual ~cached_alpha_view();
    cached_alpha_view(const cached_alpha_view &) = delete;
    cached_alpha_view &operator=(const cached_alpha_view &) = delete;

    // Returns the text of the cell at row (0-based in the SELECT's result)
    // and column, loading a new window of rows first when row is not cached:
    // [row, row + window_rows] when scrolling down, [row - window_rows, row]
    // otherwise. Returns error_text for a negative row or column, a column
    // past the result's, a row the SELECT does not have, or a failed load;
    // returns NULL for an SQL NULL cell. The text belongs to the cache and
    // stays valid until the next load.
    const char *cell_text(const char *query, int row, int column);
    // Loads [first, max(last, first + window_rows)] unless first..last is
    // cached already. Returns true when it loaded rows; false when they were
    // cached, or when the load failed (the old rows are then gone).
    bool ensure_rows(const char *query, int first, int last);
    // Recounts when recount is true, then reloads the cached window (row 0
    // alone on a fresh cache). Returns row_count, which a failed count makes
    // 0; last_count keeps the last successful count.
    int refresh(const char *query, bool recount);
    // As refresh, but counts with countSql (for SELECTs that group rows).
    int refresh_with_count(const char *query, const char *countSql, bool recount);

    // Counts the rows of query ("select count(*) " + query from its first
    // "from"). Returns the count and stores it in last_count; returns 0 and
    // leaves last_count alone on an error or when query holds no "from".
    int count_rows(const char *query);
    // The same with a ready count SELECT.
    int count_with_sql(const char *countSql);
    // Frees the cached rows, then loads rows first..last, clamped to the
    // row count (counted first when row_count < 0) and widening window_rows
    // to the range. Returns false, with nothing cached and first_row and
    // last_row unchanged, when the range is empty, starts at or past the row
    // count, or the SELECT fails.
    bool load_window(const char *query, int first, int last);
    // Formats query + " LIMIT  " + (last - first + 1) + " OFFSET " + first +
    // ";" into window_query_text and returns it; NULL when it does not fit.
    static const char *window_query(const char *query, int first, int last);
    // The same window of a query that ends in " order by RowID desc" and
    // whose last result column is the rowid, for rows that follow a held
    // row of rowid key: the query's condition (if any) with "rowid < key"
    // added, LIMIT (last - first + 1) and OFFSET skip (the rows between the
    // held row and first). The engine then seeks to the key instead of
    // stepping over every row before it. NULL when the query has not that
    // form or the text does not fit.
    static const char *keyed_window_query(const char *query, long long key, int skip, int first, int last);
    // The same for the rows before a held row of rowid key, read
    // backwards: "rowid > key", ordered by RowID ascending, LIMIT
    // (last - first + 1) and OFFSET skip (the rows between last and the
    // held row). The rows come nearest first, the reverse of the list's
    // order. NULL when the query has not that form or the text does not
    // fit.
    static const char *keyed_window_query_before(const char *query, long long key, int skip, int first, int last);
    // The rowid of held row (first_row..last_row) into *key. False when
    // row is not held, or the held rows are not query's, or query's last
    // result column is not the rowid.
    bool held_rowid(const char *query, int row, long long *key) const;
    // Frees table; table_rows and table_columns become 0.
    void free_table();

    int last_count;              // row count of the last successful count; the list's item count
    char **table;                // the cached rows (get-table result: row 0 = column names); owned
    int last_requested_row;      // the row cell_text served last; tells scrolling up from down
    int first_row;               // number of the first cached row, -1 when none was loaded
    int last_row;                // number of the last cached row, -1 when none was loaded
    int window_rows;             // rows fetched beyond the one asked for; grows with hints
    int table_rows;              // data rows in table
    int row_count;               // count that clamps loads; -1 until counted
    int table_columns;           // columns in table
    char error_text[12];         // "error": the text of every cell that cannot be given
    char initial_query[64];      // the construction text, kept but not used
    sqlite3 *connection;         // where the SELECTs run; not owned
    size_t from_position;        // position of "from" in the last query counted
    char held_query[kRowCacheQueryBytes];  // the query whose rows are held; "" when none

    static char window_query_text[kRowCacheQueryBytes];  // built by window_query, shared by all caches
};
