#include "AboutDlg.h"

#include "Dpi.h"
#include "resource.h"

#include <iterator>

const MessageEntry CAboutDlg::s_messageEntries[] = {
    msg::onDestroy<&CAboutDlg::OnDestroy>(),
};

const MessageMap CAboutDlg::s_messageMap = {nullptr, s_messageEntries, std::size(s_messageEntries)};

CAboutDlg::CAboutDlg(HWND owner) : CDialog(IDD_ABOUTBOX, owner) {}

BOOL CAboutDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    // The dialog manager's icon is the system's size and shared: not ours.
    ::SendMessageA(
        GetWindow(m_hWnd, GW_CHILD), STM_SETICON,
        reinterpret_cast<WPARAM>(LoadIconForDpi(IDR_MAINFRAME, SM_CXICON, WindowDpi(m_hWnd))), 0);
    return TRUE;
}

void CAboutDlg::OnDpiChanged(UINT dpi, const RECT& suggested) {
    CDialog::OnDpiChanged(dpi, suggested);
    ShowIconForDpi(dpi);
}

// The icon is the template's first control.
void CAboutDlg::ShowIconForDpi(UINT dpi) {
    const HICON icon = LoadIconForDpi(IDR_MAINFRAME, SM_CXICON, dpi);
    DestroyIcon(reinterpret_cast<HICON>(::SendMessageA(GetWindow(m_hWnd, GW_CHILD), STM_SETICON,
                                                       reinterpret_cast<WPARAM>(icon), 0)));
}

void CAboutDlg::OnDestroy() {
    DestroyIcon(
        reinterpret_cast<HICON>(::SendMessageA(GetWindow(m_hWnd, GW_CHILD), STM_SETICON, 0, 0)));
    Decline();
}
