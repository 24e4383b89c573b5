// A scripted stand-in for the update server, for tests: an HTTP/1.1 server
// on 127.0.0.1 at an ephemeral port that records every request and answers
// each with the next scripted reply. Loopback only.
#pragma once

#include <winsock2.h>

#include <windows.h>

#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace peers {

struct RecordedRequest {
    std::string method;                // "POST", "GET"
    std::string path;                  // "/app/zeld/dataUpdate"
    std::vector<std::string> headers;  // "Name: value", as sent
    std::string body;
    // Returns the value of the first header with that name (case-blind),
    // or "" when absent.
    std::string Header(const std::string &name) const;
};

struct ScriptedReply {
    enum Kind {
        kAnswer,    // status, content type and body, then close
        kCutShort,  // a Content-Length larger than the body sent, then close
        kNoAnswer,  // read the request and never answer; the line stays open
        kReset,     // read the request and reset the connection
        kTrickle,   // status and headers, then the body a few bytes at a time
    };
    Kind kind = kAnswer;
    int status = 200;
    std::string contentType = "application/json";
    std::string body;
    size_t trickleBytes = 16;  // kTrickle: bytes per piece ...
    DWORD trickleMs = 200;     // ... and the pause after each

    static ScriptedReply Json(const std::string &body, int status = 200);
    static ScriptedReply Page(const std::string &html, int status);
    static ScriptedReply Of(Kind kind, const std::string &body = std::string());
};

class FakeUpdateServer {
  public:
    FakeUpdateServer() = default;
    ~FakeUpdateServer() { Stop(); }
    FakeUpdateServer(const FakeUpdateServer &) = delete;
    FakeUpdateServer &operator=(const FakeUpdateServer &) = delete;

    // Listens on 127.0.0.1 at a free port. Returns false when it cannot.
    bool Start();
    // Closes every connection and ends the server thread.
    void Stop();
    int port() const { return port_; }
    // "http://127.0.0.1:<port>"
    std::string BaseUrl() const;

    // Queues the reply for the next request; a request with no reply queued
    // gets a 404 page.
    void Script(const ScriptedReply &reply);
    std::vector<RecordedRequest> Requests();

  private:
    void Serve();
    void Handle(SOCKET client);

    SOCKET listen_ = INVALID_SOCKET;
    int port_ = 0;
    bool started_ = false;
    std::thread thread_;
    std::mutex lock_;
    std::vector<ScriptedReply> replies_;
    size_t next_ = 0;
    std::vector<RecordedRequest> requests_;
    std::vector<SOCKET> held_;  // connections of kNoAnswer replies
    volatile bool stopping_ = false;
};

}  // namespace peers
