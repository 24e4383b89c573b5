// The handphone link against the stand-in phone, on real controls with the
// main window's ids in a window of this test.
#include <winsock2.h>

#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "cipher.h"
#include "datastore.h"
#include "fakehandphone.h"
#include "mainwindow.h"
#include "phonelink.h"
#include "resource.h"

namespace {

// Dispatches messages until pred holds or timeoutMs has passed.
bool PumpUntil(const std::function<bool()> &pred, DWORD timeoutMs = 5000) {
    DWORD start = GetTickCount();
    while (!pred()) {
        if (GetTickCount() - start > timeoutMs) return false;
        MSG msg;
        while (PeekMessageW(&msg, NULL, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        MsgWaitForMultipleObjects(0, NULL, FALSE, 20, QS_ALLINPUT);
    }
    return true;
}

std::wstring Text(int id) {
    wchar_t buffer[512] = {0};
    GetWindowTextW(MainControl(id), buffer, ARRAYSIZE(buffer));
    return buffer;
}

class Link : public testing::Test {
  protected:
    static void SetUpTestSuite() { KeyCipherContexts(); }

    void SetUp() override {
        host_ = CreateWindowExW(0, L"STATIC", L"host", WS_OVERLAPPEDWINDOW, 0, 0, 900, 600, NULL, NULL,
                                GetModuleHandleW(NULL), NULL);
        ASSERT_NE(host_, (HWND)NULL);
        MainWindow = host_;
        for (int id : {IDC_LINK_STATUS, IDC_GPS_STATUS}) Child(L"STATIC", id);
        Child(L"BUTTON", IDC_GPS);
        LocationEdit = Child(L"EDIT", IDC_LOCATION);
        UseEnglish = 1;
        DWORD error = 0;
        ASSERT_TRUE(CreatePhoneConnectionMutex(&error)) << error;
        GpsFixAlive = GpsStateChanged = 0;
        SearchesWithoutFix = 0;
    }
    void TearDown() override {
        DWORD start = GetTickCount();
        ShutDownHandphoneLink(2000);
        EXPECT_LT(GetTickCount() - start, 5000u) << "shutdown must never hang";
        EXPECT_EQ(ListenThread, (HANDLE)NULL);
        EXPECT_EQ(ClientThread, (HANDLE)NULL);
        DestroyWindow(host_);
        MainWindow = NULL;
        LocationEdit = NULL;
    }
    HWND Child(const wchar_t *cls, int id) {
        return CreateWindowExW(0, cls, L"", WS_CHILD | WS_VISIBLE, 0, 30 * (id % 10), 400, 25, host_,
                               (HMENU)(INT_PTR)id, GetModuleHandleW(NULL), NULL);
    }
    // Starts the link and connects the phone.
    void StartAndConnect(peers::FakeHandphone &phone) {
        ToggleHandphoneLink();
        ASSERT_EQ(HandphoneLinkOn.load(), 1);
        ASSERT_TRUE(phone.Connect(kHandphonePort, 5000));
        ASSERT_TRUE(PumpUntil([] { return Text(IDC_LINK_STATUS) == L"Connected to the handphone"; }));
    }

    HWND host_ = NULL;
};

TEST(HandphoneMessages, ParsedWithinTheirBytes) {
    KeyCipherContexts();
    WCHAR location[kPlainBytes];
    EXPECT_EQ(ParseHandphoneMessage("exit", 4, location), 0);
    EXPECT_EQ(ParseHandphoneMessage("exit\0junk", 9, location), 0) << "a message ends at its first zero";
    EXPECT_EQ(ParseHandphoneMessage("\r\n", 2, location), 1);
    EXPECT_EQ(ParseHandphoneMessage("\r\nexit", 6, location), 1) << "keep-alive whatever follows";
    std::string field = peers::FakeHandphone::LocationMessage(L"JALAN AMPANG, KL");
    EXPECT_EQ(ParseHandphoneMessage(field.c_str(), (int)field.size(), location), 2);
    EXPECT_STREQ(location, L"JALAN AMPANG, KL");
    EXPECT_EQ(ParseHandphoneMessage("exit\r\n", 6, location), 2) << "\"exit\" and more is a location";

    // A burst with no zero byte, over the 255 characters a message carries.
    char burst[1024];
    memset(burst, 'Q', sizeof burst);
    EXPECT_EQ(ParseHandphoneMessage(burst, sizeof burst, location), 2);
    EXPECT_LT(wcslen(location), (size_t)kPlainBytes);
}

TEST(HandphoneState, TenthSearchWithoutALocationLosesTheFix) {
    DWORD error = 0;
    ASSERT_TRUE(CreatePhoneConnectionMutex(&error));
    GpsFixAlive = 0;
    GpsStateChanged = 0;
    SearchesWithoutFix = 0;
    PhoneConnectionState s = UpdatePhoneConnectionState(PhoneConnectionMutex, 0);
    EXPECT_TRUE(s.updated);
    EXPECT_EQ(s.alive, 1);
    EXPECT_EQ(s.changed, 1);
    for (int i = 1; i <= 9; i++) {
        s = UpdatePhoneConnectionState(PhoneConnectionMutex, 1);
        EXPECT_EQ(s.alive, 1) << i;
        EXPECT_EQ(s.changed, 0) << i;
    }
    s = UpdatePhoneConnectionState(PhoneConnectionMutex, 1);
    EXPECT_EQ(s.alive, 0);
    EXPECT_EQ(s.changed, 1);
    EXPECT_EQ(SearchesWithoutFix, 0u) << "the count starts again";
    s = UpdatePhoneConnectionState(PhoneConnectionMutex, 1);
    EXPECT_EQ(s.changed, 0);
    s = UpdatePhoneConnectionState(PhoneConnectionMutex, 0);
    EXPECT_EQ(s.alive, 1);
    EXPECT_EQ(s.changed, 1) << "the next location brings it back";
    EXPECT_FALSE(UpdatePhoneConnectionState(NULL, 1).updated);
    CloseHandle(PhoneConnectionMutex);
    PhoneConnectionMutex = NULL;
}

TEST_F(Link, LocationsArriveUntilThePhoneSaysExit) {
    ToggleHandphoneLink();
    EXPECT_EQ(Text(IDC_LINK_STATUS), L"Waiting for connection from handphone.....");
    EXPECT_EQ(Text(IDC_GPS_STATUS), L"Please check handphone GPS");
    peers::FakeHandphone phone;
    ASSERT_TRUE(phone.Connect(kHandphonePort, 5000));
    ASSERT_TRUE(PumpUntil([] { return Text(IDC_LINK_STATUS) == L"Connected to the handphone"; }));

    peers::FakeHandphone second;
    EXPECT_FALSE(second.Connect(kHandphonePort, 300)) << "one handphone at a time";

    ASSERT_TRUE(phone.SendLocation(L"JALAN TUN RAZAK"));
    ASSERT_TRUE(PumpUntil([] { return Text(IDC_LOCATION) == L"JALAN TUN RAZAK"; }));
    EXPECT_EQ(Text(IDC_GPS_STATUS), L"") << "the first location clears the warning";
    ASSERT_TRUE(phone.SendKeepAlive());
    PumpUntil([] { return false; }, 200);
    ASSERT_TRUE(phone.SendLocation(L"PERSIARAN KLCC"));
    ASSERT_TRUE(PumpUntil([] { return Text(IDC_LOCATION) == L"PERSIARAN KLCC"; }));

    ASSERT_TRUE(phone.SendExit());
    ASSERT_TRUE(PumpUntil([] { return HandphoneLinkOn.load() == 0; }));
    EXPECT_EQ(Text(IDC_LINK_STATUS), L"Client Disconnected. [buffer == exit]");
    EXPECT_TRUE(phone.WaitForClose(3000)) << "the program closes its side";
}

// The debounced state over a live link, one event at a time: a location
// message (L), a keep-alive (K) or a plate search (S), and the state after
// it. Keep-alives reach the receiver but never count as a location.
TEST_F(Link, FixStateFollowsLocationsAndSearchesNotKeepAlives) {
    peers::FakeHandphone phone;
    StartAndConnect(phone);
    EXPECT_EQ(GpsFixAlive, 0) << "a started link has no fix yet";
    EXPECT_EQ(Text(IDC_GPS_STATUS), L"Please check handphone GPS");

    struct Step {
        char event;
        int times;          // the event repeated
        LONG alive;         // GpsFixAlive after it
        LONG changed;       // GpsStateChanged after it
        DWORD searches;     // SearchesWithoutFix after it
        const wchar_t *gps; // the GPS warning line, or null: not checked
    } steps[] = {
        {'L', 1, 1, 1, 0, L""},   // the first fix clears the warning
        {'S', 5, 1, 0, 5, NULL},
        {'K', 3, 1, 0, 5, NULL},  // keep-alives leave the count alone
        {'S', 4, 1, 0, 9, NULL},  // nine searches change nothing
        {'K', 1, 1, 0, 9, NULL},
        {'S', 1, 0, 1, 0, NULL},  // the tenth loses the fix; the count starts again
        {'S', 1, 0, 0, 1, NULL},
        {'K', 1, 0, 0, 1, NULL},  // a keep-alive does not bring it back
        {'L', 1, 1, 1, 0, L""},   // the next location does
        {'S', 3, 1, 0, 3, NULL},
        {'L', 1, 1, 0, 0, L""},   // a location with the fix alive: only the count resets
    };
    int location = 0;
    int row = 0;
    for (const Step &s : steps) {
        row++;
        for (int i = 0; i < s.times; i++) {
            if (s.event == 'S') {
                UpdatePhoneConnectionState(PhoneConnectionMutex, 1);
            } else if (s.event == 'K') {
                ASSERT_TRUE(phone.SendKeepAlive());
                PumpUntil([] { return false; }, 150);  // one receive per message
            } else {
                std::wstring place = L"KM " + std::to_wstring(++location);
                ASSERT_TRUE(phone.SendLocation(place));
                ASSERT_TRUE(PumpUntil([&] { return Text(IDC_LOCATION) == place; })) << "row " << row;
            }
        }
        EXPECT_EQ(GpsFixAlive, s.alive) << "row " << row;
        EXPECT_EQ(GpsStateChanged, s.changed) << "row " << row;
        EXPECT_EQ(SearchesWithoutFix, s.searches) << "row " << row;
        if (s.gps != NULL) {
            EXPECT_EQ(Text(IDC_GPS_STATUS), s.gps) << "row " << row;
        }
    }
    EXPECT_EQ(HandphoneLinkOn.load(), 1) << "keep-alives and locations keep the link up";
}

TEST_F(Link, ResetOrCloseByThePhoneEndsTheLinkVisibly) {
    for (bool reset : {true, false}) {
        peers::FakeHandphone phone;
        StartAndConnect(phone);
        ASSERT_TRUE(phone.SendLocation(L"KM 12"));
        ASSERT_TRUE(PumpUntil([] { return Text(IDC_LOCATION) == L"KM 12"; }));
        if (reset) {
            phone.Reset();
        } else {
            phone.Close();
        }
        ASSERT_TRUE(PumpUntil([] { return HandphoneLinkOn.load() == 0; })) << reset;
        EXPECT_TRUE(PumpUntil([] { return Text(IDC_LINK_STATUS) == L"NOT connected to the handphone"; }))
            << reset;
        SetWindowTextW(LocationEdit, L"");
    }
}

TEST_F(Link, GarbageAndLongBurstsNeverBreakTheReceiver) {
    UseEnglish = 0;
    peers::FakeHandphone phone;
    ToggleHandphoneLink();
    EXPECT_EQ(Text(IDC_LINK_STATUS), L"Menunggu connection dari handphone.....");
    ASSERT_TRUE(phone.Connect(kHandphonePort, 5000));
    ASSERT_TRUE(PumpUntil([] { return Text(IDC_LINK_STATUS) == L"Sudah connect dengan handphone"; }));
    ASSERT_TRUE(phone.SendRaw(std::string(1024, 'A')));
    PumpUntil([] { return false; }, 200);  // one receive per message
    ASSERT_TRUE(phone.SendRaw(std::string("abc\0def", 7)));
    PumpUntil([] { return false; }, 200);  // one receive per message
    ASSERT_TRUE(phone.SendRaw(std::string(300, '=') + "%%%"));
    PumpUntil([] { return false; }, 200);  // one receive per message
    ASSERT_TRUE(phone.SendLocation(L"LEBUHRAYA"));
    ASSERT_TRUE(PumpUntil([] { return Text(IDC_LOCATION) == L"LEBUHRAYA"; }));
    EXPECT_EQ(HandphoneLinkOn.load(), 1);
    phone.Close();
    ASSERT_TRUE(PumpUntil([] { return Text(IDC_LINK_STATUS) == L"TIDAK connect dengan handphone"; }));
}

TEST_F(Link, StoppingInAnyStateLeavesNoSocketBehind) {
    // A quick double press: the listener may not even have bound yet.
    ToggleHandphoneLink();
    ToggleHandphoneLink();
    EXPECT_EQ(HandphoneLinkOn.load(), 0);
    EXPECT_EQ(Text(IDC_LINK_STATUS), L"");
    Sleep(300);
    peers::FakeHandphone late;
    EXPECT_FALSE(late.Connect(kHandphonePort, 300)) << "nothing listens after the stop";

    // A stop while the listener waits in accept, then a fresh start.
    ToggleHandphoneLink();
    Sleep(300);
    ToggleHandphoneLink();
    Sleep(300);
    EXPECT_FALSE(late.Connect(kHandphonePort, 300));

    // A stop while connected: blank status, the phone sees the close.
    peers::FakeHandphone phone;
    StartAndConnect(phone);
    ToggleHandphoneLink();
    EXPECT_EQ(HandphoneLinkOn.load(), 0);
    EXPECT_EQ(Text(IDC_GPS_STATUS), L"");
    EXPECT_TRUE(phone.WaitForClose(3000));
    PumpUntil([] { return false; }, 300);
    EXPECT_EQ(Text(IDC_LINK_STATUS), L"") << "a stop by the agent is no lost connection";
}

TEST_F(Link, ShutdownWhileConnectedEndsBothThreads) {
    peers::FakeHandphone phone;
    StartAndConnect(phone);
    ASSERT_TRUE(PumpUntil([] { return ClientThread != NULL; }));
    // TearDown shuts the link down and checks it does not hang.
}

}  // namespace
