#include "LoopbackHttpServer.h"
#include "ChildProcess.h"
#include "TestDocuments.h"

#include <gtest/gtest.h>

#include <ws2tcpip.h>

#include <memory>

using test_documents::Stopwatch;
using test_support::HttpReply;
using test_support::LoopbackHttpServer;

namespace {

// Sends one raw request to the server and reads the answer to its end.
std::string exchange(unsigned short port, const std::string& request) {
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    std::string answer;
    if (connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
        send(s, request.data(), static_cast<int>(request.size()), 0);
        char buffer[4096];
        const Stopwatch watch;
        int received;
        while (watch.elapsed() < 5000 && (received = recv(s, buffer, sizeof buffer, 0)) > 0)
            answer.append(buffer, static_cast<size_t>(received));
    }
    closesocket(s);
    return answer;
}

class LoopbackHttpServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        WSADATA data;
        ASSERT_EQ(0, WSAStartup(MAKEWORD(2, 2), &data));
        ASSERT_TRUE(server.started());
        ASSERT_NE(0, server.port());
    }
    void TearDown() override { WSACleanup(); }

    LoopbackHttpServer server;
};

TEST(RequestPath, OriginAndAbsoluteForms) {
    EXPECT_EQ("/lutegate/lutegate.xml", test_support::requestPath("/lutegate/lutegate.xml"));
    EXPECT_EQ("/lutegate/lutegate.xml",
              test_support::requestPath("http://any.host:80/lutegate/lutegate.xml"));
    EXPECT_EQ("/", test_support::requestPath("http://any.host"));
}

TEST_F(LoopbackHttpServerTest, AnswersOriginFormRequests) {
    server.setReply("/a.xml", HttpReply::answer(200, "<a/>"));
    const std::string answer = exchange(server.port(), "GET /a.xml HTTP/1.1\r\nHost: x\r\n\r\n");
    EXPECT_EQ(0u, answer.find("HTTP/1.1 200 OK\r\n"));
    EXPECT_NE(std::string::npos, answer.find("Content-Length: 4\r\n"));
    EXPECT_EQ("<a/>", answer.substr(answer.size() - 4));
}

TEST_F(LoopbackHttpServerTest, AnswersAbsoluteFormRequestsAsAProxyReceivesThem) {
    server.setReply("/lutegate/lutegate.xml", HttpReply::answer(200, "<applications/>"));
    const std::string answer =
        exchange(server.port(), "GET http://updates.example:80/lutegate/lutegate.xml HTTP/1.1\r\n"
                                "Host: updates.example\r\n\r\n");
    EXPECT_EQ(0u, answer.find("HTTP/1.1 200 OK\r\n"));
    EXPECT_NE(std::string::npos, answer.find("<applications/>"));
    ASSERT_EQ(1u, server.requestCount());
    EXPECT_EQ("GET http://updates.example:80/lutegate/lutegate.xml HTTP/1.1",
              server.requestLines()[0]);
}

TEST_F(LoopbackHttpServerTest, UnknownPathGetsNotFound) {
    const std::string answer = exchange(server.port(), "GET /nothing HTTP/1.1\r\n\r\n");
    EXPECT_EQ(0u, answer.find("HTTP/1.1 404 Not Found\r\n"));
}

TEST_F(LoopbackHttpServerTest, CutAnswerHoldsHalfTheAnnouncedBody) {
    server.setReply("/cut", HttpReply::hangUpMidway("0123456789"));
    const std::string answer = exchange(server.port(), "GET /cut HTTP/1.1\r\n\r\n");
    EXPECT_NE(std::string::npos, answer.find("Content-Length: 10\r\n"));
    EXPECT_EQ("\r\n\r\n01234", answer.substr(answer.size() - 9));
}

TEST_F(LoopbackHttpServerTest, RedirectNamesTheNewLocation) {
    server.setReply("/old", HttpReply::redirect("http://127.0.0.1:1/new"));
    const std::string answer = exchange(server.port(), "GET /old HTTP/1.1\r\n\r\n");
    EXPECT_EQ(0u, answer.find("HTTP/1.1 302 Found\r\n"));
    EXPECT_NE(std::string::npos, answer.find("Location: http://127.0.0.1:1/new\r\n"));
}

TEST_F(LoopbackHttpServerTest, StopsPromptlyWithAHangingConnectionAndLeavesNoHandles) {
    const DWORD before = test_support::handleCount();
    for (int i = 0; i < 3; ++i) {
        auto hanging = std::make_unique<LoopbackHttpServer>();
        hanging->setReply("/hang", HttpReply::hang());
        SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(hanging->port());
        ASSERT_EQ(0, connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address));
        const std::string request = "GET /hang HTTP/1.1\r\n\r\n";
        send(s, request.data(), static_cast<int>(request.size()), 0);
        const Stopwatch wait;
        while (hanging->requestCount() == 0 && wait.elapsed() < 5000)
            Sleep(5);
        const Stopwatch watch;
        hanging.reset();
        EXPECT_LT(watch.elapsed(), 1000u);
        closesocket(s);
    }
    const DWORD after = test_support::handleCount();
    EXPECT_LE(after, before + 2) << "before " << before << ", after " << after;
}

} // namespace
