// What the platform keeps of Update-and-Cancel cycles, without the dialog and
// the course list helper: each cycle starts a thread of the multithreaded
// apartment that sends one request, made as the tool makes it, to a server
// that does not answer, and gives it up at once to the tool's request keeper
// (RequestKeeper.h); nothing waits for the thread, as Cancel waits for no
// worker.
// The server lets its connections go every 50 cycles, as the cycle case's
// does. With "answered", each request is answered 200 with a 20-entry list
// instead and read to its end, one after the other, as the worker reads it.
// After a warm-up of 100 cycles and once the process has settled, it prints
// the growth of handles and private bytes, and how many threads ran at most.
//   cancel_probe.exe [cycles [pause-ms [answered]]]
//   (500 cycles, 20 ms apart, about the pace of the cycle case)
// Winsock 2 before anything that brings in windows.h.
#include "LoopbackHttpServer.h"

#include "ChildProcess.h"
#include "ComSupport.h"
#include "HTTPXMLReqHelper.h"
#include "MsxmlIds.h"
#include "RequestKeeper.h"
#include "ReliabilitySupport.h"
#include "TestDocuments.h"

#include <tlhelp32.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <thread>

namespace {

constexpr int kHeldAtMost = 50;
constexpr int kWarmUpCycles = 2 * kHeldAtMost;

std::atomic<int> s_peakThreads{0};
std::atomic<int> s_running{0};
bool s_answered = false;

int threadsNow() {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    int count = 0;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
        count += entry.th32OwnerProcessID == GetCurrentProcessId();
    CloseHandle(snapshot);
    return count;
}

// One request, sent and given up after its first look at the ready state;
// when answered, polled to its end and its text read instead.
void sendAndGiveUp(const std::wstring& url) {
    struct Running {
        ~Running() { --s_running; }
    } running;
    const MultithreadedApartment apartment;
    request_keeper::holdApartment();
    ComPtr<IXMLHTTPRequest> request;
    if (FAILED(createInstance(msxml_ids::kXMLHTTPProgId, msxml_ids::kIXMLHTTPRequest,
                              reinterpret_cast<void**>(request.put()))))
        return;
    Bstr method(L"GET");
    Bstr address(url);
    Bstr header(L"If-Modified-Since");
    Bstr date(L"Sat, 01 Jan 2000 00:00:00 GMT");
    long state = 0;
    if (FAILED(request->open(method.get(), address.get(), boolArgument(true), missingArgument(),
                             missingArgument())) ||
        FAILED(request->setRequestHeader(header.get(), date.get())) ||
        FAILED(request->send(missingArgument())) || FAILED(request->get_readyState(&state)))
        return;
    constexpr uint32_t kLooks =
        CHTTPXMLReqHelper::kServerTimeoutMs / CHTTPXMLReqHelper::kPollPauseMs;
    for (uint32_t i = 0; s_answered && state != 4 && i < kLooks; ++i) {
        Sleep(CHTTPXMLReqHelper::kPollPauseMs);
        if (FAILED(request->get_readyState(&state)))
            return;
    }
    if (s_answered) {
        Bstr text;
        long status = 0;
        if (state != 4 || FAILED(request->get_status(&status)) || status != 200 ||
            FAILED(request->get_responseText(text.put())) || text.length() == 0)
            std::printf("a request was not answered: ready state %ld, status %ld\n", state, status);
        if (state == 4)
            return;
    }
    request_keeper::keepUntilComplete(std::move(request));
}

struct Usage {
    DWORD handles;
    size_t privateBytes;
};

Usage settled(test_support::LoopbackHttpServer& server) {
    while (s_running > 0)
        Sleep(10);
    server.endHangs();
    server.waitUntilIdle(10000);
    Sleep(6000);
    return {test_support::handleCount(), reliability::privateBytes()};
}

} // namespace

int main(int argc, char** argv) {
    const int cycles = argc > 1 ? std::atoi(argv[1]) : 500;
    const DWORD pauseMs = argc > 2 ? static_cast<DWORD>(std::atoi(argv[2])) : 20;
    s_answered = argc > 3 && std::string(argv[3]) == "answered";
    test_support::LoopbackHttpServer server;
    server.setReply(
        "/list", s_answered ? test_support::HttpReply::answer(200, test_documents::manyEntries(20))
                            : test_support::HttpReply::hang());
    const std::string url = server.url("/list");
    const std::wstring wideUrl(url.begin(), url.end());
    std::atomic<bool> sampling{true};
    std::thread sampler([&] {
        while (sampling) {
            s_peakThreads = std::max(s_peakThreads.load(), threadsNow());
            Sleep(20);
        }
    });
    Usage before{};
    for (int i = 0; i < kWarmUpCycles + cycles; ++i) {
        if (i % kHeldAtMost == 0)
            server.endHangs();
        if (i == kWarmUpCycles) {
            before = settled(server);
            s_peakThreads = 0;
        }
        ++s_running;
        std::thread worker(sendAndGiveUp, wideUrl);
        s_answered ? worker.join() : worker.detach();
        Sleep(pauseMs);
    }
    const Usage after = settled(server);
    sampling = false;
    sampler.join();
    std::printf("after %d cycles: handles %lu -> %lu, private bytes %zu -> %zu (%+ld KB), "
                "at most %d threads\n",
                cycles, before.handles, after.handles, before.privateBytes, after.privateBytes,
                static_cast<long>(after.privateBytes - before.privateBytes) / 1024,
                s_peakThreads.load());
    std::fflush(stdout);
    // The keeper may still hold requests the platform calls into.
    ExitProcess(0);
}
