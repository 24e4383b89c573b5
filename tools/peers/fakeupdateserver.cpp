// The scripted update server.
#include "fakeupdateserver.h"

#include <ws2tcpip.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace peers {

namespace {

bool SameText(const std::string &a, const std::string &b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); i++) {
        if (tolower((unsigned char)a[i]) != tolower((unsigned char)b[i])) return false;
    }
    return true;
}

bool SendAll(SOCKET s, const std::string &data) {
    size_t sent = 0;
    while (sent < data.size()) {
        int n = send(s, data.data() + sent, (int)(data.size() - sent), 0);
        if (n <= 0) return false;
        sent += (size_t)n;
    }
    return true;
}

const char *Reason(int status) {
    switch (status) {
    case 200: return "OK";
    case 404: return "Not Found";
    case 500: return "Internal Server Error";
    case 502: return "Bad Gateway";
    case 503: return "Service Unavailable";
    }
    return "Status";
}

}  // namespace

std::string RecordedRequest::Header(const std::string &name) const {
    for (const std::string &h : headers) {
        size_t colon = h.find(':');
        if (colon == std::string::npos) continue;
        if (SameText(h.substr(0, colon), name)) {
            size_t v = colon + 1;
            while (v < h.size() && h[v] == ' ') v++;
            return h.substr(v);
        }
    }
    return std::string();
}

ScriptedReply ScriptedReply::Json(const std::string &body, int status) {
    ScriptedReply r;
    r.status = status;
    r.body = body;
    return r;
}

ScriptedReply ScriptedReply::Page(const std::string &html, int status) {
    ScriptedReply r;
    r.status = status;
    r.contentType = "text/html";
    r.body = html;
    return r;
}

ScriptedReply ScriptedReply::Of(Kind kind, const std::string &body) {
    ScriptedReply r;
    r.kind = kind;
    r.body = body;
    return r;
}

bool FakeUpdateServer::Start() {
    WSADATA wsa;
    if (WSAStartup(MAKEWORD(2, 2), &wsa) != 0) return false;
    started_ = true;
    listen_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (listen_ == INVALID_SOCKET) return false;
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    if (bind(listen_, (sockaddr *)&address, sizeof address) != 0) return false;
    int length = sizeof address;
    if (getsockname(listen_, (sockaddr *)&address, &length) != 0) return false;
    port_ = ntohs(address.sin_port);
    if (listen(listen_, 8) != 0) return false;
    stopping_ = false;
    thread_ = std::thread([this] { Serve(); });
    return true;
}

void FakeUpdateServer::Stop() {
    stopping_ = true;
    if (listen_ != INVALID_SOCKET) {
        closesocket(listen_);
        listen_ = INVALID_SOCKET;
    }
    if (thread_.joinable()) thread_.join();
    std::lock_guard<std::mutex> guard(lock_);
    for (SOCKET s : held_) closesocket(s);
    held_.clear();
    if (started_) {
        WSACleanup();
        started_ = false;
    }
}

std::string FakeUpdateServer::BaseUrl() const {
    char url[64];
    snprintf(url, sizeof url, "http://127.0.0.1:%d", port_);
    return url;
}

void FakeUpdateServer::Script(const ScriptedReply &reply) {
    std::lock_guard<std::mutex> guard(lock_);
    replies_.push_back(reply);
}

std::vector<RecordedRequest> FakeUpdateServer::Requests() {
    std::lock_guard<std::mutex> guard(lock_);
    return requests_;
}

void FakeUpdateServer::Serve() {
    while (!stopping_) {
        SOCKET client = accept(listen_, NULL, NULL);
        if (client == INVALID_SOCKET) break;
        Handle(client);
    }
}

void FakeUpdateServer::Handle(SOCKET client) {
    // Read the head, then as much body as Content-Length says.
    std::string data;
    char buffer[4096];
    size_t headEnd = std::string::npos;
    while ((headEnd = data.find("\r\n\r\n")) == std::string::npos) {
        int n = recv(client, buffer, sizeof buffer, 0);
        if (n <= 0) {
            closesocket(client);
            return;
        }
        data.append(buffer, (size_t)n);
        if (data.size() > (1u << 20)) break;
    }
    RecordedRequest request;
    std::string head = data.substr(0, headEnd == std::string::npos ? data.size() : headEnd);
    size_t lineEnd = head.find("\r\n");
    std::string first = head.substr(0, lineEnd);
    size_t sp1 = first.find(' ');
    size_t sp2 = first.find(' ', sp1 + 1);
    request.method = first.substr(0, sp1);
    request.path = sp1 == std::string::npos ? std::string() : first.substr(sp1 + 1, sp2 - sp1 - 1);
    size_t at = lineEnd == std::string::npos ? head.size() : lineEnd + 2;
    while (at < head.size()) {
        size_t end = head.find("\r\n", at);
        if (end == std::string::npos) end = head.size();
        request.headers.push_back(head.substr(at, end - at));
        at = end + 2;
    }
    size_t contentLength = (size_t)atol(request.Header("Content-Length").c_str());
    std::string body = headEnd == std::string::npos ? std::string() : data.substr(headEnd + 4);
    while (body.size() < contentLength) {
        int n = recv(client, buffer, sizeof buffer, 0);
        if (n <= 0) break;
        body.append(buffer, (size_t)n);
    }
    request.body = body;

    ScriptedReply reply = ScriptedReply::Page("<html><body>404 Not Found</body></html>", 404);
    {
        std::lock_guard<std::mutex> guard(lock_);
        requests_.push_back(request);
        if (next_ < replies_.size()) reply = replies_[next_++];
    }

    switch (reply.kind) {
    case ScriptedReply::kNoAnswer: {
        std::lock_guard<std::mutex> guard(lock_);
        held_.push_back(client);
        return;
    }
    case ScriptedReply::kReset: {
        linger hard = {1, 0};
        setsockopt(client, SOL_SOCKET, SO_LINGER, (const char *)&hard, sizeof hard);
        closesocket(client);
        return;
    }
    case ScriptedReply::kCutShort:
    case ScriptedReply::kAnswer:
    case ScriptedReply::kTrickle:
        break;
    }
    size_t announced = reply.body.size() + (reply.kind == ScriptedReply::kCutShort ? 4096 : 0);
    char status[256];
    snprintf(status, sizeof status,
             "HTTP/1.1 %d %s\r\nContent-Type: %s\r\nContent-Length: %lu\r\nConnection: close\r\n\r\n",
             reply.status, Reason(reply.status), reply.contentType.c_str(), (unsigned long)announced);
    SendAll(client, status);
    if (reply.kind == ScriptedReply::kTrickle) {
        size_t step = reply.trickleBytes > 0 ? reply.trickleBytes : 1;
        for (size_t at = 0; at < reply.body.size() && !stopping_; at += step) {
            if (!SendAll(client, reply.body.substr(at, step))) break;
            Sleep(reply.trickleMs);
        }
    } else {
        SendAll(client, reply.body);
    }
    shutdown(client, SD_SEND);
    closesocket(client);
}

}  // namespace peers
