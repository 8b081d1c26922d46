// The main dialog with sample rows (--about: the About box; --change-dpi N:
// told once shown that its monitor has N dots per inch), for screenshots.
// Prints its screen rectangle ("x y width height") once shown, runs until closed.
#include "AboutDlg.h"
#include "Dpi.h"
#include "TempovaForLutegateDlg.h"

#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

void printRect(HWND window) {
    RECT rect;
    GetWindowRect(window, &rect);
    std::printf("%ld %ld %ld %ld\n", rect.left, rect.top, rect.right - rect.left,
                rect.bottom - rect.top);
    std::fflush(stdout);
}

UINT s_changeToDpi = 0;
constexpr UINT kChangeDpi = WM_APP + 50;

// Windows suggests the window grown by the ratio of the two DPIs.
void changeDpi(HWND window) {
    RECT rect;
    GetWindowRect(window, &rect);
    const UINT from = WindowDpi(window);
    rect.right = rect.left + MulDiv(rect.right - rect.left, s_changeToDpi, from);
    rect.bottom = rect.top + MulDiv(rect.bottom - rect.top, s_changeToDpi, from);
    SendMessageA(window, WM_DPICHANGED, MAKEWPARAM(s_changeToDpi, s_changeToDpi),
                 reinterpret_cast<LPARAM>(&rect));
    printRect(window);
}

class PreviewDlg : public CTempovaForLutegateDlg {
protected:
    BOOL OnInitDialog() override {
        const BOOL result = CTempovaForLutegateDlg::OnInitDialog();
        AddAppRow("Lutegate Course Player", "lgplayer.exe", true);
        AddAppRow("Lutegate Studio", "lgstudio.exe;lgrender.exe", false);
        AddAppRow("Lutegate Offline Lessons", "lglessons.exe", true);
        AddAppRow("Lutegate Exam Trainer", "lgexam.exe", false);
        if (s_changeToDpi)
            PostMessageA(m_hWnd, kChangeDpi, 0, 0);
        else
            printRect(m_hWnd);
        return result;
    }
    const MessageMap* GetMessageMap() const override { return &s_map; }
    LRESULT OnChangeDpi(WPARAM, LPARAM) {
        changeDpi(m_hWnd);
        return 0;
    }
    static const MessageEntry s_entries[];
    static const MessageMap s_map;
};

const MessageEntry PreviewDlg::s_entries[] = {
    msg::onMessage<&PreviewDlg::OnChangeDpi>(kChangeDpi),
};
const MessageMap PreviewDlg::s_map = {&CTempovaForLutegateDlg::s_messageMap, s_entries, 1};

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
    if (argc > 2 && std::strcmp(argv[1], "--change-dpi") == 0)
        s_changeToDpi = static_cast<UINT>(std::strtoul(argv[2], nullptr, 10));
    PreviewDlg dialog;
    dialog.DoModal();
    return 0;
}
