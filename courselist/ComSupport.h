#pragma once

// Owners for COM interface pointers, BSTRs and VARIANTs, and the error type
// that ends a request when a COM call fails.
#include <windows.h>
#include <oleauto.h>

#include <string_view>
#include <utility>

// A failed COM call (or a missing result) inside a request.
struct ComError {
    HRESULT hr;
};

// Throws ComError when hr is a failure code; returns hr otherwise.
HRESULT throwIfFailed(HRESULT hr);

// Owns one reference to a COM interface.
template <class T> class ComPtr {
public:
    ComPtr() = default;
    explicit ComPtr(T* adopted) : m_ptr(adopted) {}
    ComPtr(ComPtr&& other) noexcept : m_ptr(std::exchange(other.m_ptr, nullptr)) {}
    ComPtr& operator=(ComPtr&& other) noexcept {
        if (this != &other)
            reset(std::exchange(other.m_ptr, nullptr));
        return *this;
    }
    ~ComPtr() { reset(); }
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;

    T* get() const { return m_ptr; }
    T* operator->() const { return m_ptr; }
    explicit operator bool() const { return m_ptr != nullptr; }
    // Address for an out parameter; drops the reference held so far.
    T** put() {
        reset();
        return &m_ptr;
    }
    // Gives the reference up without releasing it.
    T* detach() { return std::exchange(m_ptr, nullptr); }
    void reset(T* adopted = nullptr) {
        if (m_ptr)
            m_ptr->Release();
        m_ptr = adopted;
    }

private:
    T* m_ptr = nullptr;
};

// Owns one BSTR.
class Bstr {
public:
    Bstr() = default;
    explicit Bstr(std::wstring_view text);
    Bstr(Bstr&& other) noexcept : m_bstr(std::exchange(other.m_bstr, nullptr)) {}
    ~Bstr() { SysFreeString(m_bstr); }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    Bstr& operator=(Bstr&&) = delete;

    BSTR get() const { return m_bstr; }
    BSTR* put();
    UINT length() const { return SysStringLen(m_bstr); }

private:
    BSTR m_bstr = nullptr;
};

// Owns one VARIANT (cleared on destruction).
class Variant {
public:
    Variant() { VariantInit(&m_value); }
    ~Variant() { VariantClear(&m_value); }
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;

    VARIANT& get() { return m_value; }
    VARIANT* put();

private:
    VARIANT m_value;
};

// A VARIANT that stands for an optional argument left out.
VARIANT missingArgument();
VARIANT boolArgument(bool value);

// Creates an object with any server context, puts it into the running state and asks it
// for iid; the failure code of whichever step failed. In the multithreaded apartment each
// class object is got once and kept for the process's life, which holds that apartment
// (request_keeper::holdApartment) before it creates any.
HRESULT createInstance(const CLSID& clsid, const IID& iid, void** result);
HRESULT createInstance(const wchar_t* progId, const IID& iid, void** result);

// Joins a COM apartment for the life of the object; a thread already in
// another one stays there.
template <DWORD Model> class ComApartment {
public:
    ComApartment() { m_initResult = CoInitializeEx(nullptr, Model); }
    ~ComApartment() {
        if (SUCCEEDED(m_initResult))
            CoUninitialize();
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

private:
    HRESULT m_initResult;
};

using MultithreadedApartment = ComApartment<COINIT_MULTITHREADED>;
using SingleThreadedApartment = ComApartment<COINIT_APARTMENTTHREADED>;
