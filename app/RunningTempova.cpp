#include "RunningTempova.h"

#include "Wnd.h"

#include <vector>

namespace {

// The speed product's main window.
const char* const kWindowClass = "#32770";
const char* const kWindowTitle = "Kelvora Tempova LoaderApp";

// With the rights to read the command line from the process's memory where
// they are granted; a process of higher rights grants the limited ones alone.
HANDLE openOwner(HWND window) {
    DWORD id = 0;
    if (!GetWindowThreadProcessId(window, &id)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    HANDLE process =
        OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ | SYNCHRONIZE, FALSE, id);
    return process ? process
                   : OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE, id);
}

// The started process, or null with the platform's error code in error.
UniqueHandle startProcess(const wchar_t* application, const std::wstring& command,
                          const wchar_t* folder, DWORD& error) {
    std::vector<wchar_t> commandLine(command.begin(), command.end());
    commandLine.push_back(L'\0');
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(application, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        folder, &startup, &process)) {
        error = GetLastError();
        return UniqueHandle();
    }
    CloseHandle(process.hThread);
    error = ERROR_SUCCESS;
    return UniqueHandle(process.hProcess);
}

} // namespace

HWND CRunningTempova::findWindow() {
    return FindWindowA(kWindowClass, kWindowTitle);
}

HWND CRunningTempova::windowOf(DWORD processId) {
    return FindTopLevelWindow(kWindowClass, kWindowTitle,
                              [processId](DWORD owner) { return owner == processId; });
}

CRunningTempova::CRunningTempova(HWND window) : m_window(window), m_process(openOwner(window)) {
    if (!m_process)
        m_pathError = GetLastError();
    else
        m_path = processImagePath(m_process.get(), m_pathError);
    if (!m_path.empty())
        m_commandLine = std::make_unique<CProcessCommandLine>(m_process.get(), m_path);
}

bool CRunningTempova::postClose() const {
    return PostMessageA(m_window, WM_COMMAND, IDOK, 0) != FALSE;
}

bool CRunningTempova::hasEnded() const {
    if (m_process)
        return WaitForSingleObject(m_process.get(), 0) == WAIT_OBJECT_0;
    return !IsWindow(m_window);
}

// By its full path, so that no program of the same name that the search
// order finds first (beside this tool, or in the current folder) runs in its
// place; and when that file no longer starts, or its path is not known,
// nothing else does. Its folder is the executable's, not this tool's (a
// download folder, say).
UniqueHandle CRunningTempova::startAgain(DWORD& error) const {
    if (m_path.empty()) {
        error = m_pathError;
        return UniqueHandle();
    }
    const std::wstring folder = m_path.substr(0, m_path.find_last_of(L'\\') + 1);
    std::wstring commandLine = m_commandLine->text();
    if (commandLine.empty())
        commandLine = L"\"" + m_path + L"\"";
    return startProcess(m_path.c_str(), commandLine, folder.c_str(), error);
}
