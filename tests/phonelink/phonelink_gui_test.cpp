// The handphone link and the online update end to end: the real Korvane.exe
// driven from this process, the stand-in handphone connecting to its port
// 5566 and the stand-in update server on loopback, named to the program by
// KORVANE_UPDATE_SERVER1/2; the books on drive C read back.
#include <winsock2.h>

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "cipher.h"
#include "datatool.h"
#include "driver.h"
#include "programrun.h"
#include "fakehandphone.h"
#include "fakeupdateserver.h"
#include "md5.h"
#include "resource.h"
#include "sqlite3.h"
#include "testsupport.h"
#include "textutil.h"
#include "update.h"

namespace {

const int kPhonePort = 5566;
const int kLargeUpdateRows = 200000;  // enough rows that their apply lasts a while

std::vector<std::vector<std::string>> Rows(const std::wstring &path, const std::string &sql) {
    return testsupport::ReadBookRows(path, sql);
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

std::wstring Plain(const BlowfishContext &ctx, const std::string &field) {
    WCHAR plain[kPlainBytes];
    DecodeField(ctx, field.c_str(), plain);
    return plain;
}

// Polls until pred holds or timeoutMs has passed.
bool WaitFor(const std::function<bool()> &pred, DWORD timeoutMs = 5000) {
    DWORD start = GetTickCount();
    while (!pred()) {
        if (GetTickCount() - start > timeoutMs) return false;
        Sleep(20);
    }
    return true;
}

// For a change that nothing in the program shows: polls for timeoutMs
// while pred holds; false as soon as it fails.
bool Holds(const std::function<bool()> &pred, DWORD timeoutMs) {
    return !WaitFor([&] { return !pred(); }, timeoutMs);
}

class Window : public testing::Test {
  protected:
    static void SetUpTestSuite() { KeyCipherContexts(); }

    // Copies the program into its folder with a data file of the data tool
    // and starts it; env holds the variables to start it with.
    void StartProgram() {
        folder_ = L"C:\\KorvaneLink\\";
        ASSERT_TRUE(testsupport::PrepareProgramFolder(folder_));
        std::string error;
        data_ = folder_ + L"KorvaneData.db";
        ASSERT_EQ(datatool::MakeDataFile(data_.c_str(), 200, 7, &error), 0) << error;
        std::vector<datatool::VehicleRecord> wanted = {
            {L"WA1234B", L"7", L"05 Feb 2024", L"MYVI 1.3 SILVER 2016", L"D'CRUZ LEASING SDN BHD"},
            {L"BJK9921", L"3", L"", L"HILUX 2.5 WHITE", L"BANK DUA"},
        };
        ASSERT_EQ(datatool::AddVehicles(data_.c_str(), wanted, &error), 0) << error;
        program_.set_folder(folder_);
        ASSERT_TRUE(program_.Launch());
        main_ = program_.WaitForMain();
        ASSERT_NE(main_, (HWND)NULL);
    }

    void TearDown() override {
        program_.Stop();
        SetEnvironmentVariableW(L"KORVANE_UPDATE_SERVER1", NULL);
        SetEnvironmentVariableW(L"KORVANE_UPDATE_SERVER2", NULL);
        if (!folder_.empty()) testsupport::RemoveTree(folder_);
    }

    HWND Control(int id) { return driver::FindControl(main_, id); }
    std::wstring Text(int id) { return driver::GetText(Control(id)); }
    bool WaitForText(int id, const std::wstring &text, DWORD timeoutMs = 5000) {
        return WaitFor([&] { return Text(id) == text; }, timeoutMs);
    }
    void Find(const std::wstring &plate) {
        driver::SetText(Control(IDC_PLATE_ENTRY), plate);
        driver::Click(Control(IDC_FIND));
    }
    std::vector<std::vector<std::string>> Diary() {
        return Rows(L"C:\\KorvaneDiary.db", "select C1,C2,C3,C4,C5,C6,C7,C8,C9,C10,C11 from VLS order by rowid");
    }
    // GPS pressed, the waiting texts, the phone connected.
    void PressGpsAndConnect(peers::FakeHandphone &phone) {
        driver::Click(Control(IDC_GPS));
        EXPECT_EQ(Text(IDC_LINK_STATUS), L"Menunggu connection dari handphone.....");
        EXPECT_EQ(Text(IDC_GPS_STATUS), L"Tolong periksa GPS handphone");
        ASSERT_TRUE(phone.Connect(kPhonePort, 5000));
        ASSERT_TRUE(WaitForText(IDC_LINK_STATUS, L"Sudah connect dengan handphone")) << testsupport::Utf8(
            Text(IDC_LINK_STATUS));
    }
    void SendLocation(peers::FakeHandphone &phone, const std::wstring &place) {
        ASSERT_TRUE(phone.SendLocation(place));
        ASSERT_TRUE(WaitForText(IDC_LOCATION, place)) << testsupport::Utf8(Text(IDC_LOCATION));
    }

    std::wstring folder_;
    std::wstring data_;
    testsupport::ProgramRun program_;
    HWND main_ = NULL;
};

// A socket of the test on the link's port, so the program's bind fails.
class PortHolder {
  public:
    PortHolder() {
        WSADATA wsa;
        started_ = WSAStartup(MAKEWORD(2, 2), &wsa) == 0;
        socket_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in address = {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_ANY);
        address.sin_port = htons(kPhonePort);
        held_ = socket_ != INVALID_SOCKET && bind(socket_, (sockaddr *)&address, sizeof address) == 0 &&
                listen(socket_, 1) == 0;
    }
    ~PortHolder() {
        if (socket_ != INVALID_SOCKET) closesocket(socket_);
        if (started_) WSACleanup();
    }
    PortHolder(const PortHolder &) = delete;
    PortHolder &operator=(const PortHolder &) = delete;
    bool held() const { return held_; }

  private:
    SOCKET socket_ = INVALID_SOCKET;
    bool started_ = false;
    bool held_ = false;
};

TEST_F(Window, HandphoneLocationsReachTheDiaryAndEveryEndIsShown) {
    StartProgram();
    if (HasFatalFailure()) return;

    // Pressed, connected, a location without its filler; it goes with each
    // search into the diary's location column.
    {
        peers::FakeHandphone phone;
        PressGpsAndConnect(phone);
        if (HasFatalFailure()) return;
        SendLocation(phone, L"JALAN AMPANG, KL");
        if (HasFatalFailure()) return;
        EXPECT_EQ(Text(IDC_GPS_STATUS), L"") << "the first location clears the warning";
        Find(L"WA1234B");
        Find(L"ZZZ9999");
        auto diary = Diary();
        ASSERT_EQ(diary.size(), 2u);
        EXPECT_EQ(diary[0][1], "1");
        EXPECT_EQ(diary[0][7], "JALAN AMPANG, KL");
        EXPECT_EQ(diary[1][1], "0");
        EXPECT_EQ(diary[1][7], "JALAN AMPANG, KL");

        // Noise on the line is no location: the next search logs the last
        // good one, and the link stays up.
        ASSERT_TRUE(phone.SendRaw("NOISE ON THE LINE"));
        std::wstring linked = Text(IDC_LINK_STATUS);
        Holds([&] { return Text(IDC_LINK_STATUS) == linked; }, 300);
        Find(L"BJK9921");
        diary = Diary();
        ASSERT_EQ(diary.size(), 3u);
        EXPECT_EQ(diary[2][7], "JALAN AMPANG, KL");
        EXPECT_EQ(Text(IDC_LOCATION), L"JALAN AMPANG, KL");

        // Nine searches since the last location change nothing, the tenth
        // shows the warning; keep-alives meanwhile do not count as a fix.
        SendLocation(phone, L"PERSIARAN KLCC");
        if (HasFatalFailure()) return;
        for (int i = 1; i <= 9; i++) {
            if (i == 5) {
                ASSERT_TRUE(phone.SendKeepAlive());
            }
            Find(L"AAA" + std::to_wstring(i));
        }
        EXPECT_EQ(Text(IDC_GPS_STATUS), L"");
        Find(L"AAA10");
        EXPECT_EQ(Text(IDC_GPS_STATUS), L"Tolong periksa GPS handphone");
        EXPECT_EQ(Text(IDC_LINK_STATUS), L"");
        SendLocation(phone, L"KM 12 LEBUHRAYA");
        if (HasFatalFailure()) return;
        EXPECT_TRUE(WaitForText(IDC_GPS_STATUS, L""));

        ASSERT_TRUE(phone.SendExit());
        EXPECT_TRUE(WaitForText(IDC_LINK_STATUS, L"Client Disconnected. [buffer == exit]"));
        EXPECT_TRUE(phone.WaitForClose(3000)) << "the program closes its side";
    }

    // The phone closes the connection, then resets it: both are shown as a
    // lost connection, and GPS starts a fresh link each time.
    for (bool reset : {false, true}) {
        peers::FakeHandphone phone;
        PressGpsAndConnect(phone);
        if (HasFatalFailure()) return;
        if (reset) {
            phone.Reset();
        } else {
            phone.Close();
        }
        EXPECT_TRUE(WaitForText(IDC_LINK_STATUS, L"TIDAK connect dengan handphone")) << reset;
    }

    // GPS pressed while connected stops the link: both lines blank, the
    // phone sees the close. Pressed again, the link comes back.
    {
        peers::FakeHandphone phone;
        PressGpsAndConnect(phone);
        if (HasFatalFailure()) return;
        driver::Click(Control(IDC_GPS));
        EXPECT_EQ(Text(IDC_GPS_STATUS), L"");
        EXPECT_TRUE(phone.WaitForClose(3000));
        Holds([&] { return Text(IDC_LINK_STATUS) == L""; }, 300);
        EXPECT_EQ(Text(IDC_LINK_STATUS), L"") << "a stop by the agent is no lost connection";
    }
    {
        peers::FakeHandphone phone;
        PressGpsAndConnect(phone);
        if (HasFatalFailure()) return;
        SendLocation(phone, L"JALAN TUN RAZAK");
        if (HasFatalFailure()) return;
        Find(L"BJK9921");
        auto diary = Diary();
        ASSERT_FALSE(diary.empty());
        EXPECT_EQ(diary.back()[7], "JALAN TUN RAZAK");
        driver::Click(Control(IDC_GPS));  // stop
        EXPECT_TRUE(phone.WaitForClose(3000));
    }

    // The port is taken: the bind's error is shown, and the next press
    // stops the link that never listened.
    {
        PortHolder holder;
        ASSERT_TRUE(holder.held());
        driver::Click(Control(IDC_GPS));
        EXPECT_TRUE(WaitForText(IDC_LINK_STATUS, L"Bind function failed with error: 10048"))
            << testsupport::Utf8(Text(IDC_LINK_STATUS));
        driver::Click(Control(IDC_GPS));
        EXPECT_EQ(Text(IDC_LINK_STATUS), L"");
        EXPECT_EQ(Text(IDC_GPS_STATUS), L"");
    }
}

TEST_F(Window, OnlineUpdateThroughTheWindowBringsTheDataUpToDate) {
    peers::FakeUpdateServer server;
    ASSERT_TRUE(server.Start());
    const std::string url = server.BaseUrl();
    const std::wstring base(url.begin(), url.end());
    SetEnvironmentVariableW(L"KORVANE_UPDATE_SERVER1", (base + L"/").c_str());  // the '/' is dropped
    SetEnvironmentVariableW(L"KORVANE_UPDATE_SERVER2", base.c_str());
    StartProgram();
    if (HasFatalFailure()) return;
    EXPECT_EQ(Text(IDC_DATA_VERSION), L"Data Versi: 20260105.000");

    // A remark for the plate that the update clears.
    for (const std::wstring &name : testsupport::MatchingFiles(L"C:\\LastRemark - BACKUP *.db"))
        DeleteFileW((L"C:\\" + name).c_str());
    Find(L"WA1234B");
    driver::SetText(Control(IDC_REMARK), L"CALL OWNER");
    driver::Click(Control(IDC_SAVE));
    ASSERT_EQ(Rows(L"C:\\LastRemark.db", "select 1 from VLS").size(), 1u);
    std::wstring unclear = datatool::SyntheticClearedPlate(7, 200, 0);
    ASSERT_EQ(Rows(data_, "select 1 from VLC where C1 = '" + Field(DataCipher, unclear.c_str()) + "'").size(), 1u);

    auto row = [](const std::string &a, const char *f, const std::string &b, const std::string &c,
                  const std::string &d, const std::string &e) {
        return "{\"A\":\"" + a + "\",\"B\":\"" + b + "\",\"C\":\"" + c + "\",\"D\":\"" + d + "\",\"E\":\"" + e +
               "\",\"F\":\"" + f + "\"}";
    };
    std::string rows = row(Key(L"WA1234B"), "D", "", "", "", "") + "," +
                       row(Field(LocalCipher, L"WA1234B"), "X", "", "", "", "") + "," +
                       row(Field(LocalCipher, unclear.c_str()), "z", "", "", "", "") + "," +
                       row(Key(L"NEW1"), "", Field(DataCipher, L"~~05 Mar 2026~~"), Field(DataCipher, L"HILUX NEW"),
                           Field(DataCipher, L"~~BANK BARU~~"), Field(DataCipher, L"~~4~~"));
    server.Script(peers::ScriptedReply::Json(
        "{\"ReplyType\":\"Challenge\",\"BeginData\":\"ok\",\"EndData\":\"DataComplete\"}"));
    server.Script(peers::ScriptedReply::Json("{\"ReplyType\":\"Data\",\"DataVersionPatch\":\"20261209\","
                                             "\"BeginData\":[" + rows + "],\"EndData\":\"DataComplete\"}"));
    driver::SetText(Control(IDC_EMAIL), L"ejen@contoh.my");
    driver::Click(Control(IDC_DOWNLOAD_1));

    EXPECT_EQ(Text(IDC_UPDATE_STATUS),
              L"Server Online 1: job completed: Data yang anda pakai sekarang adalah yang terbaru.");
    EXPECT_EQ(Text(IDC_DATA_VERSION), L"Data Versi: 20260105.000[patch 20261209.000]");
    EXPECT_EQ(Text(IDC_START_MESSAGE), L"Software Versi: Korvane 14.906\r\nData Versi: 20260105.000[patch 20261209.000]");
    EXPECT_TRUE(IsWindowEnabled(Control(IDC_DOWNLOAD_1)));
    EXPECT_TRUE(IsWindowEnabled(Control(IDC_DOWNLOAD_2)));

    // The requests, as the program sent them.
    char id[kMd5HexBytes];
    MakeHardwareId(id);
    WCHAR os[64];
    GetWindowsVersionText(os, ARRAYSIZE(os));
    std::vector<peers::RecordedRequest> requests = server.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].method, "POST");
    EXPECT_EQ(requests[0].path, "/app/zeld/dataUpdate");
    EXPECT_EQ(requests[0].body, "{\"HardwareID\":\"" + std::string(id) +
                                    "\",\"Email\":\"ejen@contoh.my\",\"OSVersion\":\"" + testsupport::Utf8(os) +
                                    "\",\"DataVersion\":\"20260105.000\",\"DataVersionUpdate\":\"\","
                                    "\"DataVersionPatch\":\"FACTORY\"}");
    EXPECT_EQ(requests[1].method, "GET");
    EXPECT_EQ(requests[1].path, "/app/zeld/dataUpdate/" + std::string(id) + "/FACTORY");

    // The books, read while the program still runs.
    EXPECT_TRUE(Rows(data_, "select 1 from VLD where C1 = '" + Key(L"WA1234B") + "'").empty());
    EXPECT_EQ(Rows(data_, "select 1 from VLC where C1 = '" + Field(DataCipher, L"WA1234B") + "'").size(), 1u);
    EXPECT_TRUE(Rows(data_, "select 1 from VLC where C1 = '" + Field(DataCipher, unclear.c_str()) + "'").empty());
    EXPECT_TRUE(Rows(L"C:\\LastRemark.db", "select 1 from VLS").empty()) << "the cleared plate's remark is gone";
    std::vector<std::wstring> backups = testsupport::MatchingFiles(L"C:\\LastRemark - BACKUP *.db");
    ASSERT_EQ(backups.size(), 1u) << "the remark book was backed up before the remark went";
    EXPECT_EQ(Rows(L"C:\\" + backups[0], "select 1 from VLS").size(), 1u);
    DeleteFileW((L"C:\\" + backups[0]).c_str());
    auto patch = Rows(data_, "select C2 from PRD where C1 = 'DVP'");
    ASSERT_EQ(patch.size(), 1u);
    EXPECT_EQ(Plain(DataCipher, patch[0][0]), L"20261209.000");

    // The searches see the new data at once.
    Find(L"NEW1");
    EXPECT_EQ(Text(IDC_RESULT), L"NEW1 | 4 | 05 Mar 2026 | BANK BARU | HILUX NEW");
    Find(L"WA1234B");
    auto diary = Diary();
    ASSERT_FALSE(diary.empty());
    EXPECT_EQ(diary.back()[1], "0") << "the deleted vehicle is no longer found";

    // Server 2 with the same patch: nothing to do.
    server.Script(peers::ScriptedReply::Json(
        "{\"ReplyType\":\"Challenge\",\"BeginData\":\"ok\",\"EndData\":\"DataComplete\"}"));
    server.Script(peers::ScriptedReply::Json(
        "{\"ReplyType\":\"Data\",\"DataVersionPatch\":\"20261209.000\",\"BeginData\":[],\"EndData\":\"DataComplete\"}"));
    driver::Click(Control(IDC_DOWNLOAD_2));
    EXPECT_EQ(Text(IDC_UPDATE_STATUS), L"Data yang anda pakai adalah yang terbaru.");
    requests = server.Requests();
    ASSERT_EQ(requests.size(), 4u);
    EXPECT_EQ(requests[2].path, "/app2/zeld/dataUpdate");
    EXPECT_EQ(requests[3].path, "/app2/zeld/dataUpdate/" + std::string(id) + "/20261209.000");
}

// A large update: while its rows are applied the program still answers
// what Windows sends it, refuses the end of the session and a close, and
// lets both go once the rows are in.
TEST_F(Window, TheUpdateAnswersWhileItAppliesAndHoldsBackTheEndOfTheSession) {
    peers::FakeUpdateServer server;
    ASSERT_TRUE(server.Start());
    const std::string url = server.BaseUrl();
    SetEnvironmentVariableW(L"KORVANE_UPDATE_SERVER1", std::wstring(url.begin(), url.end()).c_str());
    StartProgram();
    if (HasFatalFailure()) return;

    std::string rows;
    for (int i = 0; i < kLargeUpdateRows; i++) {
        if (i > 0) rows += ",";
        rows += "{\"A\":\"" + Key((L"NEW" + std::to_wstring(i)).c_str()) +
                "\",\"B\":\"b\",\"C\":\"c\",\"D\":\"d\",\"E\":\"e\",\"F\":\"\"}";
    }
    server.Script(peers::ScriptedReply::Json(
        "{\"ReplyType\":\"Challenge\",\"BeginData\":\"ok\",\"EndData\":\"DataComplete\"}"));
    server.Script(peers::ScriptedReply::Json("{\"ReplyType\":\"Data\",\"DataVersionPatch\":\"20261209\","
                                             "\"BeginData\":[" + rows + "],\"EndData\":\"DataComplete\"}"));
    rows.clear();
    const std::wstring applying = L"Server Online 1: step 10: Update database tempatan... sila tunggu";
    const std::wstring done = L"Server Online 1: job completed: Data yang anda pakai sekarang adalah yang terbaru.";
    driver::PostClick(Control(IDC_DOWNLOAD_1));
    ASSERT_TRUE(WaitFor([&] { return Text(IDC_UPDATE_STATUS) == applying; }, 60000))
        << testsupport::Utf8(Text(IDC_UPDATE_STATUS));

    DWORD_PTR answer = 1;
    DWORD asked = GetTickCount();
    LRESULT answered = SendMessageTimeoutW(main_, WM_QUERYENDSESSION, 0, 0, SMTO_NORMAL, 2000, &answer);
    DWORD waited = GetTickCount() - asked;
    EXPECT_NE(answered, 0) << "the program answers while the rows are applied";
    EXPECT_EQ(answer, (DWORD_PTR)FALSE) << "and refuses the end of the session";
    DWORD_PTR ignored = 0;
    EXPECT_NE(SendMessageTimeoutW(main_, WM_CLOSE, 0, 0, SMTO_NORMAL, 2000, &ignored), 0);
    EXPECT_EQ(Text(IDC_UPDATE_STATUS), applying) << "the rows took long enough to ask during them";
    EXPECT_FALSE(IsWindowEnabled(Control(IDC_DOWNLOAD_1)));
    EXPECT_FALSE(IsWindowEnabled(Control(IDC_DOWNLOAD_2)));

    ASSERT_TRUE(WaitFor([&] { return Text(IDC_UPDATE_STATUS) == done; }, 120000))
        << testsupport::Utf8(Text(IDC_UPDATE_STATUS));
    EXPECT_TRUE(IsWindow(main_)) << "the close was refused";
    answer = 0;
    EXPECT_NE(SendMessageTimeoutW(main_, WM_QUERYENDSESSION, 0, 0, SMTO_NORMAL, 2000, &answer), 0);
    EXPECT_EQ(answer, (DWORD_PTR)TRUE) << "with the rows in, the session may end";
    auto vehicles = Rows(data_, "select count(*) from VLD");
    ASSERT_EQ(vehicles.size(), 1u);
    EXPECT_EQ(vehicles[0][0], std::to_string(kLargeUpdateRows + 202));
    std::printf("[ update ] %d rows; the end of the session answered in %lu ms during the apply\n",
                kLargeUpdateRows, (unsigned long)waited);
}

}  // namespace
