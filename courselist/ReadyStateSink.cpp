#include "ReadyStateSink.h"

#include "Sentry.h"

#include <cwchar>

using kelvora_core::CSentry;

namespace {
constexpr long kHeadersIn = 2;
} // namespace

CReadyStateSink::CReadyStateSink(IXMLHTTPRequest* request) : m_request(request) {}

void CReadyStateSink::forget() {
    CSentry hold(m_lock);
    m_request = nullptr;
}

HRESULT CReadyStateSink::QueryInterface(REFIID iid, void** object) {
    if (!object)
        return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch)) {
        *object = static_cast<IDispatch*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG CReadyStateSink::AddRef() {
    return ++m_references;
}

ULONG CReadyStateSink::Release() {
    const ULONG left = --m_references;
    if (left == 0)
        delete this;
    return left;
}

HRESULT CReadyStateSink::GetTypeInfoCount(UINT* count) {
    if (!count)
        return E_POINTER;
    *count = 0;
    return S_OK;
}

HRESULT CReadyStateSink::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
    if (info)
        *info = nullptr;
    return E_NOTIMPL;
}

HRESULT CReadyStateSink::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) {
    return E_NOTIMPL;
}

// Runs while the object waits for it, so that its calls are answered at once.
HRESULT CReadyStateSink::Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                UINT*) {
    {
        CSentry hold(m_lock);
        long state = 0;
        if (m_request && SUCCEEDED(m_request->get_readyState(&state))) {
            if (state >= kHeadersIn)
                readLength();
            m_readyState = state;
        }
    }
    m_changed.set();
    return S_OK;
}

// Nothing is thrown out of a call that the object makes.
void CReadyStateSink::readLength() noexcept try {
    Bstr name(L"Content-Length");
    Bstr value;
    if (m_request->getResponseHeader(name.get(), value.put()) != S_OK || !value.get())
        return;
    wchar_t* end = nullptr;
    const unsigned long long length = std::wcstoull(value.get(), &end, 10);
    if (end != value.get())
        m_announcedLength = static_cast<int64_t>(length);
} catch (...) {
}
