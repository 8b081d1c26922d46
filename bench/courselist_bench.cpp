// Course list retrieval figures, each beside a baseline measured in the same
// run:
//  - startRequest to done for the largest document accepted (about 21,000
//    entries) on loopback, against
//    loading the same text into a DOM document alone (the floor);
//  - processor time the worker uses while a request hangs for 5 s, against
//    the 5 s of one core and against the same wait polled without a pause.
// Winsock 2 before anything that brings in windows.h.
#include "LoopbackHttpServer.h"
#include "BenchSupport.h"
#include "AppNamesHelper.h"
#include "LargestDocument.h"
#include "MsxmlIds.h"
#include "RequestKeeper.h"
#include "TestDocuments.h"
#include "TextConversion.h"

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace test_documents;
using bench::median;
using bench::nowMs;
using bench::processCpuMs;
using test_support::HttpReply;
using test_support::LoopbackHttpServer;

namespace {

constexpr size_t kEntries = bench::kLargestEntries;
constexpr int kRuns = 5;
constexpr DWORD kHangMs = 5000;

// startRequest to done, in ms; negative when the request failed.
double timeRequest(const std::string& url) {
    CAppNamesHelper helper(url);
    const double start = nowMs();
    helper.startRequest();
    if (!waitForDone(helper, 120000))
        return -1;
    const double elapsed = nowMs() - start;
    return helper.succeeded() && helper.m_appNames.size() == kEntries ? elapsed : -1;
}

// The same text (as UTF-16, as the worker gets it) into a DOM document alone.
double timeDomLoad(const std::wstring& text) {
    ComPtr<IXMLDOMDocument> document;
    if (FAILED(createInstance(msxml_ids::kDOMDocument30, msxml_ids::kIXMLDOMDocument,
                              reinterpret_cast<void**>(document.put()))))
        return -1;
    Bstr bstr(text);
    VARIANT_BOOL loaded = VARIANT_FALSE;
    const double start = nowMs();
    const HRESULT hr = document->loadXML(bstr.get(), &loaded);
    const double elapsed = nowMs() - start;
    return SUCCEEDED(hr) && loaded == VARIANT_TRUE ? elapsed : -1;
}

int benchRequest(LoopbackHttpServer& server) {
    const std::string document = bench::largestDocument();
    server.setReply("/many.xml", HttpReply::answer(200, document));
    const std::wstring wide = ansiToWide(document);
    std::vector<double> requests, floors;
    for (int run = 0; run < kRuns; ++run) {
        requests.push_back(timeRequest(server.url("/many.xml")));
        floors.push_back(timeDomLoad(wide));
    }
    if (*std::min_element(requests.begin(), requests.end()) < 0 ||
        *std::min_element(floors.begin(), floors.end()) < 0) {
        std::printf("course list request: FAILED\n");
        return 1;
    }
    const double request = median(requests), floor = median(floors);
    std::printf("course list request, %u entries (%.1f MB), median of %d runs:\n",
                static_cast<unsigned>(kEntries), document.size() / 1e6, kRuns);
    std::printf("  startRequest to done  %8.0f ms\n", request);
    std::printf("  DOM load alone        %8.0f ms  (floor)\n", floor);
    std::printf("  ratio                 %8.2f\n", request / floor);
    return 0;
}

// The same wait done as an unpaused poll of the ready state and the cancel
// event, on this thread, for ms: the processor time it burns.
double unpausedPollCpuMs(const std::string& url, DWORD ms) {
    ComPtr<IXMLHTTPRequest> request;
    if (FAILED(createInstance(msxml_ids::kXMLHTTPProgId, msxml_ids::kIXMLHTTPRequest,
                              reinterpret_cast<void**>(request.put()))))
        return -1;
    const std::wstring wide = ansiToWide(url);
    Bstr method(L"GET");
    Bstr address(wide);
    if (FAILED(request->open(method.get(), address.get(), boolArgument(true), missingArgument(),
                             missingArgument())) ||
        FAILED(request->send(missingArgument())))
        return -1;
    kelvora_core::CEvent cancel;
    const double before = threadCpuMs(GetCurrentThread());
    const DWORD start = GetTickCount();
    long readyState = 0;
    while (readyState != 4 && GetTickCount() - start < ms) {
        request->get_readyState(&readyState);
        if (cancel.wait(0) == kelvora_core::Signaled)
            break;
    }
    const double used = threadCpuMs(GetCurrentThread()) - before;
    // Still waiting for the server: released only once it has completed.
    request_keeper::keepUntilComplete(std::move(request));
    return used;
}

int benchHang(LoopbackHttpServer& server) {
    server.setReply("/hang.xml", HttpReply::hang());
    CAppNamesHelper helper(server.url("/hang.xml"));
    helper.startRequest();
    Sleep(200); // the request is sent and the worker waits for the server
    const double threadBefore = threadCpuMs(helper.getHandle());
    const double processBefore = processCpuMs();
    const double start = nowMs();
    Sleep(kHangMs);
    const double wall = nowMs() - start;
    const double thread = threadCpuMs(helper.getHandle()) - threadBefore;
    const double process = processCpuMs() - processBefore;
    const bool stillWaiting = !waitForDone(helper, 0);
    helper.cancelRequest();
    std::printf("worker waiting %.0f ms for a server that does not answer%s:\n", wall,
                stillWaiting ? "" : " (ENDED EARLY)");
    std::printf("  worker thread processor time  %6.1f ms  = %5.2f%% of one core (goal < 2%%)\n",
                thread, 100.0 * thread / wall);
    std::printf("  whole process processor time  %6.1f ms  = %5.2f%% of one core\n", process,
                100.0 * process / wall);
    const DWORD pollMs = 1000;
    const double poll = unpausedPollCpuMs(server.url("/hang.xml"), pollMs);
    std::printf("  baseline: the same wait polled without a pause, %lu ms: %6.1f ms = %5.1f%% "
                "of one core\n",
                pollMs, poll, 100.0 * poll / pollMs);
    std::printf("  ratio paused / unpaused        %6.3f\n", (thread / wall) / (poll / pollMs));
    return stillWaiting ? 0 : 1;
}

} // namespace

int main() {
    const MultithreadedApartment apartment;
    LoopbackHttpServer server;
    if (!server.started()) {
        std::printf("loopback server did not start\n");
        return 1;
    }
    const int failures = benchRequest(server) + benchHang(server);
    return failures == 0 ? 0 : 1;
}
