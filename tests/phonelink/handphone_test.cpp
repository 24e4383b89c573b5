// The handphone link against the stand-in phone, on real controls with the
// main window's ids in a window of this test.
#include <winsock2.h>

#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>
#include <iphlpapi.h>

#include <functional>
#include <string>
#include <vector>

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

// True while a socket of this machine listens on TCP port (any address).
bool Listening(int port) {
    std::vector<unsigned char> buffer(sizeof(MIB_TCPTABLE));
    ULONG size = (ULONG)buffer.size();
    DWORD rc;
    while ((rc = GetTcpTable((MIB_TCPTABLE *)buffer.data(), &size, FALSE)) == ERROR_INSUFFICIENT_BUFFER)
        buffer.resize(size);
    if (rc != NO_ERROR) return false;
    const MIB_TCPTABLE *table = (const MIB_TCPTABLE *)buffer.data();
    for (DWORD i = 0; i < table->dwNumEntries; i++) {
        const MIB_TCPROW &row = table->table[i];
        if (row.dwState == MIB_TCP_STATE_LISTEN && ntohs((u_short)row.dwLocalPort) == port) return true;
    }
    return false;
}

// Waits, dispatching messages meanwhile, until the listener of the last
// start has ended.
void WaitForListenerEnd() {
    PumpUntil([] { return ListenThread == NULL || WaitForSingleObject(ListenThread, 0) == WAIT_OBJECT_0; });
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

    // What is no field of the phone's cipher is dropped, the location left
    // as it was.
    std::string longField = peers::FakeHandphone::LocationMessage(std::wstring(200, L'K'));
    struct Dropped {
        const char *name;
        std::string bytes;
    } dropped[] = {
        {"exit and more", "exit\r\n"},
        {"not Base64", "JALAN AMPANG"},
        {"a foreign character", field.substr(0, field.size() - 1) + "!"},
        {"not whole blocks", "QUJD"},
        {"padding inside", "QQ==QUJDREVGR0g="},
        {"cut short", field.substr(0, field.size() - 4)},
        {"longer than a message", longField},
        {"a burst with no zero byte", std::string(1024, 'Q')},
        {"empty", std::string(1, '\0')},
    };
    for (const Dropped &d : dropped) {
        wcscpy_s(location, L"KEPT");
        EXPECT_EQ(ParseHandphoneMessage(d.bytes.data(), (int)d.bytes.size(), location), 3) << d.name;
        EXPECT_STREQ(location, L"KEPT") << d.name;
    }
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
    WaitForListenerEnd();
    peers::FakeHandphone late;
    EXPECT_FALSE(late.Connect(kHandphonePort, 300)) << "nothing listens after the stop";

    // A stop while the listener waits in accept, then a fresh start.
    ToggleHandphoneLink();
    PumpUntil([] { return Listening(kHandphonePort); });
    ToggleHandphoneLink();
    WaitForListenerEnd();
    EXPECT_FALSE(late.Connect(kHandphonePort, 300));

    // A stop while connected: blank status, the receiver's wait wakes and it
    // ends by itself, the phone sees the close.
    peers::FakeHandphone phone;
    StartAndConnect(phone);
    ASSERT_TRUE(PumpUntil([] { return ClientThread != NULL; }));
    HANDLE receiver = ClientThread;
    ToggleHandphoneLink();
    EXPECT_TRUE(PumpUntil([receiver] { return WaitForSingleObject(receiver, 0) == WAIT_OBJECT_0; }, 3000))
        << "the receiver ended";
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
    DWORD start = GetTickCount();
    EXPECT_EQ(ShutDownHandphoneLink(5000), 0) << "the receiver's wait woke and both threads ended by themselves";
    EXPECT_LT(GetTickCount() - start, 2000u);
    EXPECT_TRUE(phone.WaitForClose(3000));
}

// Records every text set on a control, into the vector given as data.
LRESULT CALLBACK RecordTexts(HWND control, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR data) {
    if (msg == WM_SETTEXT) {
        reinterpret_cast<std::vector<std::wstring> *>(data)->push_back(reinterpret_cast<const WCHAR *>(lParam));
    }
    return DefSubclassProc(control, msg, wParam, lParam);
}

// A stream of noise (a stray program on the port, a line gone bad) changes
// no location: the field keeps the last good one, so the next search logs
// it, and the link stays up for the locations that follow.
TEST_F(Link, GarbageNeverBecomesALocation) {
    std::vector<std::wstring> shown;
    ASSERT_TRUE(SetWindowSubclass(LocationEdit, RecordTexts, 1, (DWORD_PTR)&shown));
    peers::FakeHandphone phone;
    StartAndConnect(phone);
    ASSERT_TRUE(phone.SendLocation(L"JALAN TUN RAZAK"));
    ASSERT_TRUE(PumpUntil([] { return Text(IDC_LOCATION) == L"JALAN TUN RAZAK"; }));

    std::string noise;
    unsigned seed = 12;
    for (int i = 0; i < 100 * 1024; i++) {
        seed = seed * 1103515245u + 12345u;
        noise += (char)(1 + (seed >> 16) % 255);
    }
    ASSERT_TRUE(phone.SendRaw(noise));
    ASSERT_TRUE(phone.SendRaw(std::string(4096, 'A')));  // Base64 letters, but far too long
    PumpUntil([] { return false; }, 500);                // every receive of the burst is read
    EXPECT_EQ(Text(IDC_LOCATION), L"JALAN TUN RAZAK");
    EXPECT_EQ(HandphoneLinkOn.load(), 1) << "the link stays up";

    // The next location arrives on its own receive, once the burst is read.
    bool arrived = false;
    for (int i = 0; i < 5 && !arrived; i++) {
        ASSERT_TRUE(phone.SendLocation(L"PERSIARAN KLCC"));
        arrived = PumpUntil([] { return Text(IDC_LOCATION) == L"PERSIARAN KLCC"; }, 1000);
    }
    EXPECT_TRUE(arrived);
    RemoveWindowSubclass(LocationEdit, RecordTexts, 1);
    std::vector<std::wstring> expected = {L"JALAN TUN RAZAK", L"PERSIARAN KLCC"};
    ASSERT_GE(shown.size(), 2u);
    EXPECT_EQ(shown.front(), expected.front());
    for (const std::wstring &text : shown) {
        EXPECT_TRUE(text == expected[0] || text == expected[1]) << "shown: " << testing::PrintToString(text);
    }
}

}  // namespace
