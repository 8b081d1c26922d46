#pragma once

#include "ComSupport.h"

#include "CriticalSection.h"
#include "Thread.h"
#include "Waitable.h"

#include <msxml2.h>

#include <atomic>
#include <cstdint>
#include <string>

// Worker thread that fetches one XML document per request (HTTP or "file:")
// and hands the elements named m_tagName to the subclass; results are read
// after m_doneEvent is set. Destruction waits for a worker still running: an
// owner that must not wait lets go of its helper (letGo).
class CHTTPXMLReqHelper : public kelvora_core::CThread {
public:
    explicit CHTTPXMLReqHelper(std::string threadName);
    ~CHTTPXMLReqHelper() override;

    // Ends the owner's use of a helper made with new, without waiting: the
    // worker is told to cancel and end, and frees its helper when it ends (at
    // once when it has ended already).
    static void letGo(CHTTPXMLReqHelper* helper);
    // Waits at most timeoutMs for every worker that was let go to end; true
    // when none runs any more. For the end of the process, whose static
    // objects such a worker may still use.
    static bool letGoWorkersEnded(DWORD timeoutMs);

    void run() override;
    virtual void reset();
    virtual bool succeeded();
    // The last started request has ended (its done event is set).
    bool isDone();

    void startRequest();
    void cancelRequest();

    // Longest wait for the server, measured from just after the send.
    static constexpr uint32_t kServerTimeoutMs = 30000;
    // Longest pause between two looks at the server's ready state.
    static constexpr uint32_t kPollPauseMs = 10;
    // Largest document accepted, in bytes of the local copy it makes (or of
    // the copy read at start); a larger one is corrupt (267, its size as the
    // value), as is an answer whose announced length is larger.
    static constexpr uint64_t kMaxDocumentBytes = 2u << 20;

protected:
    // Called on the worker thread with the elements named m_tagName; owns the
    // list's reference. Ends with ComError when the document is unusable.
    virtual void parseResponse(ComPtr<IXMLDOMNodeList> list) = 0;
    // Cancels and ends the worker thread, waiting at most 2000 ms for it, and
    // then, if it is still running, for as long as it takes: a subclass calls
    // it before it frees anything that parseResponse writes. Runs once.
    void stopWorker();
    // Whether the worker is inside a request (it holds the request mutex).
    bool requestUnderWay();

    std::string m_url;
    std::string m_tagName;

public:
    std::string m_responseText;

protected:
    kelvora_core::CEvent m_startEvent;

public:
    kelvora_core::CManualResetEvent m_doneEvent;

protected:
    kelvora_core::CEvent m_cancelEvent;
    kelvora_core::CMutex m_requestMutex;
    kelvora_core::CCriticalSection m_apiLock;

public:
    int32_t m_status = 0;
    // The last text loaded as a document holding elements named m_tagName.
    bool m_xmlLoaded = false;
    std::atomic<bool> m_busy{false};
    std::string m_errorText;

protected:
    std::atomic<bool> m_stopRequested{false};

private:
    bool requestStop();
    bool signalStop();
    void serveRequests();
    void performRequest();
    void requestFromServer();
    void serverSteps(const std::wstring& url, const std::wstring& tagName);
    void askTheServer(IXMLHTTPRequest* request);
    long waitForServer(IXMLHTTPRequest* request);
    void loadFromFile();
    void fileSteps(const std::string& content, const std::wstring& tagName);
    ComPtr<IXMLDOMNodeList> loadDocument(IXMLDOMDocument* document, BSTR text,
                                         const std::wstring& tagName);
    void setError(int code, uint32_t value);

    // A cancel of the running request timed out: the next cancel of the same
    // request does not wait again. Owner's side only.
    bool m_cancelTimedOut = false;
    // Who frees a helper that was let go: the owner, when the worker ended
    // first; else the worker, when it ends.
    enum Handover { kHeld, kLetGo, kWorkerEnded };
    std::atomic<int> m_handover{kHeld};
};
