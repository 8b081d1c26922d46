#include "RunningTempova.h"

#include <vector>

namespace {

// The speed product's main window.
const char* const kWindowClass = "#32770";
const char* const kWindowTitle = "Kelvora Tempova LoaderApp";

HANDLE openOwner(HWND window) {
    DWORD id = 0;
    GetWindowThreadProcessId(window, &id);
    return id ? OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE, id) : nullptr;
}

// The platform's longest path, in characters.
constexpr DWORD kLongestPath = 32767;

// How often a window that cannot be waited on is looked at while it closes.
constexpr DWORD kPollMs = 50;

std::string imagePath(HANDLE process) {
    std::vector<char> path(kLongestPath);
    DWORD length = kLongestPath;
    if (!process || !QueryFullProcessImageNameA(process, 0, path.data(), &length))
        return std::string();
    return std::string(path.data(), length);
}

// The started process's id; 0 when it did not start.
DWORD startProcess(const char* application, const std::string& command) {
    std::vector<char> commandLine(command.begin(), command.end());
    commandLine.push_back('\0');
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(application, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &startup, &process))
        return 0;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return process.dwProcessId;
}

} // namespace

HWND CRunningTempova::findWindow() {
    return FindWindowA(kWindowClass, kWindowTitle);
}

bool CRunningTempova::isShownBy(HWND window, DWORD processId) {
    DWORD owner = 0;
    return window && GetWindowThreadProcessId(window, &owner) && owner == processId;
}

CRunningTempova::CRunningTempova(HWND window)
    : m_window(window), m_process(openOwner(window)), m_path(imagePath(m_process)) {}

CRunningTempova::~CRunningTempova() {
    if (m_process)
        CloseHandle(m_process);
}

bool CRunningTempova::postClose() const {
    return PostMessageA(m_window, WM_COMMAND, IDOK, 0) != FALSE;
}

bool CRunningTempova::waitForEnd(DWORD timeoutMs) const {
    if (m_process)
        return WaitForSingleObject(m_process, timeoutMs) == WAIT_OBJECT_0;
    const DWORD start = GetTickCount();
    while (IsWindow(m_window)) {
        if (GetTickCount() - start >= timeoutMs)
            return false;
        Sleep(kPollMs);
    }
    return true;
}

// By its full path, so that no program of the same name that the search
// order finds first (in the current folder, say) runs in its place.
DWORD CRunningTempova::startAgain(const std::string& bareName) const {
    const DWORD started = m_path.empty() ? 0 : startProcess(m_path.c_str(), "\"" + m_path + "\"");
    return started ? started : startProcess(nullptr, bareName);
}
