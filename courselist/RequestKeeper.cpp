#include "RequestKeeper.h"

#include "MsxmlIds.h"

#include "CriticalSection.h"
#include "Sentry.h"
#include "Thread.h"
#include "Utilities.h"
#include "Waitable.h"

#include <algorithm>
#include <cwchar>
#include <string>
#include <utility>
#include <vector>

namespace {

using Requests = std::vector<ComPtr<IXMLHTTPRequest>>;

constexpr long kCompleted = 4;
// How often the held requests are looked at while there are any.
constexpr uint32_t kLookMs = 1000;
constexpr uint32_t kStartWaitMs = 5000;

// A thread in the multithreaded apartment that never leaves it, and, under
// Wine, the requests it holds, each released once it has completed. One that
// never completes (a failed connection's) is held until the process ends
// (docs/RELIABILITY.md, limits that remain, 3).
class CRequestKeeper : public kelvora_core::CThread {
public:
    CRequestKeeper() : CThread("RequestKeeper") {
        resume();
        m_inApartment.wait(kStartWaitMs);
    }

    void keep(ComPtr<IXMLHTTPRequest>& request) {
        kelvora_core::CSentry hold(m_lock);
        m_requests.push_back(std::move(request));
        m_wake.set();
    }

    void run() override {
        const MultithreadedApartment apartment;
        m_inApartment.set();
        for (;;) {
            m_wake.wait(holding() ? kLookMs : INFINITE);
            releaseCompleted();
        }
    }

private:
    bool holding() {
        kelvora_core::CSentry hold(m_lock);
        return !m_requests.empty();
    }

    // Allocates nothing: no failure ends the thread while it holds requests.
    void releaseCompleted() {
        kelvora_core::CSentry hold(m_lock);
        m_requests.erase(std::remove_if(m_requests.begin(), m_requests.end(), completed),
                         m_requests.end());
    }

    static bool completed(const ComPtr<IXMLHTTPRequest>& request) {
        long state = 0;
        return SUCCEEDED(request->get_readyState(&state)) && state == kCompleted;
    }

    kelvora_core::CCriticalSection m_lock;
    kelvora_core::CEvent m_wake;
    kelvora_core::CManualResetEvent m_inApartment;
    Requests m_requests;
};

// Loaded from the system folder and never freed, so that no class object of
// the library can outlive it, whatever the platform's COM does with it.
void pinXmlLibrary() {
    wchar_t path[MAX_PATH];
    const UINT length = GetSystemDirectoryW(path, MAX_PATH);
    if (length > 0 && length < MAX_PATH - 12) {
        wcscpy(path + length, L"\\msxml3.dll");
        LoadLibraryW(path);
    }
}

// Never freed: the apartment, and the requests Wine may still call into,
// are held until the process ends. Made alike on every platform.
CRequestKeeper* keeper() {
    static CRequestKeeper* const instance = []() {
        pinXmlLibrary();
        // Each proxy of a request object loads its interface's type library and
        // frees it after its last user: held for the process's life, workers never
        // race in that (docs/RELIABILITY.md, repeated work).
        ITypeLib* pinned = nullptr;
        request_keeper::loadRequestTypeLibrary(&pinned);
        return new CRequestKeeper;
    }();
    return instance;
}

} // namespace

namespace request_keeper {

HRESULT loadRequestTypeLibrary(ITypeLib** library) {
    *library = nullptr;
    wchar_t interfaceId[40];
    StringFromGUID2(msxml_ids::kIXMLHTTPRequest, interfaceId, 40);
    const std::wstring path = L"Interface\\" + std::wstring(interfaceId) + L"\\TypeLib";
    wchar_t libraryId[40] = {};
    wchar_t version[16] = L"1.0";
    DWORD size = sizeof libraryId - sizeof(wchar_t);
    const LSTATUS found = RegGetValueW(HKEY_CLASSES_ROOT, path.c_str(), nullptr, RRF_RT_REG_SZ,
                                       nullptr, libraryId, &size);
    if (found != ERROR_SUCCESS)
        return HRESULT_FROM_WIN32(found);
    size = sizeof version - sizeof(wchar_t);
    RegGetValueW(HKEY_CLASSES_ROOT, path.c_str(), L"Version", RRF_RT_REG_SZ, nullptr, version,
                 &size);
    // "major.minor" in hexadecimal; wcstoul rather than a scanf, whose runtime
    // would swell the executable (docs/PERFORMANCE.md, executable size).
    wchar_t* dot = nullptr;
    const auto major = static_cast<unsigned short>(std::wcstoul(version, &dot, 16));
    const auto minor =
        static_cast<unsigned short>(*dot == L'.' ? std::wcstoul(dot + 1, nullptr, 16) : 0);
    GUID guid;
    const HRESULT hr = CLSIDFromString(libraryId, &guid);
    return FAILED(hr) ? hr : LoadRegTypeLib(guid, major, minor, LOCALE_SYSTEM_DEFAULT, library);
}

void holdApartment() {
    keeper();
}

void keepUntilComplete(ComPtr<IXMLHTTPRequest> request) {
    // The one platform fork (docs/PLATFORMS.md, the fork in the code): abort
    // "cancels the current HTTP request" (IXMLHTTPRequest::abort, ms760349), so
    // the request is released at once; where abort leaves the transfer running
    // into the released request, it is held until it completes.
    if (!kelvora_core::runningUnderWine()) {
        request->abort();
        return;
    }
    try {
        keeper()->keep(request);
    } catch (...) {
        // No room to hold it: it is never released, rather than released early.
        (void)request.detach();
    }
}

} // namespace request_keeper
