// Shows the main dialog with a few sample rows, or with --about the About
// box, for screenshots of the tool's look. Prints the dialog's screen
// rectangle ("x y width height") once it is shown, and runs until the dialog
// is closed.
#include "AboutDlg.h"
#include "TempovaForLutegateDlg.h"

#include <commctrl.h>

#include <cstdio>
#include <cstring>

namespace {

void printRect(HWND window) {
    RECT rect;
    GetWindowRect(window, &rect);
    std::printf("%ld %ld %ld %ld\n", rect.left, rect.top, rect.right - rect.left,
                rect.bottom - rect.top);
    std::fflush(stdout);
}

class PreviewDlg : public CTempovaForLutegateDlg {
protected:
    BOOL OnInitDialog() override {
        const BOOL result = CTempovaForLutegateDlg::OnInitDialog();
        AddAppRow("Lutegate Course Player", "lgplayer.exe", true);
        AddAppRow("Lutegate Studio", "lgstudio.exe;lgrender.exe", false);
        AddAppRow("Lutegate Offline Lessons", "lglessons.exe", true);
        AddAppRow("Lutegate Exam Trainer", "lgexam.exe", false);
        printRect(m_hWnd);
        return result;
    }
};

class PreviewAbout : public CAboutDlg {
protected:
    BOOL OnInitDialog() override {
        const BOOL result = CAboutDlg::OnInitDialog();
        printRect(m_hWnd);
        return result;
    }
};

} // namespace

int main(int argc, char** argv) {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_WIN95_CLASSES};
    InitCommonControlsEx(&controls);
    if (argc > 1 && std::strcmp(argv[1], "--about") == 0) {
        PreviewAbout about;
        about.DoModal();
        return 0;
    }
    PreviewDlg dialog;
    dialog.DoModal();
    return 0;
}
