#include "SingleInstance.h"

#include "Wnd.h"

namespace {

const char* const kMutexName = "Local\\Kelvora.TempovaForLutegate.Instance";
const char* const kDialogClass = "#32770";
const char* const kDialogTitle = "Tempova Lutegate Enabler";

// How long a later copy looks for the first copy's dialog.
constexpr DWORD kFindDialogMs = 1000;
constexpr DWORD kPollMs = 20;

// The first copy's dialog: another process's window of the tool's title.
HWND firstCopysDialog() {
    return FindTopLevelWindow(kDialogClass, kDialogTitle,
                              [](DWORD owner) { return owner != GetCurrentProcessId(); });
}

} // namespace

// A mutex that exists already, or that another account's copy made and this
// one may not open, means that a copy runs; one that cannot be made for any
// other reason keeps no copy from running.
CSingleInstance::CSingleInstance() : m_mutex(CreateMutexA(nullptr, FALSE, kMutexName)) {
    const DWORD error = GetLastError();
    m_first = m_mutex ? error != ERROR_ALREADY_EXISTS : error != ERROR_ACCESS_DENIED;
}

void CSingleInstance::bringFirstCopyForward() {
    const DWORD start = GetTickCount();
    HWND dialog = firstCopysDialog();
    while (!dialog && GetTickCount() - start < kFindDialogMs) {
        Sleep(kPollMs);
        dialog = firstCopysDialog();
    }
    if (!dialog)
        return;
    if (IsIconic(dialog))
        ShowWindow(dialog, SW_RESTORE);
    SetForegroundWindow(GetLastActivePopup(dialog));
}
