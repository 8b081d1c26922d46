#include "HTTPXMLReqHelper.h"

#include "DocumentGuard.h"
#include "MsxmlIds.h"
#include "RequestKeeper.h"
#include "TextConversion.h"
#include "TextFile.h"

#include "DiagEventLog.h"
#include "Sentry.h"
#include "Utilities.h"

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <vector>

using kelvora_core::CSentry;
using kelvora_core::DiagEventLog;
using kelvora_core::Signaled;
using kelvora_core::TimedOut;
using kelvora_core::WaitResult;

namespace {

// Error codes; each is also the string-table entry of its message.
enum RequestErrorCode {
    kNoXmlHttp = 261,
    kOpenFailed = 262,
    kSendFailed = 263,
    kReadyStateFailed = 264,
    kNoDom = 265,
    kReadResponseFailed = 266,
    kCorrupt = 267,
    kBadStatus = 268,
    kIncomplete = 269,
};

// A failure that the request reports with a message.
struct RequestError {
    int code;
    uint32_t value;
};

void raiseOnFailure(HRESULT hr, int code) {
    if (FAILED(hr))
        throw RequestError{code, static_cast<uint32_t>(hr)};
}

constexpr long kReadyStateReceiving = 3;
constexpr long kReadyStateCompleted = 4;
constexpr uint32_t kCancelWaitMs = 5000;
constexpr uint32_t kStopWaitMs = 2000;
constexpr char kFileScheme[] = "file:";
constexpr size_t kFileSchemeLength = 5;
constexpr size_t kFileUrlPrefixLength = 8; // "file:///"

bool acquired(WaitResult result) {
    return result == Signaled || result == kelvora_core::Abandoned;
}

// A response that cannot be converted is one that could not be read: never
// an empty document that would replace the local copy.
std::string responseInAnsi(const Bstr& text) {
    try {
        return wideToAnsi(text.get(), text.length());
    } catch (const TextConversionError& failure) {
        throw RequestError{kReadResponseFailed,
                           static_cast<uint32_t>(HRESULT_FROM_WIN32(failure.error))};
    }
}

// Owns a request from its send on: one that did not complete is handed over
// rather than released (RequestKeeper.h).
class SentRequest {
public:
    explicit SentRequest(ComPtr<IXMLHTTPRequest>& request) : m_request(request) {}
    ~SentRequest() {
        if (!m_completed)
            request_keeper::keepUntilComplete(std::move(m_request));
    }
    SentRequest(const SentRequest&) = delete;
    SentRequest& operator=(const SentRequest&) = delete;
    void completed() { m_completed = true; }

private:
    ComPtr<IXMLHTTPRequest>& m_request;
    bool m_completed = false;
};

void reportInfo(const std::string& text) {
    DiagEventLog::diagEvent(DiagEventLog::InfoEvent, text);
}

// A document above the bound is refused as corrupt, with its size: that of
// the local copy it would make, or the length a server announced.
void refuseOversized(uint64_t size) {
    if (size > CHTTPXMLReqHelper::kMaxDocumentBytes)
        throw RequestError{kCorrupt, static_cast<uint32_t>(std::min<uint64_t>(size, UINT32_MAX))};
}

// The length the answer's headers announce; 0 when they announce none (or
// the object cannot tell yet).
uint64_t announcedLength(IXMLHTTPRequest* request) {
    Bstr name(L"Content-Length");
    Bstr value;
    if (request->getResponseHeader(name.get(), value.put()) != S_OK || !value.get())
        return 0;
    return std::wcstoull(value.get(), nullptr, 10);
}

// Workers whose owner let go of them and that have not ended yet.
std::atomic<int> s_workersLetGo{0};

} // namespace

CHTTPXMLReqHelper::CHTTPXMLReqHelper(std::string threadName) : CThread(threadName.c_str()) {}

CHTTPXMLReqHelper::~CHTTPXMLReqHelper() {
    stopWorker();
}

void CHTTPXMLReqHelper::letGo(CHTTPXMLReqHelper* helper) {
    if (!helper)
        return;
    if (!helper->signalStop()) {
        delete helper;
        return;
    }
    // Whichever of the two comes second frees the helper.
    ++s_workersLetGo;
    if (helper->m_handover.exchange(kLetGo) == kWorkerEnded) {
        --s_workersLetGo;
        delete helper;
    }
}

bool CHTTPXMLReqHelper::letGoWorkersEnded(DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    while (s_workersLetGo > 0 && GetTickCount() - start < timeoutMs)
        Sleep(1);
    return s_workersLetGo == 0;
}

// Tells a resumed worker to give up its request and end; waits for nothing.
// False when no worker runs.
bool CHTTPXMLReqHelper::signalStop() {
    CSentry api(m_apiLock);
    if (!wasResumed())
        return false;
    m_stopRequested = true;
    m_cancelEvent.set();
    m_startEvent.set();
    return true;
}

void CHTTPXMLReqHelper::stopWorker() {
    // A worker that frees its own helper is past its last use of it.
    if (!requestStop() && GetCurrentThreadId() != m_threadId)
        wait(INFINITE);
}

// The stop sequence, run once: cancel, end the loop, wait at most 2000 ms.
// True when there is no worker to wait for.
bool CHTTPXMLReqHelper::requestStop() {
    CSentry api(m_apiLock);
    if (!wasResumed())
        return true;
    if (m_stopRequested)
        return wait(0) != TimedOut;
    cancelRequest();
    m_stopRequested = true;
    m_startEvent.set();
    return wait(kStopWaitMs) != TimedOut;
}

void CHTTPXMLReqHelper::startRequest() {
    CSentry api(m_apiLock);
    reset();
    m_busy = true;
    m_cancelTimedOut = false;
    m_cancelEvent.reset();
    m_startEvent.set();
}

void CHTTPXMLReqHelper::cancelRequest() {
    CSentry api(m_apiLock);
    if (!m_busy || m_cancelTimedOut || wait(0) != TimedOut)
        return;
    bool holdsMutex = acquired(m_requestMutex.wait(0));
    if (!holdsMutex) {
        m_cancelEvent.set();
        holdsMutex = acquired(m_requestMutex.wait(kCancelWaitMs));
    }
    if (wait(0) == TimedOut && m_doneEvent.wait(kCancelWaitMs) == TimedOut)
        m_cancelTimedOut = true;
    if (holdsMutex)
        m_requestMutex.release();
}

void CHTTPXMLReqHelper::reset() {
    CSentry api(m_apiLock);
    cancelRequest();
    m_busy = false;
    m_doneEvent.reset();
    // A request that did not give up goes on writing its results.
    if (requestUnderWay())
        return;
    m_status = 0;
    m_xmlLoaded = false;
    m_errorText.clear();
}

bool CHTTPXMLReqHelper::requestUnderWay() {
    return !CSentry(m_requestMutex, 0).isHeld();
}

bool CHTTPXMLReqHelper::succeeded() {
    return true;
}

bool CHTTPXMLReqHelper::isDone() {
    return m_doneEvent.wait(0) == Signaled;
}

void CHTTPXMLReqHelper::run() {
    serveRequests();
    // An owner that let go while the worker ran left the helper to it.
    if (m_handover.exchange(kWorkerEnded) == kLetGo) {
        delete this;
        --s_workersLetGo;
    }
}

void CHTTPXMLReqHelper::serveRequests() {
    MultithreadedApartment apartment;
    // A start event that cannot be waited on ends the worker instead of spinning.
    while (m_startEvent.wait(INFINITE) == Signaled && !m_stopRequested) {
        performRequest();
        // Done before not busy: an owner that sees m_busy clear finds done set.
        m_doneEvent.set();
        m_busy = false;
    }
}

// Every started request ends here, whatever failed before the request's own
// error handling (an allocation failure, say): the caller sets done.
void CHTTPXMLReqHelper::performRequest() {
    try {
        if (m_url.compare(0, kFileSchemeLength, kFileScheme) == 0)
            loadFromFile();
        else
            requestFromServer();
    } catch (...) {
    }
}

void CHTTPXMLReqHelper::requestFromServer() {
    // Taken without waiting: a cancel that holds it keeps the request from
    // starting, as does a stop that came first.
    const CSentry hold(m_requestMutex, 0);
    if (!hold.isHeld() || m_stopRequested || m_url.empty() || m_tagName.empty())
        return;
    const std::wstring url = ansiToWide(m_url);
    const std::wstring tagName = ansiToWide(m_tagName);
    try {
        serverSteps(url, tagName);
    } catch (const RequestError& error) {
        setError(error.code, error.value);
    } catch (...) {
        // COM errors and the like end the request without a message.
    }
}

void CHTTPXMLReqHelper::serverSteps(const std::wstring& url, const std::wstring& tagName) {
    request_keeper::holdApartment();
    ComPtr<IXMLHTTPRequest> request;
    raiseOnFailure(createInstance(msxml_ids::kXMLHTTPProgId, msxml_ids::kIXMLHTTPRequest,
                                  reinterpret_cast<void**>(request.put())),
                   kNoXmlHttp);
    reportInfo("Opening a connection to the course list server: " + m_url);
    Bstr method(L"GET");
    Bstr address(url);
    raiseOnFailure(request->open(method.get(), address.get(), boolArgument(true), missingArgument(),
                                 missingArgument()),
                   kOpenFailed);
    askTheServer(request.get());
    raiseOnFailure(request->send(missingArgument()), kSendFailed);
    SentRequest sent(request);

    const long readyState = waitForServer(request.get());
    if (readyState != kReadyStateCompleted)
        throw RequestError{kIncomplete, static_cast<uint32_t>(readyState)};
    sent.completed();
    long status = 0;
    if (SUCCEEDED(request->get_status(&status)))
        m_status = status;
    if (m_status != 200)
        throw RequestError{kBadStatus, static_cast<uint32_t>(m_status)};

    ComPtr<IXMLDOMDocument> document;
    raiseOnFailure(createInstance(msxml_ids::kDOMDocument30, msxml_ids::kIXMLDOMDocument,
                                  reinterpret_cast<void**>(document.put())),
                   kNoDom);
    reportInfo("Connection to the course list server succeeded");
    Bstr text;
    raiseOnFailure(request->get_responseText(text.put()), kReadResponseFailed);
    std::string narrowText = responseInAnsi(text);
    // What the next start would refuse is refused now.
    refuseOversized(storedTextBytes(narrowText));
    reportInfo("Response from the course list server:\n[" + narrowText + "]\n");
    m_responseText = std::move(narrowText);
    parseResponse(loadDocument(document.get(), text.get(), tagName));
}

// A past date in If-Modified-Since makes the platform's internet cache ask
// the server instead of answering a GET itself.
void CHTTPXMLReqHelper::askTheServer(IXMLHTTPRequest* request) {
    Bstr header(L"If-Modified-Since");
    Bstr date(L"Sat, 01 Jan 2000 00:00:00 GMT");
    raiseOnFailure(request->setRequestHeader(header.get(), date.get()), kOpenFailed);
}

// Polls the ready state until the request completes, the time-out ends or a cancel arrives,
// waiting on the cancel event between looks (next to no processor time). An answer that
// announces more than the bound is refused as its headers arrive, where the platform has
// them then (docs/PLATFORMS.md, answer headers before the answer has ended).
long CHTTPXMLReqHelper::waitForServer(IXMLHTTPRequest* request) {
    long readyState = 0;
    uint64_t announced = 0;
    const DWORD start = GetTickCount();
    for (;;) {
        if (readyState == kReadyStateCompleted)
            break;
        const DWORD elapsed = GetTickCount() - start;
        if (elapsed >= kServerTimeoutMs)
            break;
        raiseOnFailure(request->get_readyState(&readyState), kReadyStateFailed);
        if (readyState >= kReadyStateReceiving && announced == 0) {
            announced = announcedLength(request);
            refuseOversized(announced);
        }
        const DWORD pause = readyState == kReadyStateCompleted
                                ? 0
                                : std::min<DWORD>(kPollPauseMs, kServerTimeoutMs - elapsed);
        if (m_cancelEvent.wait(pause) == Signaled)
            break;
    }
    return readyState;
}

void CHTTPXMLReqHelper::loadFromFile() {
    // Taken without waiting: a cancel that holds it keeps the request from starting.
    const CSentry hold(m_requestMutex, 0);
    if (!hold.isHeld() || m_url.empty() || m_tagName.empty())
        return;
    // A URL too short to hold "file:///" names no file: as if it could not be opened.
    if (m_url.size() < kFileUrlPrefixLength)
        return;
    std::string content;
    const std::optional<uint64_t> size =
        readTextFile(m_url.substr(kFileUrlPrefixLength), kMaxDocumentBytes, content);
    const std::wstring tagName = ansiToWide(m_tagName);
    try {
        if (size) {
            refuseOversized(*size);
            fileSteps(content, tagName);
        }
    } catch (const RequestError& error) {
        setError(error.code, error.value);
    } catch (...) {
    }
}

void CHTTPXMLReqHelper::fileSteps(const std::string& content, const std::wstring& tagName) {
    request_keeper::holdApartment();
    ComPtr<IXMLDOMDocument> document;
    raiseOnFailure(createInstance(msxml_ids::kDOMDocument30, msxml_ids::kIXMLDOMDocument,
                                  reinterpret_cast<void**>(document.put())),
                   kNoDom);
    const std::wstring wide = ansiToWide(content);
    Bstr text(wide);
    ComPtr<IXMLDOMNodeList> list = loadDocument(document.get(), text.get(), tagName);
    // Loaded, as a server's answer with status 200: a walk that ends early
    // keeps what it found, so that the start lists what Update listed.
    m_status = 200;
    parseResponse(std::move(list));
}

// Loads the text; the elements named tagName. The document counts as loaded
// only once it holds them, from the server as from a file. A text with a
// document type, or nested deeper than the parser is set to read, is refused
// before it is parsed, alike on every platform (DocumentGuard.h).
ComPtr<IXMLDOMNodeList> CHTTPXMLReqHelper::loadDocument(IXMLDOMDocument* document, BSTR text,
                                                        const std::wstring& tagName) {
    const std::wstring_view whole(text, SysStringLen(text));
    if (document_guard::declaresMarkup(whole) || document_guard::nestsTooDeep(whole))
        throw RequestError{kCorrupt, 0};
    raiseOnFailure(document_guard::restrictParsing(document), kNoDom);
    Bstr empty(L"");
    VARIANT_BOOL loaded = VARIANT_FALSE;
    throwIfFailed(document->loadXML(text ? text : empty.get(), &loaded));
    if (loaded != VARIANT_TRUE)
        throw RequestError{kCorrupt, 0};
    Bstr tag(tagName);
    ComPtr<IXMLDOMNodeList> list;
    throwIfFailed(document->getElementsByTagName(tag.get(), list.put()));
    if (!list)
        throw ComError{E_POINTER};
    // A well-formed document without them (a portal's page, say) is no course list.
    long length = 0;
    throwIfFailed(list->get_length(&length));
    if (length == 0)
        throw RequestError{kCorrupt, 0};
    m_xmlLoaded = true;
    return list;
}

void CHTTPXMLReqHelper::setError(int code, uint32_t value) {
    m_errorText = kelvora_core::formatMessage(static_cast<unsigned>(code), value);
}
