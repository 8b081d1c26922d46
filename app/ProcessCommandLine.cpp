#include "ProcessCommandLine.h"

#include "ComSupport.h"
#include "UniqueHandle.h"

#include <process.h>
#include <wbemidl.h>

#include <atomic>

// Shared by the owner and the reading thread; the thread keeps its share
// until it ends, so that an owner that has gone costs it nothing.
struct CProcessCommandLine::Reading {
    DWORD processId = 0;
    std::wstring text;
    std::atomic<bool> done{false};
};

namespace {

ComPtr<IWbemServices> localServices() {
    ComPtr<IWbemLocator> locator;
    ComPtr<IWbemServices> services;
    Bstr space(L"ROOT\\CIMV2");
    if (FAILED(CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator,
                                reinterpret_cast<void**>(locator.put()))) ||
        FAILED(locator->ConnectServer(space.get(), nullptr, nullptr, nullptr, 0, nullptr, nullptr,
                                      services.put())))
        return ComPtr<IWbemServices>();
    // The service acts on this user's behalf; the default level lets it
    // only identify the user.
    CoSetProxyBlanket(services.get(), RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr,
                      RPC_C_AUTHN_LEVEL_CALL, RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE);
    return services;
}

// Empty when the service is not there, knows no such process, or does not
// tell its command line.
std::wstring commandLineOf(DWORD processId) {
    const ComPtr<IWbemServices> services = localServices();
    if (!services)
        return std::wstring();
    Bstr language(L"WQL");
    wchar_t id[16] = {};
    _ultow(processId, id, 10);
    Bstr query(std::wstring(L"SELECT CommandLine FROM Win32_Process WHERE ProcessId = ") + id);
    ComPtr<IEnumWbemClassObject> found;
    ComPtr<IWbemClassObject> process;
    ULONG count = 0;
    Variant commandLine;
    if (FAILED(services->ExecQuery(language.get(), query.get(),
                                   WBEM_FLAG_FORWARD_ONLY | WBEM_FLAG_RETURN_IMMEDIATELY, nullptr,
                                   found.put())) ||
        found->Next(CProcessCommandLine::kReadLimitMs, 1, process.put(), &count) !=
            WBEM_S_NO_ERROR ||
        count != 1 ||
        FAILED(process->Get(L"CommandLine", 0, commandLine.put(), nullptr, nullptr)) ||
        commandLine.get().vt != VT_BSTR || !commandLine.get().bstrVal)
        return std::wstring();
    return std::wstring(commandLine.get().bstrVal, SysStringLen(commandLine.get().bstrVal));
}

} // namespace

unsigned __stdcall CProcessCommandLine::readOnItsOwnThread(void* share) {
    const std::unique_ptr<std::shared_ptr<Reading>> reading(
        static_cast<std::shared_ptr<Reading>*>(share));
    try {
        const MultithreadedApartment apartment;
        (*reading)->text = commandLineOf((*reading)->processId);
    } catch (...) {
        // No memory for the texts: the command line stays unknown.
    }
    (*reading)->done = true;
    return 0;
}

CProcessCommandLine::CProcessCommandLine(DWORD processId)
    : m_reading(std::make_shared<Reading>()), m_started(GetTickCount()) {
    m_reading->processId = processId;
    auto* share = new std::shared_ptr<Reading>(m_reading);
    const UniqueHandle thread(reinterpret_cast<HANDLE>(
        _beginthreadex(nullptr, 0, readOnItsOwnThread, share, 0, nullptr)));
    if (!thread) {
        delete share;
        m_reading->done = true;
    }
}

bool CProcessCommandLine::settled() const {
    return m_reading->done || GetTickCount() - m_started >= kReadLimitMs;
}

std::wstring CProcessCommandLine::text() const {
    return m_reading->done ? m_reading->text : std::wstring();
}
