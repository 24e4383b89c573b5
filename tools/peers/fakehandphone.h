// A stand-in for the agent's handphone, for tests: it connects to the
// program's link on 127.0.0.1 and sends what a phone sends (enciphered
// locations with their filler, keep-alives, "exit") and what a broken one
// might (garbage, long bursts, a reset). Loopback only.
#pragma once

#include <winsock2.h>

#include <windows.h>

#include <string>

namespace peers {

class FakeHandphone {
  public:
    FakeHandphone();
    ~FakeHandphone();
    FakeHandphone(const FakeHandphone &) = delete;
    FakeHandphone &operator=(const FakeHandphone &) = delete;

    // Connects to 127.0.0.1:port, retrying until timeoutMs has passed.
    bool Connect(int port, DWORD timeoutMs);
    bool connected() const { return socket_ != INVALID_SOCKET; }

    // The wire form of a location: EncodeField(PhoneCipher) of the text
    // with two filler characters at each end.
    static std::string LocationMessage(const std::wstring &location);

    bool SendLocation(const std::wstring &location);
    bool SendKeepAlive();                       // "\r\n"
    bool SendExit();                            // "exit"
    bool SendRaw(const std::string &bytes);     // exactly these bytes, one send
    // Closes the connection in order (FIN).
    void Close();
    // Resets the connection (RST): SO_LINGER with a zero time-out, then close.
    void Reset();
    // Waits up to timeoutMs for the program to close its side; true when the
    // connection ended (orderly or by reset).
    bool WaitForClose(DWORD timeoutMs);

  private:
    SOCKET socket_ = INVALID_SOCKET;
    bool started_ = false;
};

}  // namespace peers
