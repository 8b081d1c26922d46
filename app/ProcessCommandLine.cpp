#include "ProcessCommandLine.h"

#include "ComSupport.h"
#include "ProcessIdentity.h"
#include "UniqueHandle.h"
#include "Utilities.h"

#include <process.h>
#include <wbemidl.h>
#include <winternl.h>

#include <atomic>
#include <vector>

// Shared by the owner and the reading thread; the thread keeps its share
// until it ends, so that an owner that has gone costs it nothing.
struct CProcessCommandLine::Reading {
    DWORD processId = 0;
    std::wstring text;
    std::atomic<bool> done{false};
};

namespace {

// The platform's longest path and command line, in characters.
constexpr DWORD kLongestText = 32767;

bool sameBitness(HANDLE process) {
    BOOL own = FALSE, other = FALSE;
    return IsWow64Process(GetCurrentProcess(), &own) && IsWow64Process(process, &other) &&
           own == other;
}

template <class T> bool readInto(HANDLE process, const void* at, T& value) {
    SIZE_T read = 0;
    return ReadProcessMemory(process, at, &value, sizeof value, &read) && read == sizeof value;
}

// A text of the other process: its length is that process's word, so it is
// bounded, and read whole or not at all.
bool readText(HANDLE process, const UNICODE_STRING& text, std::wstring& into) {
    const DWORD characters = text.Length / sizeof(wchar_t);
    if (text.Length % sizeof(wchar_t) != 0 || characters > kLongestText)
        return false;
    into.assign(characters, L'\0');
    SIZE_T read = 0;
    return characters == 0 ||
           (ReadProcessMemory(process, text.Buffer, &into[0], text.Length, &read) &&
            read == text.Length);
}

enum class Parameters { Read, Unreadable, Refused };

// The command line in the process's parameters (the PEB and RTL_USER_PROCESS_PARAMETERS of
// winternl.h), taken only when they name the executable the caller knows, however spelt (the
// same file). Refused where the handle may not read them or the bitness differs: the
// management service may tell it then.
Parameters readParameters(HANDLE process, const std::wstring& imagePath, std::wstring& text) {
    // Looked up in ntdll at run time, not imported (executable_format reads the imports).
    const auto query = kelvora_core::loadedFunction<decltype(&NtQueryInformationProcess)>(
        "ntdll.dll", "NtQueryInformationProcess");
    PROCESS_BASIC_INFORMATION basic{};
    PEB peb{};
    if (!query || !sameBitness(process) ||
        query(process, ProcessBasicInformation, &basic, sizeof basic, nullptr) < 0)
        return Parameters::Refused;
    if (!readInto(process, basic.PebBaseAddress, peb))
        return GetLastError() == ERROR_ACCESS_DENIED ? Parameters::Refused : Parameters::Unreadable;
    RTL_USER_PROCESS_PARAMETERS parameters{};
    std::wstring image;
    if (!readInto(process, peb.ProcessParameters, parameters) ||
        !readText(process, parameters.ImagePathName, image) || !isSameFile(image, imagePath) ||
        !readText(process, parameters.CommandLine, text))
        text.clear();
    return Parameters::Read;
}

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

std::wstring processImagePath(HANDLE process, DWORD& error) {
    std::vector<wchar_t> path(kLongestText);
    DWORD length = kLongestText;
    if (!QueryFullProcessImageNameW(process, 0, path.data(), &length)) {
        error = GetLastError();
        return std::wstring();
    }
    error = ERROR_SUCCESS;
    return std::wstring(path.data(), length);
}

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

CProcessCommandLine::CProcessCommandLine(HANDLE process, const std::wstring& imagePath)
    : m_reading(std::make_shared<Reading>()), m_started(GetTickCount()) {
    if (readParameters(process, imagePath, m_reading->text) != Parameters::Refused) {
        m_reading->done = true;
        return;
    }
    m_reading->processId = GetProcessId(process);
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
