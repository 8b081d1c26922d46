#pragma once

// Winsock 2 before anything that brings in windows.h.
#include <winsock2.h>

#include "Waitable.h"

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace test_support {

// How the server answers one path.
struct HttpReply {
    enum class Kind {
        Answer,       // status line, headers and the whole body
        Hang,         // accepts, reads the request, never answers; ends when the client closes
        Drip,         // the answer in small pieces with pauses between them
        HangUpMidway, // headers announce the whole body; half of it, then close
        Redirect,     // 302 to location
        Announce,     // headers announce announcedLength; the body, then held as Hang
        Flood,        // no length announced; filler as fast as it goes, for floodMs
    };
    Kind kind = Kind::Answer;
    int status = 200;
    std::string body;
    std::string contentType = "text/xml; charset=utf-8";
    std::string location;
    size_t dripChunk = 64;
    DWORD dripPauseMs = 20;
    uint64_t announcedLength = 0;
    DWORD floodMs = 0;

    static HttpReply answer(int status, std::string body,
                            std::string contentType = "text/xml; charset=utf-8");
    static HttpReply hang();
    static HttpReply drip(std::string body, size_t chunk, DWORD pauseMs);
    static HttpReply hangUpMidway(std::string body);
    static HttpReply redirect(std::string location);
    static HttpReply announce(uint64_t length, std::string body);
    static HttpReply flood(DWORD ms);
};

// An HTTP/1.1 server on 127.0.0.1 with a port chosen by the system, serving
// each connection on its own thread. Paths without a reply get 404. Request
// lines may carry the origin form ("/path") or the absolute form that a proxy
// receives ("http://host:80/path"). Everything ends on destruction; every
// wait is bounded even if nobody ends it.
class LoopbackHttpServer {
public:
    LoopbackHttpServer();
    ~LoopbackHttpServer();
    LoopbackHttpServer(const LoopbackHttpServer&) = delete;
    LoopbackHttpServer& operator=(const LoopbackHttpServer&) = delete;

    bool started() const { return m_listener != INVALID_SOCKET; }
    unsigned short port() const { return m_port; }
    // "http://127.0.0.1:<port>" followed by path.
    std::string url(const std::string& path) const;

    void setReply(const std::string& path, HttpReply reply);
    // Each request's head (request line and headers, without the blank
    // line), and its request line alone, in the order they came.
    std::vector<std::string> requestHeads() const;
    std::vector<std::string> requestLines() const;
    size_t requestCount() const;
    // Waits until no connection is being served any more, and joins their
    // threads.
    bool waitUntilIdle(DWORD timeoutMs);
    // Ends every hanging answer (closes its connection) and waits for idle.
    void endHangs();

    // Longest time a hanging answer is held open.
    static constexpr DWORD kMaxHangMs = 120000;

private:
    // A connection's thread, with a small stack: a test may hold hundreds
    // of connections open in a 32-bit process beside the client's threads.
    struct Connection {
        LoopbackHttpServer* server;
        SOCKET client;
        HANDLE thread = nullptr;
        std::atomic<bool> finished{false};
        ~Connection();
    };
    static unsigned __stdcall connectionMain(void* connection);

    void acceptLoop();
    void serve(SOCKET client);
    void answer(SOCKET client, const HttpReply& reply);
    bool pause(DWORD ms);
    void holdUntilPeerCloses(SOCKET client);
    void flood(SOCKET client, const HttpReply& reply);
    void reapFinished(bool all);
    HttpReply replyFor(const std::string& path) const;

    SOCKET m_listener = INVALID_SOCKET;
    unsigned short m_port = 0;
    bool m_winsockStarted = false;
    kelvora_core::CManualResetEvent m_stop;
    kelvora_core::CManualResetEvent m_endHangs;
    mutable std::mutex m_mutex;
    std::map<std::string, HttpReply> m_replies;
    std::vector<std::string> m_requestHeads;
    std::vector<std::unique_ptr<Connection>> m_connections;
    std::thread m_acceptThread;
};

// Path part of a request target in origin or absolute form.
std::string requestPath(const std::string& target);

} // namespace test_support
