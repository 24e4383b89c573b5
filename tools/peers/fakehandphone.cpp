// The fake handphone.
#include "fakehandphone.h"

#include <ws2tcpip.h>

#include "cipher.h"

namespace peers {

FakeHandphone::FakeHandphone() {
    WSADATA wsa;
    started_ = WSAStartup(MAKEWORD(2, 2), &wsa) == 0;
}

FakeHandphone::~FakeHandphone() {
    Close();
    if (started_) WSACleanup();
}

bool FakeHandphone::Connect(int port, DWORD timeoutMs) {
    DWORD start = GetTickCount();
    for (;;) {
        SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        if (s == INVALID_SOCKET) return false;
        sockaddr_in address = {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons((u_short)port);
        if (connect(s, (sockaddr *)&address, sizeof address) == 0) {
            socket_ = s;
            return true;
        }
        closesocket(s);
        if (GetTickCount() - start >= timeoutMs) return false;
        Sleep(50);
    }
}

std::string FakeHandphone::LocationMessage(const std::wstring &location) {
    std::wstring withFiller = L"~#" + location + L"#~";
    char field[kCipherFieldBytes];
    EncodeField(PhoneCipher, withFiller.c_str(), field);
    return field;
}

bool FakeHandphone::SendRaw(const std::string &bytes) {
    if (socket_ == INVALID_SOCKET) return false;
    return send(socket_, bytes.data(), (int)bytes.size(), 0) == (int)bytes.size();
}

bool FakeHandphone::SendLocation(const std::wstring &location) {
    return SendRaw(LocationMessage(location));
}

bool FakeHandphone::SendKeepAlive() { return SendRaw("\r\n"); }

bool FakeHandphone::SendExit() { return SendRaw("exit"); }

void FakeHandphone::Close() {
    if (socket_ != INVALID_SOCKET) {
        shutdown(socket_, SD_SEND);
        closesocket(socket_);
        socket_ = INVALID_SOCKET;
    }
}

void FakeHandphone::Reset() {
    if (socket_ != INVALID_SOCKET) {
        linger hard = {1, 0};
        setsockopt(socket_, SOL_SOCKET, SO_LINGER, (const char *)&hard, sizeof hard);
        closesocket(socket_);
        socket_ = INVALID_SOCKET;
    }
}

bool FakeHandphone::WaitForClose(DWORD timeoutMs) {
    if (socket_ == INVALID_SOCKET) return true;
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(socket_, &readable);
    timeval wait = {(long)(timeoutMs / 1000), (long)((timeoutMs % 1000) * 1000)};
    if (select(0, &readable, NULL, NULL, &wait) <= 0) return false;
    char byte;
    return recv(socket_, &byte, 1, 0) <= 0;
}

}  // namespace peers
