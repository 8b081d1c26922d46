#include "RequestKeeper.h"

#include "CriticalSection.h"
#include "Sentry.h"
#include "Thread.h"
#include "Waitable.h"

#include <algorithm>
#include <cwchar>
#include <utility>
#include <vector>

namespace {

// A request and the sink that follows its state.
struct HeldRequest {
    ComPtr<IXMLHTTPRequest> request;
    ComPtr<CReadyStateSink> sink;
};
using Requests = std::vector<HeldRequest>;

constexpr long kCompleted = 4;
// How often the held requests are looked at while there are any.
constexpr uint32_t kLookMs = 1000;
constexpr uint32_t kStartWaitMs = 5000;

bool runningUnderWine() {
    const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

// A thread in the multithreaded apartment that never leaves it, and the
// requests it holds, each released once it has completed. One that never
// completes (Wine leaves a request whose connection failed as it was) is
// held until the process ends.
class CRequestKeeper : public kelvora_core::CThread {
public:
    CRequestKeeper() : CThread("RequestKeeper") {
        resume();
        m_inApartment.wait(kStartWaitMs);
    }

    void keep(HeldRequest& held) {
        kelvora_core::CSentry hold(m_lock);
        m_requests.push_back(std::move(held));
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

    // Allocates nothing and calls no request: no failure ends the thread
    // while it holds requests, and no transfer under way holds it up.
    void releaseCompleted() {
        kelvora_core::CSentry hold(m_lock);
        m_requests.erase(std::remove_if(m_requests.begin(), m_requests.end(), completed),
                         m_requests.end());
    }

    static bool completed(HeldRequest& held) {
        if (held.sink->readyState() != kCompleted)
            return false;
        held.sink->forget();
        return true;
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
// are held until the process ends.
CRequestKeeper* keeper() {
    static CRequestKeeper* const instance = [] {
        pinXmlLibrary();
        return runningUnderWine() ? new CRequestKeeper : nullptr;
    }();
    return instance;
}

} // namespace

namespace request_keeper {

void holdApartment() {
    keeper();
}

void keepUntilComplete(ComPtr<IXMLHTTPRequest> request, ComPtr<CReadyStateSink> sink) {
    HeldRequest held{std::move(request), std::move(sink)};
    CRequestKeeper* const instance = keeper();
    if (!instance) {
        // The platform's object stops its transfer when aborted.
        held.sink->forget();
        held.request->abort();
        return;
    }
    try {
        instance->keep(held);
    } catch (...) {
        // No room to hold it: it is never released, rather than released early.
        (void)held.request.detach();
        (void)held.sink.detach();
    }
}

} // namespace request_keeper
