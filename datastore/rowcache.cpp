// The row cache of the record-book lists.
#include "rowcache.h"

#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <strsafe.h>

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

const char *cached_alpha_view::keyed_window_query(const char *query, long long key, int skip, int first, int last) {
    static const char kOrder[] = " order by RowID desc";
    const size_t orderLength = sizeof kOrder - 1;
    if (query == NULL) return NULL;
    size_t length = strlen(query);
    if (length < orderLength || strcmp(query + length - orderLength, kOrder) != 0) return NULL;
    int body = (int)(length - orderLength);
    // The first " where " is the query's own: every quoted value follows it.
    const char *where = strstr(query, " where ");
    long long rows = (long long)last - first + 1;
    HRESULT hr;
    if (where != NULL && where < query + body) {
        int head = (int)(where - query);
        const char *condition = where + 7;
        hr = StringCchPrintfA(window_query_text, ARRAYSIZE(window_query_text),
                              "%.*hs where rowid < %lld and (%.*hs)%hs LIMIT  %lld OFFSET %d;", head, query, key,
                              (int)(query + body - condition), condition, kOrder, rows, skip);
    } else {
        hr = StringCchPrintfA(window_query_text, ARRAYSIZE(window_query_text),
                              "%.*hs where rowid < %lld%hs LIMIT  %lld OFFSET %d;", body, query, key, kOrder, rows,
                              skip);
    }
    if (FAILED(hr)) {
        window_query_text[0] = 0;
        return NULL;
    }
    return window_query_text;
}

bool cached_alpha_view::load_window(const char *query, int first, int last) {
    // Rows after the held ones of the same query continue from the last
    // held rowid, when the query is ordered by it.
    bool keyed = false;
    long long key = 0;
    int skip = 0;
    if (table != NULL && query != NULL && table_columns > 0 && table_rows == last_row - first_row + 1 &&
        first > last_row && strcmp(held_query, query) == 0) {
        const char *name = table[table_columns - 1];
        const char *lastKey = table[table_rows * table_columns + table_columns - 1];
        if (name != NULL && _stricmp(name, "rowid") == 0 && lastKey != NULL) {
            key = strtoll(lastKey, NULL, 10);
            skip = first - last_row - 1;
            keyed = true;
        }
    }
    free_table();
    if (row_count < 0) row_count = count_rows(query);
    if (first < 0) first = 0;
    if (last < 0) last = 0;
    if (last < first) return false;
    // A range from the row count on holds no rows: refused without a query.
    if (first >= row_count) return false;
    if (last >= row_count) last = row_count - 1;
    if (last - first > window_rows) window_rows = last - first;

    const char *sql = keyed ? keyed_window_query(query, key, skip, first, last) : NULL;
    if (sql == NULL) sql = window_query(query, first, last);
    if (sql == NULL || connection == NULL) return false;
    char **result = NULL;
    int rows = 0, columns = 0;
    char *error = NULL;
    int rc = sqlite3_get_table(connection, sql, &result, &rows, &columns, &error);
    if (rc != SQLITE_OK) {
        if (result != NULL) sqlite3_free_table(result);
        sqlite3_free(error);
        return false;
    }
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
