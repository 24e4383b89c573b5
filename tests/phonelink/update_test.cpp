// The online data update against the scripted update server on loopback,
// with small data and remark books in a scratch folder and the update's
// controls in a window of this test.
#include <winsock2.h>

#include <windows.h>

#include <gtest/gtest.h>
#include <psapi.h>
#include <rapidjson/document.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "bookjob.h"
#include "cipher.h"
#include "datastore.h"
#include "dbfiles.h"
#include "fakeupdateserver.h"
#include "hookedvfs.h"
#include "mainwindow.h"
#include "md5.h"
#include "resource.h"
#include "sqlite3.h"
#include "testsupport.h"
#include "update.h"

#include <strsafe.h>

using peers::ScriptedReply;

namespace {

std::vector<std::wstring> Boxes;
int RecordBox(HWND, const WCHAR *text, const WCHAR *, UINT) {
    Boxes.push_back(text);
    return IDOK;
}

std::string Field(const BlowfishContext &ctx, const wchar_t *text) {
    char field[kCipherFieldBytes];
    EncodeField(ctx, text, field);
    return field;
}

std::string Key(const wchar_t *plate) {
    char key[kMd5HexBytes];
    VehicleLookupKey(plate, key);
    return key;
}

std::string Row(const std::string &a, const std::string &f, const std::string &b = "B", const std::string &c = "C",
                const std::string &d = "D", const std::string &e = "E") {
    return "{\"A\":\"" + a + "\",\"B\":\"" + b + "\",\"C\":\"" + c + "\",\"D\":\"" + d + "\",\"E\":\"" + e +
           "\",\"F\":\"" + f + "\"}";
}

std::string Challenge() {
    return "{\"ReplyType\":\"Challenge\",\"BeginData\":\"ok\",\"EndData\":\"DataComplete\"}";
}

std::string DataReply(const std::string &patch, const std::string &rows) {
    return "{\"ReplyType\":\"Data\",\"DataVersionPatch\":\"" + patch + "\",\"BeginData\":[" + rows +
           "],\"EndData\":\"DataComplete\"}";
}

// The host of the update's controls: counts what reaches it while a run
// holds the thread, and the paints while the data book's transaction is
// open (the apply).
std::atomic<int> HostPaints;
std::atomic<int> HostPaintsInApply;
std::atomic<int> HostCommands;
LRESULT CALLBACK HostProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_PAINT: {
        PAINTSTRUCT ps;
        BeginPaint(window, &ps);
        EndPaint(window, &ps);
        HostPaints++;
        if (DataDb != NULL && !sqlite3_get_autocommit(DataDb)) HostPaintsInApply++;
        return 0;
    }
    case WM_APP:
        HostCommands++;
        return 0;
    }
    return DefWindowProcW(window, msg, wParam, lParam);
}

const wchar_t *HostClass() {
    return testsupport::TestWindowClass(L"KorvaneUpdateTestHost", HostProc, (HBRUSH)(COLOR_BTNFACE + 1));
}

// Peak memory of this process so far, in MiB.
size_t PeakMiB() {
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
    return counters.PeakWorkingSetSize / (1024 * 1024);
}

// The remark backups of the update, one clock second after another in the
// test's folder.
std::wstring BackupFolder;
int BackupSecond;
void ScratchBackupName(WCHAR *buf, int count) {
    StringCchPrintfW(buf, (size_t)count, L"%lsLastRemark - BACKUP 2026-DEC-11 09_00_%02d.db", BackupFolder.c_str(),
                     ++BackupSecond % 60);
}
void BlockedBackupName(WCHAR *buf, int count) {
    StringCchPrintfW(buf, (size_t)count, L"%lsno-such-folder\\backup.db", BackupFolder.c_str());
}

// The statements a connection runs, as the engine traces them.
int RecordStatement(unsigned, void *context, void *, void *text) {
    static_cast<std::vector<std::string> *>(context)->push_back(static_cast<const char *>(text));
    return 0;
}

class Update : public testing::Test {
  protected:
    static void SetUpTestSuite() { KeyCipherContexts(); }

    void SetUp() override {
        ASSERT_TRUE(server_.Start());
        for (int i = 0; i < 2; i++) {
            StringCchPrintfA(UpdateServerBase[i], ARRAYSIZE(UpdateServerBase[i]), "%hs", server_.BaseUrl().c_str());
        }
        UpdateLowSpeedTimeSec = 2;
        UpdateLowSpeedBytes = 1024;
        UpdateConnectTimeoutSec = 2;
        host_ = CreateWindowExW(0, HostClass(), L"host", WS_OVERLAPPEDWINDOW, 0, 0, 900, 600, NULL, NULL,
                                GetModuleHandleW(NULL), NULL);
        MainWindow = host_;
        for (int id : {IDC_UPDATE_STATUS, IDC_DATA_VERSION, IDC_START_MESSAGE}) Child(L"STATIC", id);
        for (int id : {IDC_DOWNLOAD_1, IDC_DOWNLOAD_2}) Child(L"BUTTON", id);
        SetWindowTextW(Child(L"EDIT", IDC_EMAIL), L"ejen@contoh.my");
        UseEnglish = 1;
        MessageBoxHook = RecordBox;
        Boxes.clear();
        StringCchCopyW(PlatformText, ARRAYSIZE(PlatformText), L"Windows 6.0");
        StringCchCopyW(DataVersion, ARRAYSIZE(DataVersion), L"20261201");
        StringCchCopyW(DataVersionUpdate, ARRAYSIZE(DataVersionUpdate), L"20261205");
        StringCchCopyW(DataVersionPatch, ARRAYSIZE(DataVersionPatch), L"20261205.001");
        MakeBooks();
        StringCchCopyW(RemarkDbPath, ARRAYSIZE(RemarkDbPath), dir_.File(L"remark.db").c_str());
        BackupFolder = dir_.File(L"");
        BackupNameHook = ScratchBackupName;
    }
    void TearDown() override {
        BackupNameHook = NULL;
        RemarkDbPath[0] = 0;
        RemarkBackupPath[0] = 0;
        sqlite3_close(DataDb);
        sqlite3_close(RemarkDb);
        DataDb = RemarkDb = NULL;
        MessageBoxHook = NULL;
        DestroyWindow(host_);
        MainWindow = NULL;
        server_.Stop();
    }

    HWND Child(const wchar_t *cls, int id) {
        return CreateWindowExW(0, cls, L"", WS_CHILD | WS_VISIBLE, 0, 30 * (id % 10), 600, 25, host_,
                               (HMENU)(INT_PTR)id, GetModuleHandleW(NULL), NULL);
    }

    void MakeBooks() {
        ASSERT_EQ(sqlite3_open(testsupport::Utf8(dir_.File(L"data.db")).c_str(), &DataDb), SQLITE_OK);
        ASSERT_EQ(sqlite3_open(testsupport::Utf8(dir_.File(L"remark.db")).c_str(), &RemarkDb), SQLITE_OK);
        Exec(DataDb, "drop table if exists PRD; drop table if exists VLD; drop table if exists VLC;"
                     "create table PRD (C1 text, C2 text); create table VLD (C1 text, C2 text, C3 text, C4 text, C5 text);"
                     "create index VLD_C1 on VLD (C1); create table VLC (C1 text);");
        Exec(DataDb, ("insert into PRD values ('DVP', '" + Field(DataCipher, L"20261205.001") + "');").c_str());
        Exec(DataDb, ("insert into VLD values ('" + Key(L"WA1234B") + "', 'b', 'c', 'd', 'e');"
                      "insert into VLD values ('" + Key(L"BJK9921") + "', 'b', 'c', 'd', 'e');").c_str());
        Exec(DataDb, ("insert into VLC values ('" + Field(DataCipher, L"JJJ1") + "');").c_str());
        Exec(RemarkDb, "drop table if exists VLS; create table VLS (C1 text, C2 text, C3 text, C4 text, C5 text, "
                       "C6 text, C7 text);");
        Exec(RemarkDb, ("insert into VLS values ('" + Field(LocalCipher, L"PKR77") + "', '', '', '', 'x', '', 'NULL');")
                           .c_str());
    }
    static void Exec(sqlite3 *db, const char *sql) {
        char *error = NULL;
        ASSERT_EQ(sqlite3_exec(db, sql, NULL, NULL, &error), SQLITE_OK) << (error ? error : "");
    }
    static std::vector<std::string> Column(sqlite3 *db, const std::string &sql) {
        std::vector<std::string> out;
        sqlite3_stmt *stmt = NULL;
        if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, NULL) != SQLITE_OK) return {"ERROR"};
        while (sqlite3_step(stmt) == SQLITE_ROW) {
            const unsigned char *t = sqlite3_column_text(stmt, 0);
            out.push_back(t ? (const char *)t : "");
        }
        sqlite3_finalize(stmt);
        return out;
    }
    std::wstring Status() {
        wchar_t text[512] = {0};
        GetWindowTextW(GetDlgItem(host_, IDC_UPDATE_STATUS), text, ARRAYSIZE(text));
        return text;
    }
    std::wstring StoredPatch() {
        std::vector<std::string> rows = Column(DataDb, "select C2 from PRD where C1 = 'DVP'");
        if (rows.size() != 1) return L"<" + std::to_wstring(rows.size()) + L" rows>";
        WCHAR plain[kPlainBytes];
        DecodeField(DataCipher, rows[0].c_str(), plain);
        return plain;
    }
    size_t Count(sqlite3 *db, const std::string &sql) { return Column(db, sql).size(); }
    bool ButtonsEnabled() {
        return IsWindowEnabled(GetDlgItem(host_, IDC_DOWNLOAD_1)) && IsWindowEnabled(GetDlgItem(host_, IDC_DOWNLOAD_2));
    }

    testsupport::ScratchFolder dir_{L"update"};
    peers::FakeUpdateServer server_;
    HWND host_ = NULL;
};

TEST_F(Update, AppliesEveryRowOperationAndStoresThePatch) {
    std::string rows = Row(Key(L"WA1234B"), "D") + "," +                       // delete
                       Row(Field(LocalCipher, L"PKR77"), "x") + "," +          // clear, lower case
                       Row(Field(LocalCipher, L"JJJ1"), "Z") + "," +           // un-clear
                       Row(Key(L"BJK9921"), "U", "b2", "c2", "d2", "e2") + "," + // upsert: update
                       Row(Key(L"NEW1"), "", "b3", "c3", "d3", "e3");           // upsert: insert
    server_.Script(ScriptedReply::Json(Challenge()));
    server_.Script(ScriptedReply::Json(DataReply("20261209", rows)));
    ASSERT_EQ(SetUpDataBookReads(DataDb), SQLITE_OK);  // as the program reads its data book
    ASSERT_EQ(Count(DataDb, "select 1 from VLD"), 2u);
    DownloadDataUpdate(1);
    // The exclusive lock of the apply is gone at once, before this test's
    // own connections touch the books again: another connection (a copy,
    // the setup program) may take both.
    for (const wchar_t *book : {L"data.db", L"remark.db"}) {
        testsupport::CheckDb other(dir_.File(book));
        ASSERT_TRUE(other.ok());
        EXPECT_EQ(other.Exec("begin exclusive"), SQLITE_OK) << testsupport::Utf8(book) << ": " << other.message();
        other.Exec("rollback");
    }

    EXPECT_EQ(Status(), L"Server Online 1: job completed: You are using the latest data now.");
    EXPECT_EQ(UpdateStatusColour, RGB(36, 143, 36));
    EXPECT_TRUE(ButtonsEnabled());
    EXPECT_EQ(Column(DataDb, "pragma locking_mode"), std::vector<std::string>{"exclusive"})
        << "the lookups keep their read lock again";
    EXPECT_EQ(Count(DataDb, "select 1 from VLD where C1 = '" + Key(L"WA1234B") + "'"), 0u);
    EXPECT_EQ(Column(DataDb, "select C2||C3||C4||C5 from VLD where C1 = '" + Key(L"BJK9921") + "'"),
              std::vector<std::string>{"b2c2d2e2"});
    EXPECT_EQ(Column(DataDb, "select C2||C3||C4||C5 from VLD where C1 = '" + Key(L"NEW1") + "'"),
              std::vector<std::string>{"b3c3d3e3"});
    EXPECT_EQ(Count(DataDb, "select 1 from VLC where C1 = '" + Field(DataCipher, L"PKR77") + "'"), 1u);
    EXPECT_EQ(Count(DataDb, "select 1 from VLC where C1 = '" + Field(DataCipher, L"JJJ1") + "'"), 0u);
    EXPECT_EQ(Count(RemarkDb, "select 1 from VLS"), 0u) << "the cleared plate's remark is gone";
    EXPECT_EQ(StoredPatch(), L"20261209.000");
    EXPECT_STREQ(DataVersionPatch, L"20261209.000");
    EXPECT_STREQ(DataVersionText, L"20261201[update 20261205][patch 20261209.000]");

    std::vector<peers::RecordedRequest> requests = server_.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].method, "POST");
    EXPECT_EQ(requests[0].path, "/app/zeld/dataUpdate");
    EXPECT_EQ(requests[0].Header("Content-Type"), "application/json");
    EXPECT_EQ(requests[0].Header("User-Agent"), "libcurl-agent/1.0");
    rapidjson::Document body;
    body.Parse(requests[0].body.c_str());
    ASSERT_TRUE(body.IsObject()) << requests[0].body;
    const char *names[] = {"HardwareID", "Email", "OSVersion", "DataVersion", "DataVersionUpdate", "DataVersionPatch"};
    int i = 0;
    for (auto m = body.MemberBegin(); m != body.MemberEnd(); ++m, ++i) {
        ASSERT_LT(i, 6);
        EXPECT_STREQ(m->name.GetString(), names[i]);
    }
    EXPECT_EQ(i, 6);
    EXPECT_EQ(std::string(body["HardwareID"].GetString()).size(), 32u);
    EXPECT_STREQ(body["Email"].GetString(), "ejen@contoh.my");
    EXPECT_STREQ(body["OSVersion"].GetString(), "Windows 6.0");
    EXPECT_STREQ(body["DataVersionUpdate"].GetString(), "20261205");
    EXPECT_STREQ(body["DataVersionPatch"].GetString(), "20261205.001");
    EXPECT_EQ(requests[1].method, "GET");
    EXPECT_EQ(requests[1].path,
              "/app/zeld/dataUpdate/" + std::string(body["HardwareID"].GetString()) + "/20261205.001");
}

// What goes on the wire, byte for byte, for both servers: the POST with its
// one-line body, header and user agent, then the bare GET.
TEST_F(Update, RequestsAreByteExactForBothServers) {
    char id[kMd5HexBytes];
    MakeHardwareId(id);
    const std::string hw = id;
    struct Case {
        int server;
        const wchar_t *email;
        const wchar_t *update;  // DataVersionUpdate; DataVersion is 20261201
        std::string body;
        std::string post, get;
    } cases[] = {
        {1, L"ejen@contoh.my", L"20261205",
         "{\"HardwareID\":\"" + hw + "\",\"Email\":\"ejen@contoh.my\",\"OSVersion\":\"Windows 6.0\","
         "\"DataVersion\":\"20261201\",\"DataVersionUpdate\":\"20261205\",\"DataVersionPatch\":\"20261205.001\"}",
         "/app/zeld/dataUpdate", "/app/zeld/dataUpdate/" + hw + "/20261205.001"},
        // An update equal to the version (case aside) is sent empty; the
        // e-mail's quote and backslash are escaped.
        {2, L"a\"b\\c@x.my", L"20261201",
         "{\"HardwareID\":\"" + hw + "\",\"Email\":\"a\\\"b\\\\c@x.my\",\"OSVersion\":\"Windows 6.0\","
         "\"DataVersion\":\"20261201\",\"DataVersionUpdate\":\"\",\"DataVersionPatch\":\"20261205.001\"}",
         "/app2/zeld/dataUpdate", "/app2/zeld/dataUpdate/" + hw + "/20261205.001"},
    };
    for (const Case &c : cases) {
        SetWindowTextW(GetDlgItem(host_, IDC_EMAIL), c.email);
        StringCchCopyW(DataVersionUpdate, ARRAYSIZE(DataVersionUpdate), c.update);
        server_.Script(ScriptedReply::Json(Challenge()));
        server_.Script(ScriptedReply::Json(DataReply("20261205.001", "")));
        size_t before = server_.Requests().size();
        DownloadDataUpdate(c.server);
        EXPECT_EQ(Status(), L"You are using the latest data.") << c.server;
        std::vector<peers::RecordedRequest> requests = server_.Requests();
        ASSERT_EQ(requests.size(), before + 2) << c.server;
        const peers::RecordedRequest &post = requests[before];
        const peers::RecordedRequest &get = requests[before + 1];
        EXPECT_EQ(post.method, "POST");
        EXPECT_EQ(post.path, c.post);
        EXPECT_EQ(post.body, c.body);
        EXPECT_EQ(post.Header("Content-Type"), "application/json");
        EXPECT_EQ(post.Header("User-Agent"), "libcurl-agent/1.0");
        EXPECT_EQ(post.Header("Content-Length"), std::to_string(c.body.size()));
        EXPECT_EQ(get.method, "GET");
        EXPECT_EQ(get.path, c.get);
        EXPECT_EQ(get.body, "");
        EXPECT_EQ(get.Header("Content-Type"), "") << "request 2 has no header list";
        EXPECT_EQ(get.Header("User-Agent"), "libcurl-agent/1.0");
    }
}

// Rows of one key, or of one plate, act in the reply's order, however the
// apply arranges the rest; the table gives each sequence and what is left.
TEST_F(Update, RowsOfOneKeyActInTheirOrder) {
    const std::string k = Key(L"ORDER1");
    const std::string other = Key(L"BJK9921");
    const std::string p = Field(LocalCipher, L"PLT9");
    auto upsert = [](const std::string &a, const char *value) {
        UpdateRow r;
        r.a = a;
        r.b = r.c = r.d = r.e = value;
        r.f = "";
        return r;
    };
    auto op = [](const std::string &a, const char *f) {
        UpdateRow r;
        r.a = a;
        r.f = f;
        return r;
    };
    struct Case {
        const char *name;
        std::vector<UpdateRow> rows;
        std::vector<std::string> vld;  // C2 of key k afterwards
        size_t cleared;                // VLC rows of plate PLT9 afterwards
    } cases[] = {
        {"insert, update", {upsert(k, "v1"), upsert(other, "o"), upsert(k, "v2")}, {"v2"}, 0},
        {"insert, delete", {upsert(k, "v1"), op(p, "X"), op(k, "d")}, {}, 1},
        {"delete, insert", {op(k, "D"), upsert(k, "v3")}, {"v3"}, 0},
        {"clear, unclear", {op(p, "X"), upsert(k, "v4"), op(p, "z")}, {"v4"}, 0},
        {"unclear, clear, clear", {op(p, "Z"), op(p, "x"), op(other, "D"), op(p, "X")}, {}, 1},
    };
    for (const Case &c : cases) {
        Exec(DataDb, ("delete from VLD where C1 = '" + k + "'").c_str());
        Exec(DataDb, ("delete from VLC where C1 = '" + Field(DataCipher, L"PLT9") + "'").c_str());
        std::string error;
        ASSERT_TRUE(ApplyUpdateRows(c.rows, L"20261210.000", &error)) << c.name << ": " << error;
        EXPECT_EQ(Column(DataDb, "select C2 from VLD where C1 = '" + k + "'"), c.vld) << c.name;
        EXPECT_EQ(Count(DataDb, "select 1 from VLC where C1 = '" + Field(DataCipher, L"PLT9") + "'"), c.cleared)
            << c.name;
    }
    EXPECT_EQ(Count(DataDb, "select 1 from ZELDdb_master where name = 'idxVLCC1'"), 1u)
        << "the cleared plates got their index";
}

// The remark book's locks taken while a reply is applied, by level.
int RemarkSharedLocks;
void CountRemarkLock(const testsupport::HookedFile &file, int level) {
    if (level == SQLITE_LOCK_SHARED && file.name != NULL && strstr(file.name, "remark.db") != NULL) RemarkSharedLocks++;
}

// Whether a remark of a cleared plate is in the remark book is asked of the
// book under one read lock, not under a lock of its own for each X row: a
// large reply clears tens of thousands of plates, and each lock costs the
// lock, a look for a journal and the unlock (seconds in all).
TEST_F(Update, TheClearedPlatesAreLookedUpInTheRemarkBookUnderOneLock) {
    sqlite3_close(RemarkDb);
    RemarkDb = NULL;
    testsupport::FileHooks hooks = {};
    hooks.counts = SQLITE_OPEN_MAIN_DB;
    hooks.beforeLock = CountRemarkLock;
    ASSERT_TRUE(testsupport::InstallHookedVfs(hooks));
    ASSERT_EQ(sqlite3_open(testsupport::Utf8(dir_.File(L"remark.db")).c_str(), &RemarkDb), SQLITE_OK);
    std::vector<UpdateRow> rows(500);
    for (size_t i = 0; i < rows.size(); i++) {
        rows[i].a = Field(LocalCipher, (L"CLR" + std::to_wstring(i)).c_str());  // no remark has these plates
        rows[i].f = "X";
    }
    RemarkSharedLocks = 0;
    std::string error;
    bool applied = ApplyUpdateRows(rows, L"20261210.000", &error);
    int locks = RemarkSharedLocks;
    sqlite3_close(RemarkDb);
    RemarkDb = NULL;
    testsupport::RemoveHookedVfs();
    ASSERT_TRUE(applied) << error;
    EXPECT_LE(locks, 4) << "the remark book's read locks for 500 cleared plates";
    EXPECT_EQ(Count(DataDb, "select 1 from VLC"), 501u);
}

TEST_F(Update, LatestDataAndServerTwo) {
    server_.Script(ScriptedReply::Json(Challenge()));
    server_.Script(ScriptedReply::Json(DataReply("20261205.001", Row(Key(L"WA1234B"), "D"))));
    DownloadDataUpdate(2);
    EXPECT_EQ(Status(), L"You are using the latest data.");
    EXPECT_EQ(UpdateStatusColour, RGB(36, 143, 36));
    EXPECT_EQ(Count(DataDb, "select 1 from VLD"), 2u) << "nothing applied";
    std::vector<peers::RecordedRequest> requests = server_.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].path, "/app2/zeld/dataUpdate");
    EXPECT_EQ(requests[1].path.rfind("/app2/zeld/dataUpdate/", 0), 0u);

    // A patch of eight characters equals the same eight and ".000".
    Exec(DataDb, ("update PRD set C2 = '" + Field(DataCipher, L"20261209") + "'").c_str());
    server_.Script(ScriptedReply::Json(Challenge()));
    server_.Script(ScriptedReply::Json(DataReply("20261209.000", "")));
    DownloadDataUpdate(1);
    EXPECT_EQ(Status(), L"You are using the latest data.");
}

TEST_F(Update, EveryBadReplyIsShownAndChangesNothing) {
    struct Case {
        const char *name;
        std::vector<ScriptedReply> replies;
        std::wstring status;
    } cases[] = {
        {"html page", {ScriptedReply::Page("<html>502 Bad Gateway</html>", 502)}, L"Error: Server Online 1 is down."},
        {"no EndData", {ScriptedReply::Json("{\"ReplyType\":\"Challenge\"}")},
         L"Server Online 1: ERROR 3.2: Harware status reply is malformed: !EndData"},
        {"not complete", {ScriptedReply::Json("{\"ReplyType\":\"Challenge\",\"EndData\":\"Half\"}")},
         L"Server Online 1: ERROR 3.1: Harware status reply is malformed: !DataComplete"},
        {"error", {ScriptedReply::Json("{\"ReplyType\":\"Error\",\"BeginData\":\"Bad ID\",\"EndData\":\"DataComplete\"}")},
         L"Error: Bad ID"},
        {"blocked", {ScriptedReply::Json("{\"ReplyType\":\"Blocked\",\"BeginData\":\"Unpaid\",\"EndData\":\"DataComplete\"}")},
         L"Blocked: Unpaid"},
        {"blocked system", {ScriptedReply::Json("{\"ReplyType\":\"Blocked\",\"BeginData\":\"SYSTEM ERROR 9\",\"EndData\":\"DataComplete\"}")},
         L"SYSTEM ERROR"},
        {"undocumented", {ScriptedReply::Json("{\"ReplyType\":\"Maybe\",\"BeginData\":\"?\",\"EndData\":\"DataComplete\"}")},
         L"Online Server Response is not documented: ?"},
        {"wrong type", {ScriptedReply::Json("{\"ReplyType\":7,\"BeginData\":\"?\",\"EndData\":\"DataComplete\"}")},
         L"Server Online 1: ERROR 3.3: Harware status reply is malformed"},
        {"data not object", {ScriptedReply::Json(Challenge()), ScriptedReply::Json("[1,2]")},
         L"Server Online 1: ERROR 2.3: Data status: !IsObject"},
        {"data cut short", {ScriptedReply::Json(Challenge()), ScriptedReply::Of(ScriptedReply::kCutShort, "{\"Reply")},
         L"Perform request GET failed: Transferred a partial file"},
        {"data missing member", {ScriptedReply::Json(Challenge()),
                                 ScriptedReply::Json(DataReply("20261209", Row(Key(L"WA1234B"), "D") +
                                                                               ",{\"A\":\"x\",\"F\":\"D\"}"))},
         L"Server Online 1: ERROR 2.4: Data status: row 2 is malformed"},
        {"data wrong type", {ScriptedReply::Json(Challenge()),
                             ScriptedReply::Json(DataReply("20261209", "{\"A\":1,\"B\":\"\",\"C\":\"\",\"D\":\"\",\"E\":\"\",\"F\":\"D\"}"))},
         L"Server Online 1: ERROR 2.4: Data status: row 1 is malformed"},
        {"data long member", {ScriptedReply::Json(Challenge()),
                              ScriptedReply::Json(DataReply("20261209", Row(std::string(300, 'k'), "D")))},
         L"Server Online 1: ERROR 2.4: Data status: row 1 is malformed"},
        {"data long op", {ScriptedReply::Json(Challenge()),
                          ScriptedReply::Json(DataReply("20261209", Row(Key(L"WA1234B"), "DELETEROWS")))},
         L"Server Online 1: ERROR 2.4: Data status: row 1 is malformed"},
        {"data not array", {ScriptedReply::Json(Challenge()),
                            ScriptedReply::Json("{\"ReplyType\":\"Data\",\"DataVersionPatch\":\"1\",\"BeginData\":\"x\",\"EndData\":\"DataComplete\"}")},
         L"Server Online 1: ERROR 2.4: Data status: malformed"},
    };
    for (const Case &c : cases) {
        for (const ScriptedReply &r : c.replies) server_.Script(r);
        DownloadDataUpdate(1);
        EXPECT_EQ(Status(), c.status) << c.name;
        EXPECT_EQ(UpdateStatusColour, RGB(255, 0, 0)) << c.name;
        EXPECT_TRUE(ButtonsEnabled()) << c.name;
        EXPECT_EQ(Count(DataDb, "select 1 from VLD"), 2u) << c.name;
        EXPECT_EQ(StoredPatch(), L"20261205.001") << c.name;
        // An unscripted second request would get a 404 page: make the next
        // case start clean.
        server_.Stop();
        ASSERT_TRUE(server_.Start());
        for (int i = 0; i < 2; i++) {
            StringCchPrintfA(UpdateServerBase[i], ARRAYSIZE(UpdateServerBase[i]), "%hs", server_.BaseUrl().c_str());
        }
    }
    EXPECT_EQ(Boxes, std::vector<std::wstring>{L"SYSTEM ERROR 9"});
}

TEST_F(Update, NoAnswerAndNoServerEndInTime) {
    server_.Script(ScriptedReply::Of(ScriptedReply::kNoAnswer));
    DWORD start = GetTickCount();
    DownloadDataUpdate(1);
    EXPECT_LT(GetTickCount() - start, 15000u) << "a dead line is dropped";
    EXPECT_EQ(Status().rfind(L"Perform request POST failed: ", 0), 0u) << testsupport::Utf8(Status());

    StringCchCopyA(UpdateServerBase[0], ARRAYSIZE(UpdateServerBase[0]), "http://no-such-host.invalid");
    DownloadDataUpdate(1);
    EXPECT_EQ(Status(), L"Error: No internet line");
    UseEnglish = 0;
    DownloadDataUpdate(1);
    EXPECT_EQ(Status(), L"Error: Takde line internet");
    EXPECT_TRUE(ButtonsEnabled());
}

TEST_F(Update, AFailingRowRollsBackBothBooks) {
    // The last row's clear fails, as a full disk would make it, once both
    // books have taken changes from the rows before it.
    Exec(DataDb, ("create trigger refuse before insert on VLC when NEW.C1 = '" + Field(DataCipher, L"BOOM1") +
                  "' begin select raise(abort, 'database or disk is full'); end;").c_str());
    std::string rows = Row(Key(L"WA1234B"), "D") + "," + Row(Field(LocalCipher, L"PKR77"), "X") + "," +
                       Row(Field(LocalCipher, L"BOOM1"), "X");
    server_.Script(ScriptedReply::Json(Challenge()));
    server_.Script(ScriptedReply::Json(DataReply("20261209", rows)));
    DownloadDataUpdate(1);
    EXPECT_EQ(UpdateStatusColour, RGB(255, 0, 0));
    EXPECT_EQ(Status().rfind(L"Server Online 1: update failed, your data is unchanged: ", 0), 0u)
        << testsupport::Utf8(Status());
    EXPECT_NE(Status().find(L"row 3: clear: database or disk is full"), std::wstring::npos)
        << "the row at fault, by its place in the reply";
    EXPECT_EQ(Count(DataDb, "select 1 from VLD"), 2u) << "row 1's delete was rolled back";
    EXPECT_EQ(Count(RemarkDb, "select 1 from VLS"), 1u) << "the remark book was rolled back too";
    EXPECT_EQ(Count(DataDb, "select 1 from VLC"), 1u) << "row 2's clear was rolled back";
    EXPECT_EQ(Count(DataDb, "select 1 from ZELDdb_master where name = 'idxVLCC1'"), 0u) << "and the index";
    EXPECT_EQ(StoredPatch(), L"20261205.001");
    EXPECT_STREQ(DataVersionPatch, L"20261205.001");
    EXPECT_EQ(Column(DataDb, "pragma locking_mode"), std::vector<std::string>{"normal"});
    EXPECT_EQ(Column(DataDb, "pragma synchronous"), std::vector<std::string>{"2"}) << "the engine's full syncs, as before";
    EXPECT_EQ(Column(DataDb, "pragma cache_size"), std::vector<std::string>{"2000"}) << "the cache as it was";
}

// Replies that are valid in size but not in shape: nesting far beyond any
// stack, then a million rows. Each ends in its status line; none ends the
// program.
TEST_F(Update, DeepOrHugeRepliesEndInTheirStatusLine) {
    const std::string deep(100000, '[');
    struct Case {
        const char *name;
        std::vector<ScriptedReply> replies;
        std::wstring status;
    } cases[] = {
        {"nested challenge", {ScriptedReply::Json(deep + std::string(100000, ']'))},
         L"Error: Server Online 1 is down."},
        {"nested member", {ScriptedReply::Json("{\"EndData\":\"DataComplete\",\"X\":" + deep)},
         L"Error: Server Online 1 is down."},
        {"nested data", {ScriptedReply::Json(Challenge()),
                         ScriptedReply::Json("{\"ReplyType\":\"Data\",\"EndData\":\"DataComplete\","
                                             "\"DataVersionPatch\":\"20261209\",\"BeginData\":[" + deep)},
         L"Server Online 1: ERROR 2.3: Data status: !IsObject"},
    };
    for (const Case &c : cases) {
        for (const ScriptedReply &r : c.replies) server_.Script(r);
        DownloadDataUpdate(1);
        EXPECT_EQ(Status(), c.status) << c.name;
        EXPECT_EQ(UpdateStatusColour, RGB(255, 0, 0)) << c.name;
        EXPECT_EQ(StoredPatch(), L"20261205.001") << c.name;
        EXPECT_TRUE(ButtonsEnabled()) << c.name;
    }

    // A million rows of the least a row may hold, each deleting a vehicle
    // that is not there: about 46 MB, under the reply's cap.
    const std::string minimal = Row("k", "D", "", "", "", "");
    std::string rows;
    rows.reserve(1000000 * (minimal.size() + 1));
    for (int i = 0; i < 1000000; i++) {
        if (i > 0) rows += ",";
        rows += minimal;
    }
    server_.Script(ScriptedReply::Json(Challenge()));
    server_.Script(ScriptedReply::Json(DataReply("20261209", rows)));
    rows.clear();
    rows.shrink_to_fit();
    size_t before = PeakMiB();
    DWORD start = GetTickCount();
    DownloadDataUpdate(1);
    DWORD elapsed = GetTickCount() - start;
    size_t after = PeakMiB();
    EXPECT_EQ(Status(), L"Server Online 1: job completed: You are using the latest data now.");
    EXPECT_EQ(StoredPatch(), L"20261209.000");
    EXPECT_EQ(Count(DataDb, "select 1 from VLD"), 2u);
    std::printf("[ memory ] a million minimal rows: peak %u MiB before the run, %u MiB after it "
                "(the stand-in server's copy of the reply included); %lu ms\n",
                (unsigned)before, (unsigned)after, (unsigned long)elapsed);
    RecordProperty("PeakMiBAfterMillionRows", (int)after);
}

// A failure at either commit: whatever the books keep is said, nothing of
// the reply is lost, and the next run brings the data up to date.
TEST_F(Update, AFailedCommitLosesNoRowAndSaysWhatChanged) {
    struct Case {
        const char *name;
        bool failRemark;           // the remark book's commit fails, else the data book's
        std::wstring status;       // the status line's start
        size_t remarksLeft;        // remark rows after the failed run
    } cases[] = {
        {"remark commit", true, L"Server Online 1: update failed, your data is unchanged: ", 1},
        {"data commit", false,
         L"Server Online 1: update failed, only the remarks of 1 cleared plates were deleted, the rest is "
         L"unchanged: ",
         0},
    };
    for (const Case &c : cases) {
        TearDown();
        SetUp();
        std::string rows = Row(Key(L"WA1234B"), "D") + "," + Row(Field(LocalCipher, L"PKR77"), "X");
        server_.Script(ScriptedReply::Json(Challenge()));
        server_.Script(ScriptedReply::Json(DataReply("20261209", rows)));
        // A commit hook that refuses turns the commit into a rollback.
        sqlite3_commit_hook(c.failRemark ? RemarkDb : DataDb, [](void *) { return 1; }, NULL);
        DownloadDataUpdate(1);
        EXPECT_EQ(Status().rfind(c.status, 0), 0u) << c.name << ": " << testsupport::Utf8(Status());
        EXPECT_EQ(UpdateStatusColour, RGB(255, 0, 0)) << c.name;
        EXPECT_EQ(StoredPatch(), L"20261205.001") << c.name << ": the old patch, so the rows come again";
        EXPECT_EQ(Count(DataDb, "select 1 from VLD"), 2u) << c.name;
        EXPECT_EQ(Count(DataDb, "select 1 from VLC"), 1u) << c.name;
        EXPECT_EQ(Count(RemarkDb, "select 1 from VLS"), c.remarksLeft) << c.name;
        EXPECT_NE(sqlite3_get_autocommit(DataDb), 0) << c.name;
        EXPECT_NE(sqlite3_get_autocommit(RemarkDb), 0) << c.name;

        // The same rows again, and nothing refuses.
        sqlite3_commit_hook(c.failRemark ? RemarkDb : DataDb, NULL, NULL);
        server_.Script(ScriptedReply::Json(Challenge()));
        server_.Script(ScriptedReply::Json(DataReply("20261209", rows)));
        DownloadDataUpdate(1);
        EXPECT_EQ(Status(), L"Server Online 1: job completed: You are using the latest data now.") << c.name;
        EXPECT_EQ(StoredPatch(), L"20261209.000") << c.name;
        EXPECT_EQ(Count(DataDb, "select 1 from VLD"), 1u) << c.name;
        EXPECT_EQ(Count(DataDb, "select 1 from VLC where C1 = '" + Field(DataCipher, L"PKR77") + "'"), 1u)
            << c.name;
        EXPECT_EQ(Count(RemarkDb, "select 1 from VLS"), 0u) << c.name;
    }
}

// Remarks that a reply deletes are backed up first, in a checked copy, or
// nothing is applied; the remark book keeps its syncs through the apply.
TEST_F(Update, AnApplyThatDeletesRemarksBacksThemUpFirst) {
    struct Case {
        const char *name;
        const wchar_t *cleared;  // the plate of the X row
        bool blocked;            // the backup cannot be written
        bool backup;             // a backup is made
        std::wstring status;
        size_t remarksLeft;
    } cases[] = {
        {"a remark is cleared", L"PKR77", false, true,
         L"Server Online 1: job completed: You are using the latest data now.", 0},
        {"no remark of the plate", L"NOSUCH1", false, false,
         L"Server Online 1: job completed: You are using the latest data now.", 1},
        {"the backup cannot be made", L"PKR77", true, false,
         L"Server Online 1: update failed, your data is unchanged: the backup copy of the remark book could not be made",
         1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        TearDown();
        SetUp();
        for (const std::wstring &name : testsupport::MatchingFiles(dir_.File(L"LastRemark - BACKUP *.db")))
            DeleteFileW(dir_.File(name).c_str());
        if (c.blocked) BackupNameHook = BlockedBackupName;
        std::string rows = Row(Key(L"WA1234B"), "D") + "," + Row(Field(LocalCipher, c.cleared), "X");
        server_.Script(ScriptedReply::Json(Challenge()));
        server_.Script(ScriptedReply::Json(DataReply("20261209", rows)));
        std::vector<std::string> syncs = Column(RemarkDb, "pragma synchronous");
        std::vector<std::string> remarkStatements;
        sqlite3_trace_v2(RemarkDb, SQLITE_TRACE_STMT, RecordStatement, &remarkStatements);
        DownloadDataUpdate(1);
        sqlite3_trace_v2(RemarkDb, 0, NULL, NULL);

        EXPECT_EQ(Status(), c.status);
        for (const std::string &statement : remarkStatements)
            EXPECT_EQ(statement.find("synchronous"), std::string::npos) << statement;
        EXPECT_EQ(Column(RemarkDb, "pragma synchronous"), syncs) << "the remark book's syncs as they were";
        EXPECT_NE(sqlite3_get_autocommit(RemarkDb), 0);
        EXPECT_EQ(Count(RemarkDb, "select 1 from VLS"), c.remarksLeft);
        EXPECT_EQ(Count(DataDb, "select 1 from VLD"), c.blocked ? 2u : 1u);
        EXPECT_EQ(StoredPatch(), c.blocked ? L"20261205.001" : L"20261209.000");
        std::vector<std::wstring> backups = testsupport::MatchingFiles(dir_.File(L"LastRemark - BACKUP *.db"));
        ASSERT_EQ(backups.size(), c.backup ? 1u : 0u);
        if (c.backup) {
            EXPECT_EQ(std::wstring(RemarkBackupPath), dir_.File(backups[0]));
            auto kept = testsupport::ReadBookRows(RemarkBackupPath, "select C1, C5 from VLS");
            EXPECT_EQ(kept, (std::vector<std::vector<std::string>>{{Field(LocalCipher, L"PKR77"), "x"}}))
                << "the backup holds the remark book as it was";
        }
    }
}

// While the rows are applied the window repaints, and still nothing else
// is dispatched: the buttons stay disabled, a command waits for the end.
TEST_F(Update, TheWindowRepaintsWhileTheRowsAreApplied) {
    std::string rows;
    for (int i = 0; i < 50000; i++) {
        if (i > 0) rows += ",";
        rows += Row(Key((L"NEW" + std::to_wstring(i)).c_str()), "", "b", "c", "d", "e");
    }
    server_.Script(ScriptedReply::Json(Challenge()));
    server_.Script(ScriptedReply::Json(DataReply("20261209", rows)));
    ShowWindow(host_, SW_SHOWNOACTIVATE);
    HostPaintsInApply = 0;
    HostCommands = 0;
    std::atomic<bool> running(true);
    std::atomic<int> enabledSeen(0);
    HWND host = host_;
    std::thread watcher([&] {
        PostMessageW(host, WM_APP, 0, 0);  // a command that must wait for the run's end
        while (running) {
            InvalidateRect(host, NULL, TRUE);
            // The buttons first, the transaction after: a button seen
            // enabled while the transaction is still open was enabled in it.
            bool enabled =
                IsWindowEnabled(GetDlgItem(host, IDC_DOWNLOAD_1)) || IsWindowEnabled(GetDlgItem(host, IDC_DOWNLOAD_2));
            bool applying = DataDb != NULL && !sqlite3_get_autocommit(DataDb);
            if (enabled && applying) enabledSeen++;
            Sleep(10);
        }
    });
    Sleep(50);
    DownloadDataUpdate(1);
    int paints = HostPaintsInApply, commands = HostCommands;
    running = false;
    watcher.join();
    EXPECT_EQ(Status(), L"Server Online 1: job completed: You are using the latest data now.");
    EXPECT_EQ(Count(DataDb, "select 1 from VLD"), 50002u);
    EXPECT_GT(paints, 0) << "the window repaints while the rows are applied";
    EXPECT_EQ(commands, 0) << "nothing but painting is dispatched";
    EXPECT_EQ(enabledSeen.load(), 0) << "the buttons stay disabled";
    MSG msg;
    while (PeekMessageW(&msg, NULL, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    EXPECT_EQ(HostCommands.load(), 1) << "the waiting command runs after the update";
}

// A server that sends a few bytes a second is dropped at the speed floor;
// meanwhile the window repaints, the buttons stay disabled and no command
// runs inside the transfer.
TEST_F(Update, ATricklingServerIsDroppedWhileTheWindowRepaints) {
    ScriptedReply trickle = ScriptedReply::Of(ScriptedReply::kTrickle, DataReply("20261209", std::string(4000, ' ')));
    trickle.trickleBytes = 20;
    trickle.trickleMs = 100;  // 200 bytes a second: 20 s for the whole reply
    server_.Script(ScriptedReply::Json(Challenge()));
    server_.Script(trickle);
    ShowWindow(host_, SW_SHOWNOACTIVATE);
    HostPaints = 0;
    HostCommands = 0;
    std::atomic<bool> running(true);
    std::atomic<int> enabledSeen(0);
    HWND host = host_;
    std::thread watcher([&] {
        // Once the trickling reply is under way (both requests are in):
        while (running && server_.Requests().size() < 2) Sleep(20);
        PostMessageW(host, WM_APP, 0, 0);  // a command that must wait for the run's end
        while (running) {
            InvalidateRect(host, NULL, TRUE);
            // The failure is shown before the buttons come back, so a button
            // seen enabled while the line is still blue was enabled mid-run.
            bool enabled =
                IsWindowEnabled(GetDlgItem(host, IDC_DOWNLOAD_1)) || IsWindowEnabled(GetDlgItem(host, IDC_DOWNLOAD_2));
            if (enabled && UpdateStatusColour == RGB(0, 0, 255)) enabledSeen++;
            Sleep(100);
        }
    });
    DWORD start = GetTickCount();
    DownloadDataUpdate(1);
    DWORD elapsed = GetTickCount() - start;
    int paints = HostPaints, commands = HostCommands;
    running = false;
    watcher.join();
    EXPECT_LT(elapsed, 10000u) << "dropped at the floor, not after the whole reply";
    EXPECT_EQ(Status(), L"Perform request GET failed: Timeout was reached");
    EXPECT_EQ(UpdateStatusColour, RGB(255, 0, 0));
    EXPECT_EQ(StoredPatch(), L"20261205.001");
    EXPECT_GT(paints, 0) << "the window repaints during the transfer";
    EXPECT_EQ(commands, 0) << "nothing but painting is dispatched";
    EXPECT_EQ(enabledSeen.load(), 0) << "the buttons stay disabled";
    EXPECT_TRUE(ButtonsEnabled());
    MSG msg;
    while (PeekMessageW(&msg, NULL, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    EXPECT_EQ(HostCommands.load(), 1) << "the waiting command runs after the transfer";
}

// A request that does not fit its buffer is refused with the red line, and
// nothing is sent: not a cut address, not an empty body.
TEST_F(Update, ARequestThatDoesNotFitIsNotSent) {
    struct Case {
        const char *name;
        size_t serverChars;  // the base address padded to this length
        std::wstring email;
        size_t requests;     // requests that reach the server
        std::wstring status;
    } cases[] = {
        {"address for request 1", 250, L"ejen@contoh.my", 0,
         L"Server Online 1: ERROR 1.1: the server address is too long"},
        {"address for request 2", 200, L"ejen@contoh.my", 1,
         L"Server Online 1: ERROR 1.1: the server address is too long"},
        {"body", 0, std::wstring(255, L'\x01'), 0,
         L"Server Online 1: ERROR 1.2: the request is too long, check the email address"},
    };
    for (const Case &c : cases) {
        std::string server = server_.BaseUrl();
        if (c.serverChars > 0) server += "/" + std::string(c.serverChars - server.size() - 1, 'p');
        StringCchCopyA(UpdateServerBase[0], ARRAYSIZE(UpdateServerBase[0]), server.c_str());
        SetWindowTextW(GetDlgItem(host_, IDC_EMAIL), c.email.c_str());
        // A version that a damaged data file could hold: every quote escaped.
        StringCchCopyW(DataVersionUpdate, ARRAYSIZE(DataVersionUpdate), std::wstring(255, L'"').c_str());
        server_.Script(ScriptedReply::Json(Challenge()));
        server_.Script(ScriptedReply::Json(DataReply("20261209", Row(Key(L"WA1234B"), "D"))));
        size_t before = server_.Requests().size();
        DownloadDataUpdate(1);
        EXPECT_EQ(Status(), c.status) << c.name;
        EXPECT_EQ(UpdateStatusColour, RGB(255, 0, 0)) << c.name;
        EXPECT_EQ(server_.Requests().size() - before, c.requests) << c.name;
        EXPECT_EQ(Count(DataDb, "select 1 from VLD"), 2u) << c.name;
        EXPECT_TRUE(ButtonsEnabled()) << c.name;
    }
}

TEST(UpdatePieces, BodyIsEscapedJsonAndRepliesGrowSafely) {
    char body[1024];
    ASSERT_TRUE(BuildUpdateRequestBody("ID", L"a\"b\\c@x.my", L"Windows 10.0", L"1", L"", L"FACTORY", body, sizeof body));
    rapidjson::Document doc;
    doc.Parse(body);
    ASSERT_TRUE(doc.IsObject()) << body;
    EXPECT_STREQ(doc["Email"].GetString(), "a\"b\\c@x.my");
    EXPECT_FALSE(BuildUpdateRequestBody("ID", L"e", L"w", L"1", L"", L"F", body, 20)) << "refused, not cut";

    ReplyBuffer reply = {NULL, 0, 0};
    char part[] = "abc";
    EXPECT_EQ(CurlWriteToBuffer(part, 1, 3, &reply), 3u);
    EXPECT_EQ(CurlWriteToBuffer(part, 3, 1, &reply), 3u);
    EXPECT_STREQ(reply.data, "abcabc");
    EXPECT_EQ(CurlWriteToBuffer(part, (size_t)-1, 2, &reply), 0u) << "an overflowing size is refused";
    EXPECT_EQ(CurlWriteToBuffer(part, kMaxReplyBytes, 1, &reply), 0u) << "more than a reply may hold";
    EXPECT_EQ(reply.length, 6u);
    FreeReplyBuffer(&reply);

    char one[kMd5HexBytes], two[kMd5HexBytes];
    MakeHardwareId(one);
    MakeHardwareId(two);
    EXPECT_STREQ(one, two) << "the same on every run";
    EXPECT_EQ(strlen(one), 32u);
}

}  // namespace
