// The data tool: synthetic data that the program's own search finds,
// deterministic by seed and quick at a million rows; dumps; and the
// console program itself.
#include <strsafe.h>

#include <chrono>
#include <map>

#include "cipher.h"
#include "datastore.h"
#include "datatool.h"
#include "md5.h"
#include "rapidjson/document.h"
#include "schema.h"
#include "sqlexec.h"
#include "sqlite3.h"
#include "storetest.h"

using namespace storetest;

namespace {

class DataTool : public StoreTest {
  protected:
    DataTool() : StoreTest(L"datatool") {}
    std::string Dump(const std::wstring &path, bool json = false) {
        std::string out, error;
        EXPECT_EQ(datatool::DumpBook(path.c_str(), json, &out, &error), 0) << error;
        return out;
    }
};

bool PlausiblePlate(const std::wstring &plate) {
    size_t i = 0;
    while (i < plate.size() && iswupper(plate[i])) i++;
    size_t letters = i;
    while (i < plate.size() && iswdigit(plate[i])) i++;
    size_t digits = i - letters;
    size_t suffix = plate.size() - i;
    bool suffixOk = suffix == 0 || (suffix == 1 && iswupper(plate[i]));
    return letters >= 1 && letters <= 3 && digits >= 1 && digits <= 4 && suffixOk &&
           plate.find_first_of(L"IOZ") == std::wstring::npos;
}

TEST_F(DataTool, SyntheticDataIsDeterministicAndFoundByTheSearch) {
    std::wstring a = File(L"a.db"), b = File(L"b.db"), c = File(L"c.db");
    std::string error;
    ASSERT_EQ(datatool::MakeDataFile(a.c_str(), 300, 42, &error), 0) << error;
    ASSERT_EQ(datatool::MakeDataFile(b.c_str(), 300, 42, &error), 0) << error;
    ASSERT_EQ(datatool::MakeDataFile(c.c_str(), 300, 43, &error), 0) << error;
    EXPECT_EQ(Dump(a), Dump(b));
    EXPECT_NE(Dump(a), Dump(c));

    Db db(a);
    EXPECT_EQ(db.Count("VLD"), 300);
    EXPECT_EQ(db.Count("VLC"), (int)datatool::SyntheticClearedCount(300));
    EXPECT_EQ(db.Count("FLD"), (int)datatool::SyntheticFinanciers().size());
    EXPECT_EQ(db.One("SELECT count(*) FROM ZELDdb_master WHERE type = 'index' AND tbl_name = 'VLD' "
                     "AND sql LIKE '%(C1)'"),
              "1");

    // Every vehicle is found by the program's own plate search, fields intact.
    ASSERT_EQ(sqlite3_open(U8(a).c_str(), &DataDb), SQLITE_OK);
    ASSERT_EQ(CreateDiaryDatabase(NULL), kSchemaDone);
    int withFiller = 0;
    for (uint32_t i = 0; i < 300; i += 37) {
        datatool::VehicleRecord v = datatool::SyntheticVehicle(42, i);
        SCOPED_TRACE(U8(v.plate));
        EXPECT_TRUE(PlausiblePlate(v.plate));
        StringCchCopyW(FindHistory[0], kFindHistoryChars, v.plate.c_str());
        char key[kMd5HexBytes] = {0};
        VehicleLookupKey(v.plate.c_str(), key);
        WCHAR statement[128];
        StringCchPrintfW(statement, ARRAYSIZE(statement), L"select * from VLD where C1 = '%hs'", key);
        VehicleFound = 0;
        ASSERT_EQ(SelectSql(DataDb, statement, kModePlateSearch), SQLITE_OK);
        EXPECT_EQ(VehicleFound, 1);
        // Plates may repeat in a large series; the slots hold the last hit.
        if (db.One(std::string("SELECT count(*) FROM VLD WHERE C1 = '") + key + "'") != "1") continue;
        EXPECT_EQ(SelectSlots[1], v.lastPayment);
        EXPECT_EQ(SelectSlots[2], v.description);
        EXPECT_EQ(SelectSlots[3], v.financier);
        EXPECT_EQ(SelectSlots[4], v.arrears);
        withFiller++;
    }
    EXPECT_GT(withFiller, 0);
    EXPECT_TRUE(Messages.empty());

    // The version keys read as start-up reads them.
    DataVersionPatch[0] = 0;
    EXPECT_EQ(SelectSql(DataDb, L"select C2 from PRD where C1 ='DVP'", kModeDataVersionPatch), SQLITE_OK);
    EXPECT_EQ(SelectSql(DataDb, L"select C2 from PRD where C1 ='DV'", kModeDataVersion), SQLITE_OK);
    EXPECT_EQ(SelectSql(DataDb, L"select C2 from PRD where C1 ='DVR'", kModeDataVersionUpdate), SQLITE_OK);
    EXPECT_EQ(SelectSql(DataDb, L"select C2 from PRD where C1 ='CE'", kModeRequiredVersion), SQLITE_OK);
    EXPECT_STREQ(DataVersionText, L"20260105.000");
    EXPECT_LE(RequiredProgramVersion, 14.9);
    EXPECT_GT(RequiredProgramVersion, 0);
}

TEST_F(DataTool, AMillionVehiclesTakeSeconds) {
    std::wstring path = File(L"million.db");
    std::string error;
    auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(datatool::MakeDataFile(path.c_str(), 1000000, 7, &error), 0) << error;
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_LT(seconds, 60.0);
    Db db(path);
    EXPECT_EQ(db.Count("VLD"), 1000000);
    datatool::VehicleRecord last = datatool::SyntheticVehicle(7, 999999);
    char key[kMd5HexBytes] = {0};
    VehicleLookupKey(last.plate.c_str(), key);
    EXPECT_NE(db.One(std::string("SELECT count(*) FROM VLD WHERE C1 = '") + key + "'"), "0");
    EXPECT_EQ(db.One("SELECT count(*) FROM ZELDdb_master WHERE type = 'index' AND tbl_name = 'VLD'"), "1");
}

TEST_F(DataTool, GivenVehiclesKeysAndDumps) {
    std::wstring data = File(L"given.db"), tsv = File(L"vehicles.tsv");
    std::string error;
    const std::string text =
        "# plate\tarrears\tlastpay\tdescription\tfinancier\n"
        "WA1234B\t7\t09 Dec 2025\tSALOON 1.6 SILVER\tD'CRUZ LEASING\r\n"
        "\n"
        "BJK9921\t\t\tPICKUP\tEMAS AUTO CREDIT\n";
    std::vector<datatool::VehicleRecord> vehicles;
    ASSERT_EQ(datatool::ParseVehicleTsv(text, &vehicles, &error), 0) << error;
    ASSERT_EQ(vehicles.size(), 2u);
    EXPECT_EQ(vehicles[1].arrears, L"");
    EXPECT_NE(datatool::ParseVehicleTsv("WA1\t1\t2\n", &vehicles, &error), 0);
    EXPECT_NE(error.find("line 1"), std::string::npos);

    ASSERT_EQ(datatool::AddVehicles(data.c_str(), {vehicles[0], vehicles[1]}, &error), 0) << error;
    ASSERT_EQ(datatool::AddClearedPlate(data.c_str(), L"PKA77", &error), 0) << error;
    ASSERT_EQ(datatool::SetDataKey(data.c_str(), L"CE", L"14.91", &error), 0) << error;
    char key[kMd5HexBytes] = {0};
    VehicleLookupKey(L"WA1234B", key);
    std::string dump = Dump(data);
    EXPECT_EQ(dump.rfind("# data\n", 0), 0u);
    EXPECT_NE(dump.find("PRD\t1\tCE\t14.91\n"), std::string::npos);
    EXPECT_NE(dump.find(std::string("VLD\t1\t") + key + "\t09 Dec 2025\tSALOON 1.6 SILVER\tD'CRUZ LEASING\t7\n"),
              std::string::npos);
    EXPECT_NE(dump.find("\tPICKUP\tEMAS AUTO CREDIT\t\n"), std::string::npos);
    EXPECT_NE(dump.find("VLC\t1\tPKA77\n"), std::string::npos);

    // A diary dumps deciphered, as JSON too.
    std::wstring diary = File(L"diary.db");
    ASSERT_EQ(datatool::MakeDiaryFile(diary.c_str(), 11, 2, false, {{L"D", L"pass\tword"}}, &error), 0) << error;
    std::string lines = Dump(diary);
    EXPECT_EQ(lines.rfind("# diary\n", 0), 0u);
    EXPECT_NE(lines.find("PRS\t5\tD\tpass\\tword\n"), std::string::npos);
    EXPECT_NE(lines.find("PRS\t7\tSU\tPapan Kekunci/KeyBoard\n"), std::string::npos);
    rapidjson::Document doc;
    doc.Parse(Dump(diary, true).c_str());
    ASSERT_TRUE(doc.IsObject());
    EXPECT_STREQ(doc["kind"].GetString(), "diary");
    const rapidjson::Value &vls = doc["tables"]["VLS"];
    ASSERT_TRUE(vls.IsArray());
    ASSERT_EQ(vls.Size(), 2u);
    EXPECT_STREQ(vls[1]["C3"].GetString(), "DRY0002");
    EXPECT_STREQ(vls[1]["C4"].GetString(), "02 Feb 2025");
    EXPECT_EQ(vls[1]["rowid"].GetInt(), 2);
    EXPECT_FALSE(doc["tables"].HasMember("android_metadata"));  // version 11 had none

    std::wstring remark = File(L"remark.db");
    ASSERT_EQ(datatool::MakeRemarkFile(remark.c_str(), 1000, 1, {}, &error), 0) << error;
    std::string remarkDump = Dump(remark);
    EXPECT_EQ(remarkDump.rfind("# remark\n", 0), 0u);
    EXPECT_NE(remarkDump.find("VLS\t1\tRMK0001\t3\t01 Jan 2025\t"), std::string::npos);
    std::string out;
    EXPECT_NE(datatool::DumpBook(File(L"absent.db").c_str(), false, &out, &error), 0);
}

// Runs the console program under this test's Wine; returns its exit code.
int RunTool(const std::wstring &arguments, std::string *output) {
    std::wstring bin = testsupport::HostFolderFromEnv("KORVANE_BIN");
    if (bin.empty()) return -1;
    SECURITY_ATTRIBUTES sa = {sizeof sa, NULL, TRUE};
    HANDLE readPipe = NULL, writePipe = NULL;
    if (!CreatePipe(&readPipe, &writePipe, &sa, 0)) return -1;
    SetHandleInformation(readPipe, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = writePipe;
    si.hStdError = writePipe;
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION pi = {};
    std::wstring command = L"\"" + bin + L"KorvaneDataTool.exe\" " + arguments;
    BOOL started = CreateProcessW(NULL, &command[0], NULL, NULL, TRUE, 0, NULL, NULL, &si, &pi);
    CloseHandle(writePipe);
    if (!started) {
        CloseHandle(readPipe);
        return -1;
    }
    output->clear();
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(readPipe, buffer, sizeof buffer, &got, NULL) && got > 0) output->append(buffer, got);
    CloseHandle(readPipe);
    WaitForSingleObject(pi.hProcess, 60000);
    DWORD code = 1;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    return (int)code;
}

TEST_F(DataTool, TheConsoleProgram) {
    std::string output;
    std::wstring remark = File(L"tool-remark.db");
    ASSERT_EQ(RunTool(L"make-remark \"" + remark + L"\" 1001 --rows 2 --set D=geheim", &output), 0) << output;
    ASSERT_EQ(RunTool(L"dump \"" + remark + L"\" --json", &output), 0) << output;
    rapidjson::Document doc;
    doc.Parse(output.c_str());
    ASSERT_TRUE(doc.IsObject()) << output;
    EXPECT_STREQ(doc["kind"].GetString(), "remark");
    const rapidjson::Value &prs = doc["tables"]["PRS"];
    ASSERT_TRUE(prs.IsArray());
    std::map<std::string, std::string> settings;
    for (const rapidjson::Value &row : prs.GetArray()) settings[row["C1"].GetString()] = row["C2"].GetString();
    EXPECT_EQ(settings["D"], "geheim");
    EXPECT_EQ(settings["DSV"], "1001");
    EXPECT_EQ(settings.count("CLF"), 0u);
    EXPECT_EQ(doc["tables"]["VLS"].Size(), 2u);

    EXPECT_EQ(RunTool(L"make-diary \"" + File(L"x.db") + L"\" 3", &output), 1);
    EXPECT_EQ(RunTool(L"make-data", &output), 2);
    EXPECT_NE(output.find("make-data PATH N [SEED]"), std::string::npos);
}

}  // namespace
