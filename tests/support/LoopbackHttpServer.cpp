#include "LoopbackHttpServer.h"

#include <process.h>

#include <ws2tcpip.h>

#include <algorithm>

namespace test_support {

namespace {

constexpr DWORD kSelectSliceMs = 20;
constexpr DWORD kMaxLifetimeMs = 15 * 60 * 1000;
constexpr DWORD kRequestReadMs = 10000;
constexpr DWORD kDrainMs = 1000;
constexpr size_t kMaxRequestHead = 64 * 1024;

// True when the socket has something to read within ms.
bool readable(SOCKET socket, DWORD ms) {
    fd_set set;
    FD_ZERO(&set);
    FD_SET(socket, &set);
    timeval wait{static_cast<long>(ms / 1000), static_cast<long>((ms % 1000) * 1000)};
    return select(0, &set, nullptr, nullptr, &wait) > 0;
}

bool sendAll(SOCKET socket, const char* data, size_t size) {
    while (size > 0) {
        const int chunk = static_cast<int>(std::min<size_t>(size, 1 << 16));
        const int sent = send(socket, data, chunk, 0);
        if (sent <= 0)
            return false;
        data += sent;
        size -= static_cast<size_t>(sent);
    }
    return true;
}

bool sendAll(SOCKET socket, const std::string& text) {
    return sendAll(socket, text.data(), text.size());
}

const char* reasonPhrase(int status) {
    switch (status) {
    case 200:
        return "OK";
    case 302:
        return "Found";
    case 404:
        return "Not Found";
    case 500:
        return "Internal Server Error";
    default:
        return "Status";
    }
}

// Without an announced length the answer ends when the connection does.
std::string head(int status, const std::string& contentType, uint64_t length,
                 const std::string& extra = std::string(), bool announced = true) {
    const std::string lengthLine =
        announced ? "Content-Length: " + std::to_string(length) + "\r\n" : std::string();
    return "HTTP/1.1 " + std::to_string(status) + " " + reasonPhrase(status) +
           "\r\nContent-Type: " + contentType + "\r\n" + lengthLine + extra +
           "Connection: close\r\nCache-Control: no-store\r\n\r\n";
}

// Gives the peer our end of the stream and waits (bounded) for its end.
void closeGracefully(SOCKET socket) {
    shutdown(socket, SD_SEND);
    char sink[1024];
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < kDrainMs && readable(socket, kSelectSliceMs)) {
        if (recv(socket, sink, sizeof sink, 0) <= 0)
            break;
    }
    closesocket(socket);
}

} // namespace

HttpReply HttpReply::answer(int status, std::string body, std::string contentType) {
    HttpReply reply;
    reply.status = status;
    reply.body = std::move(body);
    reply.contentType = std::move(contentType);
    return reply;
}

HttpReply HttpReply::hang() {
    HttpReply reply;
    reply.kind = Kind::Hang;
    return reply;
}

HttpReply HttpReply::drip(std::string body, size_t chunk, DWORD pauseMs) {
    HttpReply reply;
    reply.kind = Kind::Drip;
    reply.body = std::move(body);
    reply.dripChunk = std::max<size_t>(chunk, 1);
    reply.dripPauseMs = pauseMs;
    return reply;
}

HttpReply HttpReply::hangUpMidway(std::string body) {
    HttpReply reply;
    reply.kind = Kind::HangUpMidway;
    reply.body = std::move(body);
    return reply;
}

HttpReply HttpReply::announce(uint64_t length, std::string body) {
    HttpReply reply;
    reply.kind = Kind::Announce;
    reply.announcedLength = length;
    reply.body = std::move(body);
    return reply;
}

HttpReply HttpReply::flood(DWORD ms) {
    HttpReply reply;
    reply.kind = Kind::Flood;
    reply.floodMs = ms;
    return reply;
}

HttpReply HttpReply::redirect(std::string location) {
    HttpReply reply;
    reply.kind = Kind::Redirect;
    reply.status = 302;
    reply.location = std::move(location);
    return reply;
}

std::string requestPath(const std::string& target) {
    const std::string::size_type scheme = target.find("://");
    if (scheme == std::string::npos)
        return target;
    const std::string::size_type path = target.find('/', scheme + 3);
    return path == std::string::npos ? std::string("/") : target.substr(path);
}

LoopbackHttpServer::LoopbackHttpServer() {
    WSADATA data;
    m_winsockStarted = WSAStartup(MAKEWORD(2, 2), &data) == 0;
    if (!m_winsockStarted)
        return;
    m_listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (m_listener == INVALID_SOCKET)
        return;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    int length = sizeof address;
    if (bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(m_listener, SOMAXCONN) != 0 ||
        getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        closesocket(m_listener);
        m_listener = INVALID_SOCKET;
        return;
    }
    m_port = ntohs(address.sin_port);
    m_acceptThread = std::thread([this] { acceptLoop(); });
}

LoopbackHttpServer::~LoopbackHttpServer() {
    m_stop.set();
    if (m_acceptThread.joinable())
        m_acceptThread.join();
    reapFinished(true);
    if (m_listener != INVALID_SOCKET)
        closesocket(m_listener);
    if (m_winsockStarted)
        WSACleanup();
}

std::string LoopbackHttpServer::url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(m_port) + path;
}

void LoopbackHttpServer::setReply(const std::string& path, HttpReply reply) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_replies[path] = std::move(reply);
}

std::vector<std::string> LoopbackHttpServer::requestHeads() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_requestHeads;
}

std::vector<std::string> LoopbackHttpServer::requestLines() const {
    std::vector<std::string> lines = requestHeads();
    for (std::string& head : lines)
        head.erase(std::min(head.find("\r\n"), head.size()));
    return lines;
}

size_t LoopbackHttpServer::requestCount() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_requestHeads.size();
}

bool LoopbackHttpServer::waitUntilIdle(DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            const bool idle = std::all_of(
                m_connections.begin(), m_connections.end(),
                [](const std::unique_ptr<Connection>& c) { return c->finished.load(); });
            if (idle)
                break;
        }
        if (GetTickCount() - start >= timeoutMs)
            return false;
        Sleep(5);
    }
    reapFinished(false);
    return true;
}

void LoopbackHttpServer::endHangs() {
    m_endHangs.set();
    waitUntilIdle(5000);
    m_endHangs.reset();
}

// Joins the connection threads that have ended (all of them when asked).
void LoopbackHttpServer::reapFinished(bool all) {
    std::vector<std::unique_ptr<Connection>> done;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        auto keep = std::stable_partition(
            m_connections.begin(), m_connections.end(),
            [all](const std::unique_ptr<Connection>& c) { return !all && !c->finished; });
        std::move(keep, m_connections.end(), std::back_inserter(done));
        m_connections.erase(keep, m_connections.end());
    }
    done.clear(); // each waits for its thread
}

LoopbackHttpServer::Connection::~Connection() {
    if (!thread)
        return;
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
}

unsigned __stdcall LoopbackHttpServer::connectionMain(void* parameter) {
    auto* connection = static_cast<Connection*>(parameter);
    connection->server->serve(connection->client);
    connection->finished = true;
    return 0;
}

void LoopbackHttpServer::acceptLoop() {
    const DWORD start = GetTickCount();
    while (m_stop.wait(0) != kelvora_core::Signaled && GetTickCount() - start < kMaxLifetimeMs) {
        reapFinished(false);
        if (!readable(m_listener, kSelectSliceMs))
            continue;
        const SOCKET client = accept(m_listener, nullptr, nullptr);
        if (client == INVALID_SOCKET)
            continue;
        auto connection = std::make_unique<Connection>();
        connection->server = this;
        connection->client = client;
        constexpr unsigned kStackBytes = 128 * 1024;
        connection->thread = reinterpret_cast<HANDLE>(
            _beginthreadex(nullptr, kStackBytes, connectionMain, connection.get(),
                           STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr));
        if (!connection->thread) {
            closesocket(client); // no room for another thread: refused
            continue;
        }
        std::lock_guard<std::mutex> lock(m_mutex);
        m_connections.push_back(std::move(connection));
    }
}

// Waits ms unless the server is being stopped; false when it is.
// Holds a connection without answering until the client closes it, the
// server stops or the longest hang ends.
void LoopbackHttpServer::holdUntilPeerCloses(SOCKET client) {
    char sink[1024];
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < kMaxHangMs && pause(0) &&
           m_endHangs.wait(0) != kelvora_core::Signaled) {
        if (readable(client, kSelectSliceMs) && recv(client, sink, sizeof sink, 0) <= 0)
            return;
    }
}

// Filler as fast as the client takes it, until the flood's time is over.
void LoopbackHttpServer::flood(SOCKET client, const HttpReply& reply) {
    const std::string filler(1 << 16, ' ');
    bool going = sendAll(client, head(reply.status, reply.contentType, 0, "", false));
    const DWORD start = GetTickCount();
    while (going && GetTickCount() - start < reply.floodMs && pause(0))
        going = sendAll(client, filler);
}

bool LoopbackHttpServer::pause(DWORD ms) {
    return m_stop.wait(ms) != kelvora_core::Signaled;
}

HttpReply LoopbackHttpServer::replyFor(const std::string& path) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto found = m_replies.find(path);
    if (found != m_replies.end())
        return found->second;
    return HttpReply::answer(404, "not found", "text/plain");
}

void LoopbackHttpServer::serve(SOCKET client) {
    std::string request;
    char buffer[4096];
    const DWORD start = GetTickCount();
    while (request.find("\r\n\r\n") == std::string::npos && request.size() < kMaxRequestHead &&
           GetTickCount() - start < kRequestReadMs && m_stop.wait(0) != kelvora_core::Signaled) {
        if (!readable(client, kSelectSliceMs))
            continue;
        const int received = recv(client, buffer, sizeof buffer, 0);
        if (received <= 0)
            break;
        request.append(buffer, static_cast<size_t>(received));
    }
    const std::string line = request.substr(0, request.find("\r\n"));
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_requestHeads.push_back(request.substr(0, request.find("\r\n\r\n")));
    }
    const std::string::size_type first = line.find(' ');
    const std::string::size_type second = line.find(' ', first + 1);
    if (first == std::string::npos || second == std::string::npos) {
        closesocket(client);
        return;
    }
    answer(client, replyFor(requestPath(line.substr(first + 1, second - first - 1))));
}

void LoopbackHttpServer::answer(SOCKET client, const HttpReply& reply) {
    switch (reply.kind) {
    case HttpReply::Kind::Answer:
        sendAll(client, head(reply.status, reply.contentType, reply.body.size()) + reply.body);
        break;
    case HttpReply::Kind::Hang:
        holdUntilPeerCloses(client);
        break;
    case HttpReply::Kind::Drip: {
        bool going = sendAll(client, head(reply.status, reply.contentType, reply.body.size()));
        for (size_t at = 0; going && at < reply.body.size(); at += reply.dripChunk) {
            const size_t size = std::min(reply.dripChunk, reply.body.size() - at);
            going = pause(reply.dripPauseMs) && sendAll(client, reply.body.data() + at, size);
        }
        break;
    }
    case HttpReply::Kind::HangUpMidway:
        sendAll(client, head(reply.status, reply.contentType, reply.body.size()) +
                            reply.body.substr(0, reply.body.size() / 2));
        closesocket(client);
        return;
    case HttpReply::Kind::Redirect:
        sendAll(client, head(302, "text/plain", 0, "Location: " + reply.location + "\r\n"));
        break;
    case HttpReply::Kind::Announce:
        if (sendAll(client,
                    head(reply.status, reply.contentType, reply.announcedLength) + reply.body))
            holdUntilPeerCloses(client);
        break;
    case HttpReply::Kind::Flood:
        flood(client, reply);
        break;
    }
    if (m_stop.wait(0) == kelvora_core::Signaled)
        closesocket(client);
    else
        closeGracefully(client);
}

} // namespace test_support
