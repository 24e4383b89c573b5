// The one-row operations on real diaries and remark books.
#include "bookrows.h"
#include "datastore.h"
#include "datatool.h"
#include "schema.h"
#include "sqlite3.h"
#include "storetest.h"

using namespace storetest;

namespace {

class BookRows : public StoreTest {
  protected:
    BookRows() : StoreTest(L"bookrows") {}
    void SetUp() override {
        StoreTest::SetUp();
        std::string error;
        ASSERT_EQ(datatool::MakeDiaryFile(DiaryDbPath, 15, 4, false, {}, &error), 0) << error;
        ASSERT_EQ(datatool::MakeRemarkFile(RemarkDbPath, 1002, 3, {}, &error), 0) << error;
        ASSERT_EQ(sqlite3_open(U8(DiaryDbPath).c_str(), &DiaryDb), SQLITE_OK);
        ASSERT_EQ(sqlite3_open(U8(RemarkDbPath).c_str(), &RemarkDb), SQLITE_OK);
    }
    static std::string Row(Db &db, int rowid) {
        return db.One("SELECT C1||'|'||C2||'|'||C3||'|'||C4||'|'||C5||'|'||C6||'|'||C7||'|'||C8||'|'||C9||'|'||C10||'|'||C11"
                      " FROM VLS WHERE rowid = " +
                      std::to_string(rowid));
    }
};

const char kBlankRow[] = "|0|||||||||";

TEST_F(BookRows, DiaryRowsAreBlankedInPlace) {
    Db db(DiaryDbPath);
    std::string third = Row(db, 3);
    EXPECT_EQ(BlankNewestDiaryRow(), SQLITE_OK);
    EXPECT_EQ(BlankDiaryRowById(2), SQLITE_OK);
    EXPECT_EQ(BlankDiaryRowById(99), SQLITE_OK);  // no such row: nothing, no error
    EXPECT_EQ(db.Count("VLS"), 4);              // rows keep their place
    EXPECT_EQ(Row(db, 4), kBlankRow);
    EXPECT_EQ(Row(db, 2), kBlankRow);
    EXPECT_EQ(Row(db, 3), third);
    EXPECT_NE(Row(db, 1), kBlankRow);

    EXPECT_EQ(SetDiaryLocationRemark(3, L"Jalan D'Lima, KL", L"O'Neil's car; 'no' owner"), SQLITE_OK);
    EXPECT_EQ(db.One("SELECT C8 FROM VLS WHERE rowid = 3"), "Jalan D'Lima, KL");
    EXPECT_EQ(db.One("SELECT C10 FROM VLS WHERE rowid = 3"), "O'Neil's car; 'no' owner");
    // Fields of apostrophes alone still fit the statement.
    std::wstring quotes(255, L'\'');
    EXPECT_EQ(SetDiaryLocationRemark(1, quotes.c_str(), quotes.c_str()), SQLITE_OK);
    EXPECT_EQ(db.One("SELECT length(C8) || ' ' || length(C10) FROM VLS WHERE rowid = 1"), "255 255");
    EXPECT_TRUE(Messages.empty());

    // An empty diary: the newest-row blanking changes nothing.
    ASSERT_EQ(db.Exec("DELETE FROM VLS"), SQLITE_OK);
    EXPECT_EQ(BlankNewestDiaryRow(), SQLITE_OK);
    EXPECT_EQ(db.Count("VLS"), 0);
}

// The rows of a search are blanked only while they hold its plate: a row
// of another plate under one of those rowids stays.
TEST_F(BookRows, RowsOfAPlateAreBlankedOnlyWhereThePlateMatches) {
    Db db(DiaryDbPath);
    std::string plate = LocalField(L"WA1234B");
    ASSERT_EQ(db.Exec("UPDATE VLS SET C3 = '" + plate + "' WHERE rowid IN (2, 4)"), SQLITE_OK);
    std::string first = Row(db, 1), third = Row(db, 3);
    EXPECT_EQ(BlankDiaryRowsOfPlate(2, 3, plate.c_str()), SQLITE_OK);
    EXPECT_EQ(Row(db, 2), kBlankRow);
    EXPECT_EQ(Row(db, 3), third) << "another plate's row in the range";
    EXPECT_NE(Row(db, 4), kBlankRow) << "the plate's row outside the range";
    EXPECT_EQ(Row(db, 1), first);
    EXPECT_TRUE(Messages.empty());
}

TEST_F(BookRows, RemarkRowsAreCancelledAndDeleted) {
    Db db(RemarkDbPath);
    ASSERT_EQ(db.One("SELECT C7 FROM VLS WHERE rowid = 1"), "2026-01-01");
    std::string before = db.One("SELECT C1||C2||C3||C4||C5||C6 FROM VLS WHERE rowid = 1");
    EXPECT_EQ(CancelFollowUpByRowId(1), SQLITE_OK);
    EXPECT_EQ(db.One("SELECT C7 FROM VLS WHERE rowid = 1"), "NULL");
    EXPECT_EQ(db.One("SELECT C1||C2||C3||C4||C5||C6 FROM VLS WHERE rowid = 1"), before);

    EXPECT_EQ(DeleteRemarkByPlate(LocalField(L"RMK0002").c_str()), SQLITE_OK);
    EXPECT_EQ(DeleteRemarkByRowId(3), SQLITE_OK);
    EXPECT_EQ(DeleteRemarkByRowId(42), SQLITE_OK);
    EXPECT_EQ(db.Column("SELECT rowid FROM VLS"), std::vector<std::string>{"1"});
    // A plate text that is no cipher field is still only a value.
    EXPECT_EQ(DeleteRemarkByPlate("x' OR '1'='1"), SQLITE_OK);
    EXPECT_EQ(db.Count("VLS"), 1);
    EXPECT_TRUE(Messages.empty());
}

TEST_F(BookRows, OperationsOnAClosedBookRunNothing) {
    CloseAllConnections();
    EXPECT_EQ(BlankNewestDiaryRow(), SQLITE_MISUSE);
    EXPECT_EQ(SetDiaryLocationRemark(1, L"a", L"b"), SQLITE_MISUSE);
    EXPECT_EQ(DeleteRemarkByRowId(1), SQLITE_MISUSE);
    EXPECT_EQ(CancelFollowUpByRowId(1), SQLITE_MISUSE);
    EXPECT_TRUE(Messages.empty());
}

}  // namespace
