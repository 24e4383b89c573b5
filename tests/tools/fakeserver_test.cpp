// The scripted update server answers the program's HTTP library as a real
// server would, and fails in the ways the tests need.
#include <gtest/gtest.h>

#include <curl/curl.h>

#include <string>

#include "fakeupdateserver.h"

namespace {

size_t Collect(char *data, size_t size, size_t count, void *out) {
    static_cast<std::string *>(out)->append(data, size * count);
    return size * count;
}

// One transfer; returns the library's code and fills reply.
CURLcode Transfer(const std::string &url, const char *postBody, std::string *reply, long timeoutMs = 5000) {
    CURL *curl = curl_easy_init();
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, Collect);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, reply);
    curl_easy_setopt(curl, CURLOPT_USERAGENT, "libcurl-agent/1.0");
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, timeoutMs);
    curl_slist *headers = NULL;
    if (postBody != NULL) {
        headers = curl_slist_append(headers, "Content-Type: application/json");
        curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
        curl_easy_setopt(curl, CURLOPT_POSTFIELDS, postBody);
    }
    CURLcode rc = curl_easy_perform(curl);
    curl_slist_free_all(headers);
    curl_easy_cleanup(curl);
    return rc;
}

class FakeServer : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(curl_global_init(CURL_GLOBAL_ALL), CURLE_OK);
        ASSERT_TRUE(server_.Start());
    }
    void TearDown() override {
        server_.Stop();
        curl_global_cleanup();
    }
    peers::FakeUpdateServer server_;
};

TEST_F(FakeServer, RecordsRequestsAndAnswersInTurn) {
    server_.Script(peers::ScriptedReply::Json("{\"ReplyType\":\"Challenge\"}"));
    server_.Script(peers::ScriptedReply::Page("<html>Bad Gateway</html>", 502));
    std::string one, two, three;
    EXPECT_EQ(Transfer(server_.BaseUrl() + "/app/zeld/dataUpdate", "{\"HardwareID\":\"X\"}", &one), CURLE_OK);
    EXPECT_EQ(one, "{\"ReplyType\":\"Challenge\"}");
    EXPECT_EQ(Transfer(server_.BaseUrl() + "/app2/zeld/dataUpdate/a/b", NULL, &two), CURLE_OK);
    EXPECT_EQ(two, "<html>Bad Gateway</html>");
    EXPECT_EQ(Transfer(server_.BaseUrl() + "/other", NULL, &three), CURLE_OK);
    EXPECT_NE(three.find("404"), std::string::npos) << "unscripted requests get a 404 page";

    auto requests = server_.Requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[0].method, "POST");
    EXPECT_EQ(requests[0].path, "/app/zeld/dataUpdate");
    EXPECT_EQ(requests[0].Header("content-type"), "application/json");
    EXPECT_EQ(requests[0].Header("User-Agent"), "libcurl-agent/1.0");
    EXPECT_EQ(requests[0].body, "{\"HardwareID\":\"X\"}");
    EXPECT_EQ(requests[1].method, "GET");
    EXPECT_EQ(requests[1].path, "/app2/zeld/dataUpdate/a/b");
    EXPECT_EQ(requests[1].body, "");
}

TEST_F(FakeServer, BrokenAnswers) {
    server_.Script(peers::ScriptedReply::Of(peers::ScriptedReply::kCutShort, "{\"ReplyType\":"));
    server_.Script(peers::ScriptedReply::Of(peers::ScriptedReply::kReset));
    server_.Script(peers::ScriptedReply::Of(peers::ScriptedReply::kNoAnswer));
    std::string reply;
    EXPECT_EQ(Transfer(server_.BaseUrl() + "/cut", NULL, &reply), CURLE_PARTIAL_FILE);
    reply.clear();
    EXPECT_NE(Transfer(server_.BaseUrl() + "/reset", NULL, &reply), CURLE_OK);
    reply.clear();
    EXPECT_EQ(Transfer(server_.BaseUrl() + "/silent", NULL, &reply, 500), CURLE_OPERATION_TIMEDOUT);
    EXPECT_EQ(server_.Requests().size(), 3u);
}

TEST(HttpLibrary, BuiltWithTheProtocolsTheProgramNeeds) {
    curl_version_info_data *info = curl_version_info(CURLVERSION_NOW);
    ASSERT_NE(info, nullptr);
    std::string protocols;
    for (const char *const *p = info->protocols; *p; p++) protocols += std::string(*p) + " ";
    EXPECT_EQ(protocols, "http https ");
    EXPECT_TRUE(info->features & CURL_VERSION_SSL);
    EXPECT_TRUE(info->features & CURL_VERSION_LIBZ);
    EXPECT_NE(std::string(info->ssl_version).find("Schannel"), std::string::npos) << info->ssl_version;
}

}  // namespace
