// The handphone link and the online data update: their shared state and
// entry points. Each global is defined once, in the .cpp named beside it.
#pragma once

#include <winsock2.h>

#include <windows.h>

#include <atomic>

// handphone.cpp
enum { kHandphonePort = 5566 };

extern std::atomic<LONG> HandphoneLinkOn;  // 1 while the link listens or is connected
extern HANDLE PhoneConnectionMutex;        // "MutexCheckAndroidPhoneSocketConnection"
extern LONG GpsFixAlive;                   // 1 while locations arrive; under the mutex
extern LONG GpsStateChanged;               // 1 when GpsFixAlive changed last update; under the mutex
extern DWORD SearchesWithoutFix;           // plate searches since the last location; under the mutex
extern HANDLE ListenThread;                // the listener, owned by the user-interface thread
extern HANDLE ClientThread;                // the receiver, owned by the user-interface thread

// What a caller of UpdatePhoneConnectionState may act on: the state as it
// stood when the mutex was released.
struct PhoneConnectionState {
    bool updated;  // false when the mutex could not be had in time
    LONG alive;    // GpsFixAlive
    LONG changed;  // GpsStateChanged
};

// Creates the named mutex of the link. Returns false, with the system's
// error in *error, when it cannot be created.
bool CreatePhoneConnectionMutex(DWORD *error);

// The GPS button: starts the link when it is off, stops it when it is on.
void ToggleHandphoneLink(void);

// Stops the link: the flag goes off, both status lines go blank, and the
// listening and the accepted socket are closed (each exactly once), so
// that a pending accept or receive fails and its thread ends by itself.
// The caller repaints the GPS button and the location field.
void StopHandphoneLink(void);

// Stops the link and waits for both link threads to end (at most
// waitMs each, dispatching the messages they send meanwhile); a thread
// still running then is terminated. Closes the thread handles and the
// mutex and ends the socket library. For the main window's destruction.
// Returns how many threads had to be terminated.
int ShutDownHandphoneLink(DWORD waitMs);

// One more plate search without a location (fromSearch 1) or a location
// received (fromSearch 0). Waits at most 5000 ms for the mutex; returns the
// state as it stood under the mutex.
PhoneConnectionState UpdatePhoneConnectionState(HANDLE mutex, int fromSearch);

// Thread procedures of the link.
DWORD WINAPI HandphoneListenThread(LPVOID unused);
DWORD WINAPI HandphoneClientThread(LPVOID socket);

// Turns one received message (bytes, count) into the location it carries.
// Returns 0 for "exit", 1 for a keep-alive, 2 for a location (written into
// location, kPlainBytes characters), 3 for a message that is no field of
// the phone's cipher (not Base64, not whole blocks, longer than a message
// may be), which is dropped. Reads nothing past count or past the first
// zero byte.
int ParseHandphoneMessage(const char *bytes, int count, WCHAR *location);
