#include "SingleInstance.h"

#include "ProcessIdentity.h"
#include "Wnd.h"

#include <tlhelp32.h>

namespace {

const char* const kMutexName = "Local\\Kelvora.TempovaForLutegate.Instance";
const char* const kDialogClass = "#32770";
const char* const kDialogTitle = "Tempova Lutegate Enabler";

// How long a later copy waits for the first copy's dialog to answer, how
// often it looks again, and when it gives up: a first copy still loading a
// large local copy answers once its dialog shows.
constexpr DWORD kAnswerMs = 1000;
constexpr DWORD kPollMs = 20;
constexpr DWORD kGiveUpMs = 10000;

bool runsThisExecutable(DWORD processId) {
    const UniqueHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
    return process && CProcessIdentity(process.get()).runsThisExecutable();
}

// The first copy's dialog: a window of the tool's title, shown or hidden, of
// another process that runs this same executable file. A window of that
// title, or the mutex, is anyone's.
HWND firstCopysDialog() {
    return FindTopLevelWindow(kDialogClass, kDialogTitle, [](DWORD owner) {
        return owner != GetCurrentProcessId() && runsThisExecutable(owner);
    });
}

// Another process runs this same executable: a first copy, maybe still
// loading its list before its dialog shows.
bool anotherCopyRuns() {
    HANDLE raw = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (raw == INVALID_HANDLE_VALUE)
        return false;
    const UniqueHandle snapshot(raw);
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    if (!Process32FirstW(snapshot.get(), &entry))
        return false;
    const std::wstring& self = CProcessIdentity::self().imagePath();
    const std::wstring ownName = self.substr(self.find_last_of(L'\\') + 1);
    do {
        if (entry.th32ProcessID != GetCurrentProcessId() &&
            CompareStringOrdinal(entry.szExeFile, -1, ownName.c_str(), -1, TRUE) == CSTR_EQUAL &&
            runsThisExecutable(entry.th32ProcessID))
            return true;
    } while (Process32NextW(snapshot.get(), &entry));
    return false;
}

bool owns(HANDLE mutex, DWORD timeoutMs) {
    const DWORD result = WaitForSingleObject(mutex, timeoutMs);
    return result == WAIT_OBJECT_0 || result == WAIT_ABANDONED;
}

// Windows lets a process take the foreground only under its foreground-lock
// rules: this copy, just started by the user, may, and lets the first copy
// bring its own dialog forward.
bool showsItself(HWND dialog) {
    DWORD firstCopy = 0;
    if (GetWindowThreadProcessId(dialog, &firstCopy))
        AllowSetForegroundWindow(firstCopy);
    DWORD_PTR shown = FALSE;
    return SendMessageTimeoutA(dialog, CSingleInstance::kShowMessage, 0, 0, SMTO_ABORTIFHUNG,
                               kAnswerMs, &shown) &&
           shown == TRUE;
}

struct BoxSearch {
    HWND owner;
    HWND box;
};

BOOL CALLBACK findShownBox(HWND window, LPARAM lParam) {
    auto* search = reinterpret_cast<BoxSearch*>(lParam);
    if (GetWindow(window, GW_OWNER) != search->owner || !IsWindowVisible(window) ||
        !IsWindowEnabled(window))
        return TRUE;
    search->box = window;
    return FALSE;
}

// The box the dialog shows (the About box, say): a shown, enabled window that it owns; else
// its last active popup, or itself (docs/PLATFORMS.md, the foreground and the first copy).
HWND activeBox(HWND dialog) {
    BoxSearch search{dialog, nullptr};
    EnumThreadWindows(GetWindowThreadProcessId(dialog, nullptr), findShownBox,
                      reinterpret_cast<LPARAM>(&search));
    return search.box ? search.box : GetLastActivePopup(dialog);
}

} // namespace

void CSingleInstance::acceptShowMessage(HWND dialog) {
    ChangeWindowMessageFilterEx(dialog, kShowMessage, MSGFLT_ALLOW, nullptr);
}

void CSingleInstance::bringForward(HWND dialog) {
    if (IsIconic(dialog))
        ShowWindow(dialog, SW_RESTORE);
    SetForegroundWindow(activeBox(dialog));
}

// A mutex that another account's copy made and this one may not open means
// that a copy runs; one that cannot be made for any other reason keeps no
// copy from running.
CSingleInstance::CSingleInstance() : m_mutex(CreateMutexA(nullptr, FALSE, kMutexName)) {
    if (m_mutex)
        m_owned = owns(m_mutex.get(), 0);
    else
        m_owned = GetLastError() != ERROR_ACCESS_DENIED;
}

CSingleInstance::~CSingleInstance() {
    release();
}

// A mutex held while no other copy of this executable runs is another
// program's: this copy opens its own dialog.
bool CSingleInstance::showFirstCopyOrTakeOver() {
    const DWORD start = GetTickCount();
    do {
        HWND dialog = firstCopysDialog();
        if (dialog && showsItself(dialog))
            return false;
        if (!dialog && !anotherCopyRuns())
            return true;
        if (!m_mutex)
            Sleep(kPollMs);
        else if (owns(m_mutex.get(), kPollMs))
            return m_owned = true;
    } while (GetTickCount() - start < kGiveUpMs);
    return false;
}

void CSingleInstance::release() {
    if (m_owned && m_mutex)
        ReleaseMutex(m_mutex.get());
    m_owned = false;
}
