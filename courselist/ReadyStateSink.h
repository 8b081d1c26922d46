#pragma once

#include "ComSupport.h"

#include "CriticalSection.h"
#include "Waitable.h"

#include <msxml2.h>

#include <atomic>
#include <cstdint>

// Told by a request object of each change of its ready state (its
// onreadystatechange handler). It reads the state, and once the headers are
// in the announced length, while the object waits for it to return: the
// owner never calls the object while the answer arrives, since under Wine
// every call into the object waits behind a transfer that is under way,
// however long that takes.
class CReadyStateSink : public IDispatch {
public:
    // The request is not owned: its owner calls forget before it lets go of it.
    explicit CReadyStateSink(IXMLHTTPRequest* request);
    CReadyStateSink(const CReadyStateSink&) = delete;
    CReadyStateSink& operator=(const CReadyStateSink&) = delete;

    // The last state seen; 0 before the first change.
    long readyState() const { return m_readyState; }
    // The answer's Content-Length, or -1 while none was seen.
    int64_t announcedLength() const { return m_announcedLength; }
    // Set at each change.
    kelvora_core::CEvent& changed() { return m_changed; }
    // No call reaches the request any more once this returns.
    void forget();

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                     UINT*) override;

private:
    virtual ~CReadyStateSink() = default;
    void readLength() noexcept;

    std::atomic<ULONG> m_references{1};
    kelvora_core::CCriticalSection m_lock;
    IXMLHTTPRequest* m_request;
    std::atomic<long> m_readyState{0};
    std::atomic<int64_t> m_announcedLength{-1};
    kelvora_core::CEvent m_changed;
};
