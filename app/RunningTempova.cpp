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

std::string imagePath(HANDLE process) {
    char path[MAX_PATH];
    DWORD length = MAX_PATH;
    if (!process || !QueryFullProcessImageNameA(process, 0, path, &length))
        return std::string();
    return std::string(path, length);
}

void startProcess(const char* application, const std::string& command) {
    std::vector<char> commandLine(command.begin(), command.end());
    commandLine.push_back('\0');
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (CreateProcessA(application, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                       nullptr, &startup, &process)) {
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
}

} // namespace

HWND CRunningTempova::findWindow() {
    return FindWindowA(kWindowClass, kWindowTitle);
}

CRunningTempova::CRunningTempova(HWND window)
    : m_window(window), m_process(openOwner(window)), m_path(imagePath(m_process)) {}

CRunningTempova::~CRunningTempova() {
    if (m_process)
        CloseHandle(m_process);
}

void CRunningTempova::postClose() const {
    PostMessageA(m_window, WM_COMMAND, IDOK, 0);
}

void CRunningTempova::waitForEnd(DWORD timeoutMs) const {
    if (m_process)
        WaitForSingleObject(m_process, timeoutMs);
}

// By its full path, so that no program of the same name that the search
// order finds first (in the current folder, say) runs in its place.
void CRunningTempova::startAgain(const std::string& bareName) const {
    if (m_path.empty())
        startProcess(nullptr, bareName);
    else
        startProcess(m_path.c_str(), "\"" + m_path + "\"");
}
