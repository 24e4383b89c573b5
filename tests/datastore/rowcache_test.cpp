// The row cache over a book in memory: paged loads, scrolling, widening,
// clamping, counting and the "error" cells.
#include <gtest/gtest.h>

#include <string.h>

#include <memory>
#include <string>

#include "datastore.h"
#include "rowcache.h"

namespace {

const char kQuery[] = "select C1,C2,rowid from VLS order by rowid";

class RowCache : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(sqlite3_open(":memory:", &db_), SQLITE_OK);
        Exec("create table VLS (C1 text, C2 text)");
    }
    void TearDown() override {
        cache_.reset();
        sqlite3_close(db_);
    }
    void Exec(const std::string &sql) {
        char *error = NULL;
        ASSERT_EQ(sqlite3_exec(db_, sql.c_str(), NULL, NULL, &error), SQLITE_OK) << (error ? error : "");
    }
    // Rows "row0".."row<n-1>" with rowids 1..n; the last has a NULL C2.
    void AddRows(int n) {
        Exec("begin");
        for (int i = 0; i < n; i++) {
            Exec("insert into VLS values ('row" + std::to_string(i) + "', " +
                 (i == n - 1 ? std::string("NULL") : "'" + std::to_string(i % 3) + "'") + ")");
        }
        Exec("commit");
    }
    cached_alpha_view &Cache() {
        if (!cache_) cache_.reset(new cached_alpha_view(db_, "VLS"));
        return *cache_;
    }
    std::string Cell(int row, int column, const char *query = kQuery) {
        const char *text = Cache().cell_text(query, row, column);
        return text != NULL ? text : "(null)";
    }
    void ExpectWindow(int first, int last) {
        EXPECT_EQ(Cache().first_row, first);
        EXPECT_EQ(Cache().last_row, last);
        EXPECT_EQ(Cache().table_rows, last - first + 1);
    }

    sqlite3 *db_ = NULL;
    std::unique_ptr<cached_alpha_view> cache_;
};

}  // namespace

TEST(RowCacheQuery, WindowQueryText) {
    EXPECT_STREQ(cached_alpha_view::window_query("select * from VLS", 0, 20), "select * from VLS LIMIT  21 OFFSET 0;");
    EXPECT_STREQ(cached_alpha_view::window_query("select * from VLS", 40, 60), "select * from VLS LIMIT  21 OFFSET 40;");
    std::string tooLong = "select * from VLS where C1 = '" + std::string(kRowCacheQueryBytes, 'x') + "'";
    EXPECT_EQ(cached_alpha_view::window_query(tooLong.c_str(), 0, 20), (const char *)NULL);
}

TEST_F(RowCache, FreshCacheState) {
    cached_alpha_view &c = Cache();
    EXPECT_EQ(c.last_count, 0);
    EXPECT_EQ(c.row_count, -1);
    EXPECT_EQ(c.window_rows, 20);
    EXPECT_EQ(c.first_row, -1);
    EXPECT_EQ(c.last_row, -1);
    EXPECT_STREQ(c.error_text, "error");
    EXPECT_STREQ(c.initial_query, "VLS");
}

TEST_F(RowCache, EmptySelectReadsErrorEverywhere) {
    EXPECT_EQ(Cache().refresh(kQuery, true), 0);
    EXPECT_EQ(Cache().last_count, 0);
    EXPECT_EQ(Cell(0, 0), "error");
    EXPECT_FALSE(Cache().ensure_rows(kQuery, 0, 10));
    EXPECT_EQ(Cache().table, (char **)NULL);
}

TEST_F(RowCache, FirstCellLoadsTwentyOneRows) {
    AddRows(100);
    EXPECT_EQ(Cell(0, 0), "row0");
    ExpectWindow(0, 20);
    EXPECT_EQ(Cache().row_count, 100) << "counted on the first load";
    EXPECT_EQ(Cell(20, 2), "21");
    ExpectWindow(0, 20);
}

TEST_F(RowCache, ScrollingLoadsAheadOfTheMove) {
    AddRows(100);
    EXPECT_EQ(Cell(50, 0), "row50");
    ExpectWindow(50, 70);
    EXPECT_EQ(Cell(49, 0), "row49") << "scrolling up loads the rows above";
    ExpectWindow(29, 49);
    EXPECT_EQ(Cell(10, 0), "row10");
    ExpectWindow(0, 10);
    EXPECT_EQ(Cell(95, 0), "row95") << "clamped at the last row";
    ExpectWindow(95, 99);
    EXPECT_EQ(Cell(99, 1), "(null)") << "an SQL NULL cell has no text";
    EXPECT_EQ(Cell(100, 0), "error") << "past the row count: refused";
    EXPECT_EQ(Cache().first_row, 95);
    EXPECT_EQ(Cache().table_rows, 0);
}

TEST_F(RowCache, WideHintsWidenEveryLaterLoad) {
    AddRows(200);
    EXPECT_TRUE(Cache().ensure_rows(kQuery, 10, 55));
    ExpectWindow(10, 55);
    EXPECT_EQ(Cache().window_rows, 45);
    EXPECT_FALSE(Cache().ensure_rows(kQuery, 12, 40)) << "already cached";
    EXPECT_TRUE(Cache().ensure_rows(kQuery, 60, 62));
    ExpectWindow(60, 105);
    EXPECT_EQ(Cell(150, 0), "row150");
    ExpectWindow(150, 195);
}

TEST_F(RowCache, CellsThatCannotBeGiven) {
    AddRows(5);
    EXPECT_EQ(Cell(0, 3), "error");
    EXPECT_EQ(Cell(-1, 0), "error");
    EXPECT_EQ(Cell(0, -1), "error");
    EXPECT_EQ(Cell(2, 0), "row2");
    EXPECT_FALSE(Cache().load_window(kQuery, 5, 9)) << "a range from the row count on";
    EXPECT_FALSE(Cache().load_window(kQuery, 3, 2));
    EXPECT_EQ(Cell(2, 0), "error") << "the failed load freed the rows";
}

TEST_F(RowCache, CountsFromTheWordFrom) {
    AddRows(30);
    const char filtered[] = "select C1,rowid from VLS where C2 = '1' order by rowid desc";
    EXPECT_EQ(Cache().count_rows(filtered), 10);
    EXPECT_EQ(Cache().from_position, strlen("select C1,rowid "));
    EXPECT_EQ(Cache().last_count, 10);

    EXPECT_EQ(Cache().count_rows("SELECT * FROM VLS"), 0) << "no lower-case from";
    EXPECT_EQ(Cache().last_count, 10);

    const char grouped[] = "select C2,count(*) from VLS group by C2 order by C2";
    EXPECT_EQ(Cache().refresh_with_count(grouped, "select count(distinct ifnull(C2,'-')) from VLS", true), 4);
    EXPECT_EQ(Cell(0, 0, grouped), "(null)");
    EXPECT_EQ(Cell(3, 1, grouped), "9") << "C2 '2': rows 2, 5 .. 26";
}

TEST_F(RowCache, DatabaseErrorsGiveNoRows) {
    AddRows(30);
    EXPECT_EQ(Cache().refresh(kQuery, true), 30);
    EXPECT_EQ(Cell(3, 0), "row3");

    const char broken[] = "select * from NoSuchTable";
    EXPECT_EQ(Cache().refresh(broken, true), 0);
    EXPECT_EQ(Cache().last_count, 30) << "a failed count leaves the last count";
    EXPECT_EQ(Cell(40, 0, broken), "error");

    EXPECT_EQ(Cache().refresh(kQuery, true), 30);
    EXPECT_EQ(Cell(3, 0), "row3");
}

TEST_F(RowCache, RefreshRecountsAndReloadsTheWindow) {
    AddRows(40);
    EXPECT_EQ(Cache().refresh(kQuery, true), 40);
    ExpectWindow(0, 0);
    EXPECT_EQ(Cell(25, 0), "row25");
    ExpectWindow(25, 39);

    Exec("update VLS set C1 = 'changed' where rowid = 27");
    Exec("delete from VLS where rowid > 35");
    EXPECT_EQ(Cache().refresh(kQuery, true), 35);
    EXPECT_EQ(Cache().last_count, 35);
    ExpectWindow(25, 34);
    EXPECT_EQ(Cell(26, 0), "changed");
    EXPECT_EQ(Cell(36, 0), "error");
}

TEST(RowCacheQuery, KeyedWindowQueryText) {
    EXPECT_STREQ(cached_alpha_view::keyed_window_query("select *,rowid from VLS order by RowID desc", 500, 0, 21, 41),
                 "select *,rowid from VLS where rowid < 500 order by RowID desc LIMIT  21 OFFSET 0;");
    EXPECT_STREQ(cached_alpha_view::keyed_window_query(
                     "select *,rowid from VLS where C2 = 2 and C8 like '%A where B%' order by RowID desc", 77, 3, 0, 9),
                 "select *,rowid from VLS where rowid < 77 and (C2 = 2 and C8 like '%A where B%') order by RowID desc "
                 "LIMIT  10 OFFSET 3;");
    EXPECT_EQ(cached_alpha_view::keyed_window_query("select *,rowid from VLS order by C6 desc", 5, 0, 0, 9),
              (const char *)NULL) << "only a query ordered by the rowid continues from a key";
    EXPECT_STREQ(cached_alpha_view::keyed_window_query_before(
                     "select *,rowid from VLS where C2 = 2 order by RowID desc", 77, 4, 10, 19),
                 "select *,rowid from VLS where rowid > 77 and (C2 = 2) order by RowID asc LIMIT  10 OFFSET 4;");
    EXPECT_EQ(cached_alpha_view::keyed_window_query_before("select *,rowid from VLS order by C6 desc", 5, 0, 0, 9),
              (const char *)NULL);
}

// Paging forward from held rows (continued from their last rowid) and
// jumping (OFFSET) give the same rows, also where rowids have gaps and a
// condition leaves rows out.
TEST_F(RowCache, RowsAfterHeldOnesMatchTheOffsetRows) {
    AddRows(500);
    Exec("delete from VLS where rowid % 7 = 0");
    const char kDesc[] = "select C1,C2,rowid from VLS where C2 <> '1' order by RowID desc";
    cached_alpha_view offsetCache(db_, "VLS");
    int count = Cache().refresh(kDesc, true);
    ASSERT_EQ(offsetCache.refresh(kDesc, true), count);
    ASSERT_GT(count, 200);
    for (int row = 0; row < count; row++) {
        const char *paged = Cache().cell_text(kDesc, row, 2);  // walks forward window by window
        offsetCache.free_table();  // nothing held: an OFFSET load
        offsetCache.first_row = offsetCache.last_row = -1;
        const char *jumped = offsetCache.cell_text(kDesc, row, 2);
        ASSERT_NE(paged, (const char *)NULL);
        ASSERT_NE(jumped, (const char *)NULL);
        ASSERT_STREQ(paged, jumped) << "row " << row;
    }
    // A hint past the held rows, with a gap between.
    Cache().ensure_rows(kDesc, 150, 160);
    offsetCache.free_table();
    offsetCache.first_row = offsetCache.last_row = -1;
    EXPECT_STREQ(Cache().cell_text(kDesc, 155, 0), offsetCache.cell_text(kDesc, 155, 0));
    // Another query never continues from the rows of the first.
    const char kAll[] = "select C1,C2,rowid from VLS order by RowID desc";
    offsetCache.free_table();
    offsetCache.first_row = offsetCache.last_row = -1;
    ASSERT_LT(Cache().last_row, 250);
    EXPECT_STREQ(Cache().cell_text(kAll, 250, 0), offsetCache.cell_text(kAll, 250, 0));
}

// The windows a list asks for next to the held ones, as Page Down, Page
// Up and the arrows at a page's edge do (overlapping the held rows, or
// just past them, or with a gap), are sought from a held rowid in either
// direction and hold exactly the rows an OFFSET load gives.
TEST_F(RowCache, WindowsNextToHeldRowsAreSoughtAndMatchTheOffsetRows) {
    AddRows(600);
    Exec("delete from VLS where rowid % 7 = 0");
    const char kDesc[] = "select C1,C2,rowid from VLS where C2 <> '1' order by RowID desc";
    int count = Cache().refresh(kDesc, true);
    ASSERT_GT(count, 300);
    struct Move {
        int first, last;
        const char *seek;  // in the SELECT that loaded it; NULL: an OFFSET load
    };
    const Move kMoves[] = {
        {200, 250, "rowid <"},  // past the one row a refresh holds, a gap between
        {250, 300, "rowid <"},  // Page Down: the old last row on top
        {251, 301, "rowid <"},  // Down at the page's foot
        {305, 330, "rowid <"},  // past the held rows, a gap between
        {300, 325, "rowid >"},  // Up at the page's top
        {250, 300, "rowid >"},  // Page Up: the old first row at the foot
        {180, 230, "rowid >"},  // before the held rows, a gap between
        {0, 50, "rowid >"},     // back to the start
        {count - 51, count - 1, "rowid <"},
        {count - 60, count - 10, "rowid >"},
        {count - 60, count - 10, NULL},  // the held rows again, as a refresh reads them
        {count - 70, count - 1, NULL},   // more than the held rows on both sides
    };
    for (const Move &m : kMoves) {
        SCOPED_TRACE(testing::Message() << "rows " << m.first << ".." << m.last);
        ASSERT_TRUE(Cache().load_window(kDesc, m.first, m.last));
        std::string used = cached_alpha_view::window_query_text;
        if (m.seek != NULL) {
            EXPECT_NE(used.find(m.seek), std::string::npos) << used;
        } else {
            EXPECT_EQ(used.find("rowid"), used.find("rowid from")) << used;
        }
        cached_alpha_view offsetCache(db_, "VLS");
        ASSERT_EQ(offsetCache.refresh(kDesc, true), count);
        ASSERT_TRUE(offsetCache.load_window(kDesc, m.first, m.last));
        ExpectWindow(m.first, m.last);
        ASSERT_EQ(Cache().table_rows, m.last - m.first + 1);
        for (int row = m.first; row <= m.last; row++) {
            for (int column = 0; column < 3; column++) {
                const char *sought = Cache().table[(row - m.first + 1) * 3 + column];
                const char *offset = offsetCache.table[(row - m.first + 1) * 3 + column];
                ASSERT_STREQ(sought != NULL ? sought : "(null)", offset != NULL ? offset : "(null)")
                    << "row " << row << " column " << column;
            }
        }
    }
}

