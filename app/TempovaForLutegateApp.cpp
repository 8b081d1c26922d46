#include "TempovaForLutegateApp.h"

#include "TempovaForLutegateDlg.h"

#include "HTTPXMLReqHelper.h"
#include "SingleInstance.h"

#include <commctrl.h>

namespace {
// How long the process gives a course list worker that was let go (Close
// during an Update, say) to end after the dialog has gone.
constexpr DWORD kWorkerEndMs = 2000;
// The exit code of a process that ended beside a worker still busy, without
// tearing down its static objects. Users never see it; it tells which way
// the process ended.
constexpr UINT kEndedBesideABusyWorker = WAIT_TIMEOUT;
} // namespace

BOOL CTempovaForLutegateApp::InitInstance() {
    CSingleInstance instance;
    if (!instance.isFirst() && !instance.showFirstCopyOrTakeOver())
        return FALSE;
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
    // A restart of the speed product has ended with the dialog: a later copy
    // may show its own dialog now.
    instance.release();
    // No message loop of the application's own: the process ends here. A
    // worker that is still reading must not meet the process's static objects
    // torn down under it: the process then ends without tearing them down.
    if (!CHTTPXMLReqHelper::letGoWorkersEnded(kWorkerEndMs)) {
        ExitInstance();
        ExitProcess(kEndedBesideABusyWorker);
    }
    return FALSE;
}

bool CTempovaForLutegateApp::OnCmdMsg(UINT id) {
    if (id == ID_HELP) {
        OnHelp();
        return true;
    }
    return CWinApp::OnCmdMsg(id);
}
