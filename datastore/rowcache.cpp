// The row cache of the record-book lists.
#include "rowcache.h"

#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <strsafe.h>

#include <utility>

#include "datastore.h"
#include "textutil.h"

char cached_alpha_view::window_query_text[kRowCacheQueryBytes];

// a + b, held within int.
static int AddClamped(int a, int b) {
    int64_t sum = (int64_t)a + b;
    if (sum > INT32_MAX) return INT32_MAX;
    if (sum < INT32_MIN) return INT32_MIN;
    return (int)sum;
}

// The count in the decimal text of a count SELECT's cell; below 0 or
// unreadable gives 0, beyond int the largest int.
static int CountFromText(const char *text) {
    long long v = strtoll(text, NULL, 10);
    if (v < 0) return 0;
    if (v > INT32_MAX) return INT32_MAX;
    return (int)v;
}

cached_alpha_view::cached_alpha_view(sqlite3 *connection, const char *initialQuery)
    : last_count(0),
      table(NULL),
      last_requested_row(-1),
      first_row(-1),
      last_row(-1),
      window_rows(kRowCacheWindowRows),
      table_rows(0),
      row_count(-1),
      table_columns(0),
      error_text{"error"},
      initial_query{},
      connection(connection),
      from_position(0),
      held_query{} {
    TextCopy(initial_query, initialQuery);
}

cached_alpha_view::~cached_alpha_view() {
    free_table();
}

void cached_alpha_view::free_table() {
    if (table != NULL) {
        sqlite3_free_table(table);
        table = NULL;
    }
    table_rows = 0;
    table_columns = 0;
    held_query[0] = 0;
}

int cached_alpha_view::count_with_sql(const char *countSql) {
    if (connection == NULL || countSql == NULL) return 0;
    char **result = NULL;
    int rows = 0, columns = 0;
    char *error = NULL;
    int rc = sqlite3_get_table(connection, countSql, &result, &rows, &columns, &error);
    if (rc != SQLITE_OK) {
        if (result != NULL) sqlite3_free_table(result);
        sqlite3_free(error);
        return 0;
    }
    int count = 0;
    if (rows == 1 && columns >= 1 && result[columns] != NULL) count = CountFromText(result[columns]);
    sqlite3_free_table(result);
    last_count = count;
    return count;
}

int cached_alpha_view::count_rows(const char *query) {
    const char *from = query != NULL ? strstr(query, "from") : NULL;
    if (from == NULL) return 0;
    from_position = (size_t)(from - query);
    char sql[kRowCacheQueryBytes];
    if (FAILED(StringCchPrintfA(sql, ARRAYSIZE(sql), "select count(*) %hs", from))) return 0;
    return count_with_sql(sql);
}

const char *cached_alpha_view::window_query(const char *query, int first, int last) {
    if (query == NULL) return NULL;
    long long rows = (long long)last - first + 1;
    if (FAILED(StringCchPrintfA(window_query_text, ARRAYSIZE(window_query_text), "%hs LIMIT  %lld OFFSET %d;",
                                query, rows, first))) {
        window_query_text[0] = 0;
        return NULL;
    }
    return window_query_text;
}

// The keyed window of query in either direction: after key (rowid below
// it, in the query's descending order) or, when before, the rows before
// key (rowid above it) in ascending order, nearest first.
static const char *KeyedWindow(const char *query, long long key, int skip, int first, int last, bool before) {
    static const char kOrder[] = " order by RowID desc";
    const size_t orderLength = sizeof kOrder - 1;
    char *out = cached_alpha_view::window_query_text;
    const size_t room = sizeof cached_alpha_view::window_query_text;
    if (query == NULL) return NULL;
    size_t length = strlen(query);
    if (length < orderLength || strcmp(query + length - orderLength, kOrder) != 0) return NULL;
    int body = (int)(length - orderLength);
    const char *seek = before ? "rowid >" : "rowid <";
    const char *order = before ? " order by RowID asc" : kOrder;
    // The first " where " is the query's own: every quoted value follows it.
    const char *where = strstr(query, " where ");
    long long rows = (long long)last - first + 1;
    HRESULT hr;
    if (where != NULL && where < query + body) {
        int head = (int)(where - query);
        const char *condition = where + 7;
        hr = StringCchPrintfA(out, room, "%.*hs where %hs %lld and (%.*hs)%hs LIMIT  %lld OFFSET %d;", head, query,
                              seek, key, (int)(query + body - condition), condition, order, rows, skip);
    } else {
        hr = StringCchPrintfA(out, room, "%.*hs where %hs %lld%hs LIMIT  %lld OFFSET %d;", body, query, seek, key,
                              order, rows, skip);
    }
    if (FAILED(hr)) {
        out[0] = 0;
        return NULL;
    }
    return out;
}

const char *cached_alpha_view::keyed_window_query(const char *query, long long key, int skip, int first, int last) {
    return KeyedWindow(query, key, skip, first, last, false);
}

const char *cached_alpha_view::keyed_window_query_before(const char *query, long long key, int skip, int first,
                                                         int last) {
    return KeyedWindow(query, key, skip, first, last, true);
}

bool cached_alpha_view::held_rowid(const char *query, int row, long long *key) const {
    if (table == NULL || query == NULL || table_columns <= 0 || table_rows != last_row - first_row + 1 ||
        row < first_row || row > last_row || strcmp(held_query, query) != 0) {
        return false;
    }
    const char *name = table[table_columns - 1];
    const char *text = table[(row - first_row + 1) * table_columns + table_columns - 1];
    if (name == NULL || _stricmp(name, "rowid") != 0 || text == NULL) return false;
    *key = strtoll(text, NULL, 10);
    return true;
}

// Reverses the order of the data rows of a get-table result (row 0 holds
// the column names).
static void ReverseRows(char **table, int rows, int columns) {
    for (int a = 1, b = rows; a < b; a++, b--) {
        for (int c = 0; c < columns; c++) std::swap(table[a * columns + c], table[b * columns + c]);
    }
}

bool cached_alpha_view::load_window(const char *query, int first, int last) {
    if (row_count < 0) row_count = count_rows(query);
    if (first < 0) first = 0;
    if (last < 0) last = 0;
    // An empty range, or one from the row count on, holds no rows: refused
    // without a query.
    bool empty = last < first || first >= row_count;
    if (!empty && last >= row_count) last = row_count - 1;
    // Rows next to the held ones of the same query are found from a held
    // rowid when the query is ordered by it: the engine seeks to that row
    // instead of stepping over every row before the window. A window that
    // starts after the first held row continues from the held row before
    // it (or the last held one); a window that ends before the last held
    // row is read backwards from the held row after it (or the first).
    const char *sql = NULL;
    bool backwards = false;
    long long key = 0;
    if (!empty && first > first_row && held_rowid(query, first - 1 < last_row ? first - 1 : last_row, &key)) {
        int anchor = first - 1 < last_row ? first - 1 : last_row;
        sql = keyed_window_query(query, key, first - 1 - anchor, first, last);
    } else if (!empty && first < first_row && last < last_row &&
               held_rowid(query, last + 1 > first_row ? last + 1 : first_row, &key)) {
        int anchor = last + 1 > first_row ? last + 1 : first_row;
        sql = keyed_window_query_before(query, key, anchor - 1 - last, first, last);
        backwards = sql != NULL;
    }
    free_table();
    if (empty) return false;
    if (last - first > window_rows) window_rows = last - first;

    if (sql == NULL) sql = window_query(query, first, last);
    if (sql == NULL || connection == NULL) return false;
    char **result = NULL;
    int rows = 0, columns = 0;
    char *error = NULL;
    int rc = sqlite3_get_table(connection, sql, &result, &rows, &columns, &error);
    if (rc == SQLITE_OK && backwards && rows != last - first + 1) {
        // Fewer rows before the held one than the count promised: the book
        // changed under the cache, and only the rows' own places tell
        // which is first.
        sqlite3_free_table(result);
        result = NULL;
        sql = window_query(query, first, last);
        rc = sql != NULL ? sqlite3_get_table(connection, sql, &result, &rows, &columns, &error) : SQLITE_ERROR;
        backwards = false;
    }
    if (rc != SQLITE_OK) {
        if (result != NULL) sqlite3_free_table(result);
        sqlite3_free(error);
        return false;
    }
    if (backwards) ReverseRows(result, rows, columns);
    table = result;
    if (FAILED(StringCchCopyA(held_query, ARRAYSIZE(held_query), query))) held_query[0] = 0;  // never continued
    table_rows = rows;
    table_columns = columns;
    first_row = first;
    last_row = last;
    return true;
}

bool cached_alpha_view::ensure_rows(const char *query, int first, int last) {
    if (first >= first_row && last <= last_row) return false;
    int widened = AddClamped(first, window_rows);
    return load_window(query, first, last > widened ? last : widened);
}

const char *cached_alpha_view::cell_text(const char *query, int row, int column) {
    if (row < 0 || column < 0) return error_text;
    if (row < first_row || row > last_row) {
        bool loaded = row > last_requested_row ? load_window(query, row, AddClamped(row, window_rows))
                                               : load_window(query, row - window_rows, row);
        if (!loaded) return error_text;
    }
    last_requested_row = row;
    if (table == NULL) return error_text;
    int index = row - first_row + 1;  // row 0 of table holds the column names
    if (index < 1 || index > table_rows || column >= table_columns) return error_text;
    return table[index * table_columns + column];
}

int cached_alpha_view::refresh(const char *query, bool recount) {
    if (recount) row_count = count_rows(query);
    load_window(query, first_row, last_row);
    return row_count;
}

int cached_alpha_view::refresh_with_count(const char *query, const char *countSql, bool recount) {
    if (recount) row_count = count_with_sql(countSql);
    load_window(query, first_row, last_row);
    return row_count;
}
