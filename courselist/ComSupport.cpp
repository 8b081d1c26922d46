#include "ComSupport.h"

#include <ole2.h>

#include <mutex>
#include <new>
#include <vector>

HRESULT throwIfFailed(HRESULT hr) {
    if (FAILED(hr))
        throw ComError{hr};
    return hr;
}

Bstr::Bstr(std::wstring_view text)
    : m_bstr(SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {
    if (!m_bstr)
        throw std::bad_alloc();
}

BSTR* Bstr::put() {
    SysFreeString(m_bstr);
    m_bstr = nullptr;
    return &m_bstr;
}

VARIANT* Variant::put() {
    VariantClear(&m_value);
    return &m_value;
}

VARIANT missingArgument() {
    VARIANT value;
    VariantInit(&value);
    value.vt = VT_ERROR;
    value.scode = DISP_E_PARAMNOTFOUND;
    return value;
}

VARIANT boolArgument(bool value) {
    VARIANT result;
    VariantInit(&result);
    result.vt = VT_BOOL;
    result.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
    return result;
}

namespace {

bool inMultithreadedApartment() {
    APTTYPE type = APTTYPE_CURRENT;
    APTTYPEQUALIFIER qualifier = APTTYPEQUALIFIER_NONE;
    return SUCCEEDED(CoGetApartmentType(&type, &qualifier)) && type == APTTYPE_MTA;
}

// The class objects of the multithreaded apartment, got once and kept for the
// process's life, so that none is called after it has gone (docs/RELIABILITY.md,
// repeated work). That of an apartment-threaded class is a proxy of the
// apartment, held as long (RequestKeeper.h).
IClassFactory* keptClassObject(const CLSID& clsid, HRESULT& hr) {
    struct Kept {
        CLSID clsid;
        IClassFactory* factory;
    };
    static std::mutex* const lock = new std::mutex;
    static std::vector<Kept>* const kept = new std::vector<Kept>;
    std::lock_guard<std::mutex> guard(*lock);
    for (const Kept& entry : *kept) {
        if (IsEqualCLSID(entry.clsid, clsid))
            return entry.factory;
    }
    IClassFactory* factory = nullptr;
    hr = CoGetClassObject(clsid, CLSCTX_ALL, nullptr, IID_IClassFactory,
                          reinterpret_cast<void**>(&factory));
    if (FAILED(hr))
        return nullptr;
    kept->push_back(Kept{clsid, factory});
    return factory;
}

HRESULT createUnknown(const CLSID& clsid, IUnknown** unknown) {
    if (!inMultithreadedApartment())
        return CoCreateInstance(clsid, nullptr, CLSCTX_ALL, IID_IUnknown,
                                reinterpret_cast<void**>(unknown));
    HRESULT hr = S_OK;
    IClassFactory* const factory = keptClassObject(clsid, hr);
    return factory
               ? factory->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(unknown))
               : hr;
}

} // namespace

HRESULT createInstance(const CLSID& clsid, const IID& iid, void** result) {
    *result = nullptr;
    ComPtr<IUnknown> unknown;
    HRESULT hr = createUnknown(clsid, unknown.put());
    if (FAILED(hr))
        return hr;
    hr = OleRun(unknown.get());
    if (FAILED(hr))
        return hr;
    return unknown->QueryInterface(iid, result);
}

HRESULT createInstance(const wchar_t* progId, const IID& iid, void** result) {
    *result = nullptr;
    CLSID clsid;
    const HRESULT hr = CLSIDFromProgID(progId, &clsid);
    if (FAILED(hr))
        return hr;
    return createInstance(clsid, iid, result);
}
