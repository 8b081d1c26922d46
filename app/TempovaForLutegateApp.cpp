#include "TempovaForLutegateApp.h"

#include "TempovaForLutegateDlg.h"

#include <commctrl.h>

BOOL CTempovaForLutegateApp::InitInstance() {
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_WIN95_CLASSES;
    InitCommonControlsEx(&controls);

    CWinApp::InitInstance();
    SetRegistryKey("Local AppWizard-Generated Applications");

    CTempovaForLutegateDlg dlg;
    m_pMainWnd = &dlg;
    dlg.DoModal();
    m_pMainWnd = nullptr;
    // No message loop of the application's own: the process ends here.
    return FALSE;
}

bool CTempovaForLutegateApp::OnCmdMsg(UINT id) {
    if (id == ID_HELP) {
        OnHelp();
        return true;
    }
    return CWinApp::OnCmdMsg(id);
}
