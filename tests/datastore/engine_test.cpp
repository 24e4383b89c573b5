// The program's database engine: its file format and reserved names, and
// the conversion of real standard files made by a standard engine.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dbfiles.h"
#include "sqlite3.h"
#include "testsupport.h"

using testsupport::ReadFileBytes;
using testsupport::ScratchFolder;
using testsupport::Utf8;

namespace {

using Db = testsupport::CheckDb;

std::string FileText(const std::wstring &path) {
    std::vector<unsigned char> bytes;
    if (!ReadFileBytes(path, &bytes)) return std::string();
    return std::string(bytes.begin(), bytes.end());
}

const std::string kMagic("ZELD DATABASE 3\0", 16);

TEST(Engine, NewFileHasTheProgramFormat) {
    ScratchFolder dir(L"engine-new");
    std::wstring path = dir.File(L"new.db");
    {
        Db db(path);
        ASSERT_EQ(db.open_rc(), SQLITE_OK);
        ASSERT_EQ(db.Exec("create table PRS (C1 text, C2 text); insert into PRS values ('DSV','15')"),
                  SQLITE_OK);
        EXPECT_EQ(db.One("pragma page_size"), "1024");
        EXPECT_EQ(db.One("pragma cache_size"), "2000");
        EXPECT_EQ(db.One("pragma journal_mode"), "delete");
        EXPECT_EQ(db.One("select ZELDdb_version()"), sqlite3_libversion());
        EXPECT_EQ(db.One("select zelddb_compileoption_used('TEMP_STORE=1')"), "1");
        EXPECT_EQ(db.One("select ZELDdb_compileoption_used('THREADSAFE=1')"), "1");
        EXPECT_EQ(db.One("select count(*) from ZELDdb_master"), "1");
        EXPECT_EQ(db.One("select name from ZELDdb_schema"), "PRS");
        EXPECT_EQ(db.One("select * from sqlite_master"), "ERROR: no such table: sqlite_master");
        EXPECT_EQ(db.One("select sqlite_version()"), "ERROR: no such function: sqlite_version");
    }
    std::string bytes = FileText(path);
    ASSERT_GE(bytes.size(), 100u);
    EXPECT_EQ(bytes.substr(0, 16), kMagic);
    EXPECT_EQ(bytes[18], 1) << "legacy (rollback journal) write version";
    EXPECT_EQ(bytes[19], 1) << "legacy read version";
    EXPECT_EQ(bytes[47], 1) << "schema format 1, readable by old 3.x engines";
}

TEST(Engine, ReservedPrefixIsRefusedInAnyCase) {
    ScratchFolder dir(L"engine-reserved");
    Db db(dir.File(L"reserved.db"));
    for (const char *sql : {"create table ZELDdb_x (a)", "create table zelddb_x (a)",
                            "create table ZELDDB_Y (a)", "create index ZELDdb_i on t (a)"}) {
        db.Exec("create table if not exists t (a)");
        EXPECT_NE(db.Exec(sql), SQLITE_OK) << sql;
        EXPECT_NE(db.message().find("reserved"), std::string::npos) << sql << ": " << db.message();
    }
    EXPECT_EQ(db.Exec("create table sqlite_x (a)"), SQLITE_OK)
        << "the standard prefix is an ordinary name here";
}

TEST(Engine, InternalObjectsUseTheProgramPrefix) {
    ScratchFolder dir(L"engine-internal");
    std::wstring path = dir.File(L"internal.db");
    {
        Db db(path);
        ASSERT_EQ(db.Exec("create table VLD (C1 text primary key, C2 text);"
                          "create table LOG (id integer primary key autoincrement, t text);"
                          "insert into VLD values ('a','1'),('b','2');"
                          "insert into LOG (t) values ('x'),('y');"
                          "create index VLD2 on VLD (C2); analyze;"),
                  SQLITE_OK)
            << db.message();
        EXPECT_EQ(db.Column("select name from ZELDdb_master where type='index' order by name"),
                  (std::vector<std::string>{"VLD2", "ZELDdb_autoindex_VLD_1"}));
        EXPECT_EQ(db.One("select seq from ZELDdb_sequence where name='LOG'"), "2");
        EXPECT_EQ(db.One("select count(*) from ZELDdb_stat1 where tbl='VLD'"), "2");
        ASSERT_EQ(db.Exec("vacuum"), SQLITE_OK) << db.message();
        ASSERT_EQ(db.Exec("alter table LOG rename to DIARYLOG"), SQLITE_OK) << db.message();
        EXPECT_EQ(db.One("select name from ZELDdb_sequence"), "DIARYLOG");
        EXPECT_EQ(db.One("select C2 from VLD where C1='b'"), "2");
        EXPECT_EQ(db.One("pragma integrity_check"), "ok");
    }
    std::string bytes = FileText(path);
    EXPECT_EQ(bytes.substr(0, 16), kMagic) << "vacuum keeps the magic";
    EXPECT_NE(bytes.find("ZELDdb_autoindex_VLD_1"), std::string::npos);
    EXPECT_EQ(bytes.find("sqlite_"), std::string::npos) << "no standard internal name is written";
}

TEST(Engine, StandardFileIsRefused) {
    std::wstring fixtures = testsupport::HostFolderFromEnv("KORVANE_FIXTURES");
    ASSERT_FALSE(fixtures.empty()) << "KORVANE_FIXTURES is not set";
    ScratchFolder dir(L"engine-standard");
    std::wstring path = dir.File(L"standard.db");
    ASSERT_TRUE(testsupport::CopyOneFile(fixtures + L"standard-1024.db", path));
    Db db(path);
    EXPECT_EQ(db.Exec("select count(*) from VLS"), SQLITE_NOTADB);
    EXPECT_EQ(db.message(), "file is encrypted or is not a database");
}

// Real files of a standard engine: after conversion the program's engine
// opens them, their primary-key indexes are intact, and a second
// conversion changes nothing.
TEST(Engine, ConvertedStandardFilesOpenWithIntactIndexes) {
    std::wstring fixtures = testsupport::HostFolderFromEnv("KORVANE_FIXTURES");
    ASSERT_FALSE(fixtures.empty()) << "KORVANE_FIXTURES is not set";
    ScratchFolder dir(L"engine-convert");
    for (const wchar_t *name : {L"standard-1024.db", L"standard-4096.db"}) {
        SCOPED_TRACE(Utf8(name));
        std::wstring path = dir.File(name);
        ASSERT_TRUE(testsupport::CopyOneFile(fixtures + name, path));
        ASSERT_EQ(ConvertToProgramDatabase(path.c_str()), 1);
        std::string once = FileText(path);
        EXPECT_EQ(once.substr(0, 16), kMagic);
        {
            Db db(path);
            EXPECT_EQ(db.One("pragma integrity_check"), "ok");
            EXPECT_EQ(db.Column("select name from ZELDdb_master where type='index' order by name"),
                      (std::vector<std::string>{"ZELDdb_autoindex_PRS_1", "ZELDdb_autoindex_VLS_1"}));
            EXPECT_EQ(db.One("select C2 from VLS where C1='PLATE02999'"), "2999");
            EXPECT_EQ(db.One("select count(*) from VLS"), "3000");
            EXPECT_EQ(db.One("select C2 from PRS where C1='DSV'"), "15");
            EXPECT_EQ(db.One("select locale from android_metadata"), "en_US");
            // The program can go on writing the converted file.
            EXPECT_EQ(db.Exec("insert into VLS values ('NEW1','1','x')"), SQLITE_OK) << db.message();
            EXPECT_NE(db.Exec("insert into VLS values ('NEW1','2','y')"), SQLITE_OK)
                << "the primary key index still guards uniqueness";
        }
        std::string written = FileText(path);
        ASSERT_EQ(ConvertToProgramDatabase(path.c_str()), 1);
        EXPECT_EQ(FileText(path), written) << "a second conversion changes no byte";
    }
}

}  // namespace
