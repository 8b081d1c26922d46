#pragma once

#include "ComSupport.h"

#include "CriticalSection.h"
#include "Thread.h"
#include "Waitable.h"

#include <msxml2.h>

#include <atomic>
#include <cstdint>
#include <string>

// Worker thread that fetches one XML document per request, from an HTTP
// server or from a "file:" URL, and hands the elements named m_tagName to
// the subclass. The owner starts, polls, cancels and destroys it from its
// own thread; results are read only after m_doneEvent is set.
class CHTTPXMLReqHelper : public kelvora_core::CThread {
public:
    explicit CHTTPXMLReqHelper(std::string threadName);
    ~CHTTPXMLReqHelper() override;

    void run() override;
    virtual void reset();
    virtual bool succeeded();

    void startRequest();
    void cancelRequest();

    // Longest wait for the server, measured from just after the send.
    static constexpr uint32_t kServerTimeoutMs = 30000;
    // Longest pause between two looks at the server's ready state.
    static constexpr uint32_t kPollPauseMs = 10;

protected:
    // Called on the worker thread with the elements named m_tagName; owns the
    // list's reference. Ends with ComError when the document is unusable.
    virtual void parseResponse(ComPtr<IXMLDOMNodeList> list) = 0;
    // Cancels and ends the worker thread, waiting at most 2000 ms. A subclass
    // calls it before it frees anything that parseResponse writes.
    void stopWorker();

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
    bool m_xmlLoaded = false;
    std::atomic<bool> m_busy{false};
    std::string m_errorText;

protected:
    std::atomic<bool> m_stopRequested{false};

private:
    void performRequest();
    void requestFromServer();
    void serverSteps(const std::wstring& url, const std::wstring& tagName);
    long waitForServer(IXMLHTTPRequest* request);
    void loadFromFile();
    void fileSteps(const std::string& content, const std::wstring& tagName);
    ComPtr<IXMLDOMNodeList> loadDocument(IXMLDOMDocument* document, BSTR text,
                                         const std::wstring& tagName);
    void setError(int code, uint32_t value);
};
