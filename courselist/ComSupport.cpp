#include "ComSupport.h"

#include <ole2.h>

#include <new>

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

HRESULT createInstance(const CLSID& clsid, const IID& iid, void** result) {
    *result = nullptr;
    ComPtr<IUnknown> unknown;
    HRESULT hr = CoCreateInstance(clsid, nullptr, CLSCTX_ALL, IID_IUnknown,
                                  reinterpret_cast<void**>(unknown.put()));
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
