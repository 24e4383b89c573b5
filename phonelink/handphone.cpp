// The handphone link: a TCP listener on port 5566 that accepts one phone
// per press of the GPS button, and a receiver that puts each deciphered
// location into the main window's location field.
#include "phonelink.h"

#include <strsafe.h>
#include <string.h>

#include "cipher.h"
#include "datastore.h"
#include "mainwindow.h"
#include "resource.h"
#include "textutil.h"

std::atomic<LONG> HandphoneLinkOn;
HANDLE PhoneConnectionMutex;
LONG GpsFixAlive;
LONG GpsStateChanged;
DWORD SearchesWithoutFix;
HANDLE ListenThread;
HANDLE ClientThread;

namespace {

enum {
    kReceiveBytes = 1024,    // one receive is one message
    kMessageChars = 255,     // what a message may carry
    kControlWaitMs = 1000,   // a worker never blocks longer on a control
};

// The sockets of the link; read and closed only under SocketLock, so each
// is closed once whoever gets there first.
CRITICAL_SECTION SocketLock;
bool SocketLockReady;
SOCKET ListenSocket = INVALID_SOCKET;
SOCKET ClientSocket = INVALID_SOCKET;
bool SocketsStarted;     // WSAStartup succeeded; undone at shutdown
LONG LinkGeneration;     // grows with every start and stop, under SocketLock

void LockSockets() {
    if (!SocketLockReady) {
        InitializeCriticalSection(&SocketLock);
        SocketLockReady = true;
    }
    EnterCriticalSection(&SocketLock);
}

void UnlockSockets() { LeaveCriticalSection(&SocketLock); }

void CloseSocketOnce(SOCKET *s) {
    if (*s != INVALID_SOCKET) {
        closesocket(*s);
        *s = INVALID_SOCKET;
    }
}

// Sets a control's text from any thread without ever blocking for long.
void SetControlText(int id, const WCHAR *text) {
    HWND control = MainControl(id);
    if (control == NULL) return;
    DWORD_PTR result;
    SendMessageTimeoutW(control, WM_SETTEXT, 0, (LPARAM)text, SMTO_BLOCK,
                        kControlWaitMs, &result);
}

void Repaint(int id) {
    HWND control = MainControl(id);
    if (control != NULL) InvalidateRect(control, NULL, TRUE);
}

void ShowLinkStatus(const WCHAR *english, const WCHAR *malay) {
    SetControlText(IDC_LINK_STATUS, Pick(english, malay));
}

void ShowLinkError(const WCHAR *format, int code) {
    WCHAR text[kMessageChars + 1];
    StringCchPrintfW(text, ARRAYSIZE(text), format, code);
    SetControlText(IDC_LINK_STATUS, text);
}

void ShowGpsWarning() {
    SetControlText(IDC_GPS_STATUS,
                   UseEnglish ? L"Please check handphone GPS" : L"Tolong periksa GPS handphone");
}

// Is the link of this generation still wanted?
bool StillWanted(LONG generation) {
    return HandphoneLinkOn.load() == 1 && LinkGeneration == generation;
}

}  // namespace

bool CreatePhoneConnectionMutex(DWORD *error) {
    PhoneConnectionMutex = CreateMutexW(NULL, FALSE, L"MutexCheckAndroidPhoneSocketConnection");
    if (PhoneConnectionMutex == NULL) {
        if (error) *error = GetLastError();
        return false;
    }
    return true;
}

PhoneConnectionState UpdatePhoneConnectionState(HANDLE mutex, int fromSearch) {
    PhoneConnectionState state = {false, 0, 0};
    if (mutex == NULL) return state;
    DWORD wait = WaitForSingleObject(mutex, 5000);
    if (wait != WAIT_OBJECT_0 && wait != WAIT_ABANDONED) return state;
    if (fromSearch == 1) {
        SearchesWithoutFix += 1;
        if (SearchesWithoutFix > 9) {
            SearchesWithoutFix = 0;
            if (GpsFixAlive == 1) {
                GpsFixAlive = 0;
                GpsStateChanged = 1;
            }
        } else {
            GpsStateChanged = 0;
        }
    } else {
        SearchesWithoutFix = 0;
        if (GpsFixAlive == 0) {
            GpsFixAlive = 1;
            GpsStateChanged = 1;
        }
    }
    state.updated = true;
    state.alive = GpsFixAlive;
    state.changed = GpsStateChanged;
    ReleaseMutex(mutex);
    return state;
}

int ParseHandphoneMessage(const char *bytes, int count, WCHAR *location) {
    int length = 0;
    while (length < count && bytes[length] != 0) length++;
    if (length == 4 && memcmp(bytes, "exit", 4) == 0) return 0;
    if (length >= 2 && bytes[0] == '\r' && bytes[1] == '\n') return 1;
    // Anything but an enciphered field (noise on the line, a stray program
    // on the port) is no location: the last good one stays.
    if (length > kMessageChars || !IsWellFormedField(bytes, (size_t)length)) return 3;
    WCHAR field[kMessageChars + 1];
    int n = length > 0 ? MultiByteToWideChar(CP_ACP, 0, bytes, length, field, kMessageChars) : 0;
    field[n > 0 ? n : 0] = 0;
    DecodeFieldW(PhoneCipher, field, location);
    StripBothEnds(location, 2);
    return 2;
}

void ToggleHandphoneLink(void) {
    if (HandphoneLinkOn.load() == 1) {
        StopHandphoneLink();
    } else {
        LockSockets();
        LinkGeneration++;
        UnlockSockets();
        HandphoneLinkOn.store(1);
        if (PhoneConnectionMutex != NULL &&
            WaitForSingleObject(PhoneConnectionMutex, 5000) != WAIT_TIMEOUT) {
            GpsFixAlive = 0;
            ReleaseMutex(PhoneConnectionMutex);
        }
        ShowLinkStatus(L"Waiting for connection from handphone.....",
                       L"Menunggu connection dari handphone.....");
        ShowGpsWarning();
        // The previous link's listener has ended or is ending on its own; its
        // handle is ours to close.
        if (ListenThread != NULL) {
            WaitForSingleObject(ListenThread, kControlWaitMs);
            CloseHandle(ListenThread);
        }
        ListenThread = CreateThread(NULL, 0, HandphoneListenThread, NULL, 0, NULL);
        if (ListenThread == NULL) {
            ShowLinkError(L"Client Thread Creation error : %d", (int)GetLastError());
        }
    }
    Repaint(IDC_GPS);
    Repaint(IDC_LOCATION);
}

void StopHandphoneLink(void) {
    HandphoneLinkOn.store(0);
    SetControlText(IDC_LINK_STATUS, L"");
    SetControlText(IDC_GPS_STATUS, L"");
    LockSockets();
    LinkGeneration++;
    CloseSocketOnce(&ListenSocket);
    CloseSocketOnce(&ClientSocket);
    UnlockSockets();
}

DWORD WINAPI HandphoneListenThread(LPVOID) {
    LockSockets();
    LONG generation = LinkGeneration;
    if (!SocketsStarted) {
        WSADATA wsa;
        SocketsStarted = WSAStartup(MAKEWORD(2, 0), &wsa) == 0;
    }
    bool started = SocketsStarted;
    UnlockSockets();
    if (!started) {
        SetControlText(IDC_LINK_STATUS, L"Can't Initialize spool! Quitting");
        return 0;
    }

    SOCKET listener = socket(AF_INET, SOCK_STREAM, 0);
    if (listener == INVALID_SOCKET) {
        ShowLinkError(L"Spool creation failed with error: %d", WSAGetLastError());
        return 0;
    }
    sockaddr_in address;
    ZeroMemory(&address, sizeof address);
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    address.sin_port = htons(kHandphonePort);
    if (bind(listener, (sockaddr *)&address, sizeof address) == SOCKET_ERROR) {
        ShowLinkError(L"Bind function failed with error: %d", WSAGetLastError());
        closesocket(listener);
        return 0;
    }
    if (listen(listener, 0) == SOCKET_ERROR) {
        ShowLinkError(L"Listen function failed with error: %d", WSAGetLastError());
        closesocket(listener);
        return 0;
    }
    // Publish the socket only while this link is still wanted: a stop that
    // came meanwhile must not leave a listener behind.
    LockSockets();
    if (!StillWanted(generation)) {
        UnlockSockets();
        closesocket(listener);
        return 0;
    }
    ListenSocket = listener;
    UnlockSockets();

    SOCKET client = accept(listener, NULL, NULL);
    LockSockets();
    CloseSocketOnce(&ListenSocket);  // no further handphone can connect
    if (client == INVALID_SOCKET || !StillWanted(generation)) {
        UnlockSockets();
        if (client != INVALID_SOCKET) closesocket(client);
        return 0;
    }
    ClientSocket = client;
    UnlockSockets();

    ShowLinkStatus(L"Connected to the handphone", L"Sudah connect dengan handphone");
    HANDLE receiver = CreateThread(NULL, 0, HandphoneClientThread, (LPVOID)(UINT_PTR)client, 0, NULL);
    if (receiver == NULL) {
        ShowLinkError(L"Client Thread Creation error: %d", WSAGetLastError());
        LockSockets();
        CloseSocketOnce(&ClientSocket);
        UnlockSockets();
        return 0;
    }
    LockSockets();
    HANDLE old = ClientThread;
    ClientThread = receiver;
    UnlockSockets();
    if (old != NULL) {
        WaitForSingleObject(old, kControlWaitMs);
        CloseHandle(old);
    }
    return 0;
}

DWORD WINAPI HandphoneClientThread(LPVOID param) {
    SOCKET socket = (SOCKET)(UINT_PTR)param;
    char buffer[kReceiveBytes];
    bool closedByPhone = false;
    while (HandphoneLinkOn.load() != 0) {
        ZeroMemory(buffer, sizeof buffer);
        int received = recv(socket, buffer, sizeof buffer, 0);
        if (received == SOCKET_ERROR) {
            LockSockets();
            bool stopped = ClientSocket != socket;
            UnlockSockets();
            if (stopped) {
                // The link was stopped, and the stop closed the socket.
                SetControlText(IDC_LINK_STATUS, L"");
                return 0;
            }
            closedByPhone = true;  // a reset is a close without manners
            break;
        }
        if (received == 0) {
            closedByPhone = true;
            break;
        }
        WCHAR location[kPlainBytes];
        int kind = ParseHandphoneMessage(buffer, received, location);
        if (kind == 0) {
            SetControlText(IDC_LINK_STATUS, L"Client Disconnected. [buffer == exit]");
            break;
        }
        if (kind == 1 || kind == 3) continue;
        PhoneConnectionState state = UpdatePhoneConnectionState(PhoneConnectionMutex, 0);
        if (state.updated && state.changed == 1) {
            Repaint(IDC_LOCATION);
            if (state.alive == 0) {
                ShowGpsWarning();
                SetControlText(IDC_LINK_STATUS, L"");
            } else {
                SetControlText(IDC_GPS_STATUS, L"");
            }
        }
        SetControlText(IDC_LOCATION, location);
    }
    if (closedByPhone) {
        ShowLinkStatus(L"NOT connected to the handphone", L"TIDAK connect dengan handphone");
        Repaint(IDC_LOCATION);
    }
    HandphoneLinkOn.store(0);
    Repaint(IDC_GPS);
    LockSockets();
    if (ClientSocket == socket) CloseSocketOnce(&ClientSocket);
    UnlockSockets();
    return 0;
}

// Waits for a link thread while answering the messages it sends to the
// controls, so neither side can wait for the other forever. Returns true
// when the thread had to be terminated.
static bool WaitForLinkThread(HANDLE thread, DWORD waitMs) {
    if (thread == NULL) return false;
    DWORD start = GetTickCount();
    for (;;) {
        DWORD elapsed = GetTickCount() - start;
        if (elapsed >= waitMs) break;
        DWORD r = MsgWaitForMultipleObjects(1, &thread, FALSE, waitMs - elapsed, QS_SENDMESSAGE);
        if (r != WAIT_OBJECT_0 + 1) break;
        MSG msg;
        PeekMessageW(&msg, NULL, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
    bool stuck = WaitForSingleObject(thread, 0) == WAIT_TIMEOUT;
    if (stuck) TerminateThread(thread, 0);
    CloseHandle(thread);
    return stuck;
}

int ShutDownHandphoneLink(DWORD waitMs) {
    StopHandphoneLink();
    int terminated = WaitForLinkThread(ListenThread, waitMs) ? 1 : 0;
    ListenThread = NULL;
    LockSockets();
    HANDLE receiver = ClientThread;
    ClientThread = NULL;
    UnlockSockets();
    if (WaitForLinkThread(receiver, waitMs)) terminated++;
    LockSockets();
    if (SocketsStarted) {
        WSACleanup();
        SocketsStarted = false;
    }
    UnlockSockets();
    if (PhoneConnectionMutex != NULL) {
        CloseHandle(PhoneConnectionMutex);
        PhoneConnectionMutex = NULL;
    }
    return terminated;
}
