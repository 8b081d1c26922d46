// Waits for the enabler's dialog to be shown, prints how many rows its list
// holds and closes the dialog; prints "no dialog" and ends with 2 when none
// came within a minute. scripts/first-starts.sh reads the list of a first
// start with it.
#include "RemoteDialog.h"
#include "TestWindows.h"
#include "resource.h"

#include <commctrl.h>
#include <windows.h>

#include <cstdio>

int main() {
    HWND dialog = nullptr;
    const bool shown = test_support::waitUntil(
        [&] { return (dialog = test_support::visibleWindow("Tempova Lutegate Enabler")); }, 60000);
    if (!shown) {
        std::puts("no dialog");
        return 2;
    }
    DWORD_PTR rows = 0;
    SendMessageTimeoutA(GetDlgItem(dialog, IDC_LIST_APPS), LVM_GETITEMCOUNT, 0, 0, SMTO_ABORTIFHUNG,
                        5000, &rows);
    std::printf("%u\n", static_cast<unsigned>(rows));
    PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    return 0;
}
