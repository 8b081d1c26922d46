#include "ChildProcess.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace test_support {

std::string besideThisProgram(const std::string& fileName) {
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path, length);
    return folder.substr(0, folder.rfind('\\') + 1) + fileName;
}

namespace {

struct Handle {
    HANDLE h = nullptr;
    ~Handle() {
        if (h)
            CloseHandle(h);
    }
};

bool startProcess(const std::string& commandLine, HANDLE output, PROCESS_INFORMATION& info,
                  const std::string& environment = std::string()) {
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    if (output) {
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdOutput = output;
        startup.hStdError = output;
        startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    }
    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back('\0');
    std::vector<char> block(environment.begin(), environment.end());
    return CreateProcessA(nullptr, line.data(), nullptr, nullptr, output != nullptr,
                          CREATE_NO_WINDOW, block.empty() ? nullptr : block.data(), nullptr,
                          &startup, &info) != FALSE;
}

bool namesVariable(const char* entry, const std::string& name) {
    return CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, entry, static_cast<int>(name.size()),
                          name.data(), static_cast<int>(name.size())) == CSTR_EQUAL &&
           entry[name.size()] == '=';
}

} // namespace

unsigned environmentNumber(const char* name, unsigned fallback) {
    const char* text = std::getenv(name);
    return text && *text ? static_cast<unsigned>(std::strtoul(text, nullptr, 10)) : fallback;
}

std::string environmentWith(const std::string& name, const std::string& value) {
    std::string block;
    if (char* strings = GetEnvironmentStringsA()) {
        for (const char* entry = strings; *entry; entry += strlen(entry) + 1) {
            if (strlen(entry) > name.size() && namesVariable(entry, name))
                continue;
            block.append(entry).push_back('\0');
        }
        FreeEnvironmentStringsA(strings);
    }
    block.append(name + "=" + value).push_back('\0');
    return block + '\0';
}

ProcessResult runProcess(const std::string& commandLine, DWORD timeoutMs) {
    ProcessResult result;
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    Handle readEnd, writeEnd;
    if (!CreatePipe(&readEnd.h, &writeEnd.h, &inherit, 0))
        return result;
    SetHandleInformation(readEnd.h, HANDLE_FLAG_INHERIT, 0);
    PROCESS_INFORMATION info{};
    if (!startProcess(commandLine, writeEnd.h, info))
        return result;
    result.started = true;
    Handle process{info.hProcess}, thread{info.hThread};
    CloseHandle(writeEnd.h);
    writeEnd.h = nullptr;
    char buffer[4096];
    DWORD read = 0;
    while (ReadFile(readEnd.h, buffer, sizeof buffer, &read, nullptr) && read > 0)
        result.output.append(buffer, read);
    result.finished = WaitForSingleObject(process.h, timeoutMs) == WAIT_OBJECT_0;
    if (!result.finished)
        TerminateProcess(process.h, 1);
    GetExitCodeProcess(process.h, &result.exitCode);
    return result;
}

ChildProcess::ChildProcess(const std::string& commandLine) {
    if (!startProcess(commandLine, nullptr, m_info))
        m_info = PROCESS_INFORMATION{};
}

ChildProcess::ChildProcess(const std::string& commandLine, const std::string& environment) {
    if (!startProcess(commandLine, nullptr, m_info, environment))
        m_info = PROCESS_INFORMATION{};
}

ChildProcess::ChildProcess(const std::wstring& commandLine) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    std::vector<wchar_t> line(commandLine.begin(), commandLine.end());
    line.push_back(L'\0');
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                        nullptr, &startup, &m_info))
        m_info = PROCESS_INFORMATION{};
}

ChildProcess::~ChildProcess() {
    if (!m_info.hProcess)
        return;
    if (WaitForSingleObject(m_info.hProcess, 0) != WAIT_OBJECT_0)
        TerminateProcess(m_info.hProcess, 1);
    CloseHandle(m_info.hProcess);
    CloseHandle(m_info.hThread);
}

DWORD ChildProcess::waitForExit(DWORD timeoutMs) {
    DWORD code = STILL_ACTIVE;
    if (m_info.hProcess && WaitForSingleObject(m_info.hProcess, timeoutMs) == WAIT_OBJECT_0)
        GetExitCodeProcess(m_info.hProcess, &code);
    return code;
}

namespace {

// The system's handle table (class 16), read through ntdll: Wine answers
// GetProcessHandleCount with 0, but lists every handle here.
struct SystemHandleEntry {
    ULONG processId;
    BYTE objectType;
    BYTE flags;
    USHORT handle;
    PVOID object;
    ACCESS_MASK access;
};
struct SystemHandleTable {
    ULONG count;
    SystemHandleEntry entries[1];
};
using QuerySystemInformation = LONG(WINAPI*)(ULONG, PVOID, ULONG, PULONG);
constexpr ULONG kSystemHandleInformation = 16;
constexpr LONG kInfoLengthMismatch = static_cast<LONG>(0xC0000004);

} // namespace

std::string uniqueName(const char* stem) {
    static std::atomic<int> serial{0};
    return std::string("kelvora_test_") + stem + "_" + std::to_string(GetCurrentProcessId()) + "_" +
           std::to_string(++serial);
}

DWORD handleCount() {
    static const auto query = reinterpret_cast<QuerySystemInformation>(
        GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQuerySystemInformation"));
    std::vector<char> buffer(1 << 20);
    ULONG length = 0;
    LONG status;
    while ((status = query(kSystemHandleInformation, buffer.data(),
                           static_cast<ULONG>(buffer.size()), &length)) == kInfoLengthMismatch)
        buffer.resize(buffer.size() * 2);
    if (status != 0)
        return 0;
    const auto* table = reinterpret_cast<const SystemHandleTable*>(buffer.data());
    DWORD count = 0;
    for (ULONG i = 0; i < table->count; ++i)
        count += table->entries[i].processId == GetCurrentProcessId() ? 1 : 0;
    return count;
}

} // namespace test_support
