#include "RunningTempova.h"

#include "ProcessIdentity.h"
#include "Wnd.h"

#include <vector>

namespace {

// The speed product's main window and executable.
const char* const kWindowClass = "#32770";
const char* const kWindowTitle = "Kelvora Tempova LoaderApp";
const wchar_t* const kImageName = L"tempova.exe";

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

// Started again at no higher integrity level than it ran at: by this tool
// where it runs at no higher one, else as a child of the desktop's shell,
// which gives it the shell's token (docs/PLATFORMS.md, the restart).
DWORD startRoad(const CProcessIdentity& tempova, UniqueHandle& shell) {
    if (CProcessIdentity::self().integrity() <= tempova.integrity())
        return ERROR_SUCCESS;
    DWORD shellId = 0;
    GetWindowThreadProcessId(GetShellWindow(), &shellId);
    shell.reset(shellId ? OpenProcess(PROCESS_CREATE_PROCESS | PROCESS_QUERY_LIMITED_INFORMATION,
                                      FALSE, shellId)
                        : nullptr);
    if (shell) {
        const CProcessIdentity desktop(shell.get());
        if (desktop.isOwnUsersDesktopProcess() && desktop.integrity() <= tempova.integrity())
            return ERROR_SUCCESS;
    }
    shell.reset();
    return ERROR_ACCESS_DENIED;
}

// A process-creation attribute list naming the parent of the new process.
class ParentAttribute {
public:
    explicit ParentAttribute(HANDLE parent) : m_parent(parent) {
        SIZE_T size = 0;
        InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
        m_storage.resize(size);
        auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(m_storage.data());
        if (size && InitializeProcThreadAttributeList(list, 1, 0, &size)) {
            m_list = list;
            if (!UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_PARENT_PROCESS, &m_parent,
                                           sizeof m_parent, nullptr, nullptr))
                reset();
        }
    }
    ~ParentAttribute() { reset(); }
    ParentAttribute(const ParentAttribute&) = delete;
    ParentAttribute& operator=(const ParentAttribute&) = delete;
    LPPROC_THREAD_ATTRIBUTE_LIST list() const { return m_list; }

private:
    void reset() {
        if (m_list)
            DeleteProcThreadAttributeList(m_list);
        m_list = nullptr;
    }
    HANDLE m_parent;
    std::vector<BYTE> m_storage;
    LPPROC_THREAD_ATTRIBUTE_LIST m_list = nullptr;
};

// The started process, or null with the platform's error code in error. A
// parent, when given, is the new process's parent instead of this one.
UniqueHandle startProcess(const std::wstring& application, const std::wstring& command,
                          const std::wstring& folder, HANDLE parent, DWORD& error) {
    std::vector<wchar_t> commandLine(command.begin(), command.end());
    commandLine.push_back(L'\0');
    STARTUPINFOEXW startup{};
    startup.StartupInfo.cb = parent ? sizeof startup : sizeof startup.StartupInfo;
    const ParentAttribute attribute(parent);
    startup.lpAttributeList = parent ? attribute.list() : nullptr;
    if (parent && !startup.lpAttributeList) {
        error = ERROR_NOT_SUPPORTED;
        return UniqueHandle();
    }
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(application.c_str(), commandLine.data(), nullptr, nullptr, FALSE,
                        parent ? EXTENDED_STARTUPINFO_PRESENT : 0, nullptr, folder.c_str(),
                        &startup.StartupInfo, &process)) {
        error = GetLastError();
        return UniqueHandle();
    }
    CloseHandle(process.hThread);
    error = ERROR_SUCCESS;
    return UniqueHandle(process.hProcess);
}

void keepFirst(DWORD& error, DWORD code) {
    if (error == ERROR_SUCCESS)
        error = code != ERROR_SUCCESS ? code : ERROR_ACCESS_DENIED;
}

} // namespace

// A window of that title is anyone's: its process must be the user's own
// speed product before the tool closes it, and then the tool must be able to
// start it again as it was.
std::unique_ptr<CRunningTempova> CRunningTempova::find(DWORD& error) {
    error = ERROR_SUCCESS;
    HWND window = nullptr;
    while ((window = FindWindowExA(nullptr, window, kWindowClass, kWindowTitle)) != nullptr) {
        UniqueHandle process(openOwner(window));
        if (!process) {
            keepFirst(error, GetLastError());
            continue;
        }
        const CProcessIdentity identity(process.get());
        if (identity.readError() != ERROR_SUCCESS) {
            keepFirst(error, identity.readError());
            continue;
        }
        if (!identity.isOwnUsersDesktopProcess() || !identity.runsImageNamed(kImageName))
            continue;
        UniqueHandle shell;
        if (const DWORD refused = startRoad(identity, shell)) {
            keepFirst(error, refused);
            continue;
        }
        return std::unique_ptr<CRunningTempova>(new CRunningTempova(
            window, std::move(process), identity.imagePath(), std::move(shell)));
    }
    return nullptr;
}

HWND CRunningTempova::windowOf(DWORD processId) {
    return FindTopLevelWindow(kWindowClass, kWindowTitle,
                              [processId](DWORD owner) { return owner == processId; });
}

CRunningTempova::CRunningTempova(HWND window, UniqueHandle process, const std::wstring& path,
                                 UniqueHandle shell)
    : m_window(window), m_process(std::move(process)), m_path(path), m_shell(std::move(shell)),
      m_commandLine(m_process.get(), m_path) {}

bool CRunningTempova::postClose() const {
    return PostMessageA(m_window, WM_COMMAND, IDOK, 0) != FALSE;
}

bool CRunningTempova::hasEnded() const {
    return WaitForSingleObject(m_process.get(), 0) == WAIT_OBJECT_0;
}

// By its full path, so that no program of the same name that the search
// order finds first (beside this tool, or in the current folder) runs in its
// place. Its folder is the executable's, not this tool's (a download folder).
UniqueHandle CRunningTempova::startAgain(DWORD& error) const {
    const std::wstring folder = m_path.substr(0, m_path.find_last_of(L'\\') + 1);
    std::wstring commandLine = m_commandLine.text();
    if (commandLine.empty())
        commandLine = L"\"" + m_path + L"\"";
    return startProcess(m_path, commandLine, folder, m_shell.get(), error);
}
