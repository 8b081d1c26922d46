// Shows the main dialog with a few sample rows, for screenshots of the
// tool's look. Prints the dialog's screen rectangle ("x y width height") once
// it is shown, and runs until the dialog is closed.
#include "TempovaForLutegateDlg.h"

#include <commctrl.h>

#include <cstdio>

namespace {

class PreviewDlg : public CTempovaForLutegateDlg {
protected:
    BOOL OnInitDialog() override {
        const BOOL result = CTempovaForLutegateDlg::OnInitDialog();
        AddAppRow("Lutegate Course Player", "lgplayer.exe", true);
        AddAppRow("Lutegate Studio", "lgstudio.exe;lgrender.exe", false);
        AddAppRow("Lutegate Offline Lessons", "lglessons.exe", true);
        AddAppRow("Lutegate Exam Trainer", "lgexam.exe", false);
        RECT rect;
        GetWindowRect(m_hWnd, &rect);
        std::printf("%ld %ld %ld %ld\n", rect.left, rect.top, rect.right - rect.left,
                    rect.bottom - rect.top);
        std::fflush(stdout);
        return result;
    }
};

} // namespace

int main() {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_WIN95_CLASSES};
    InitCommonControlsEx(&controls);
    PreviewDlg dialog;
    dialog.DoModal();
    return 0;
}
