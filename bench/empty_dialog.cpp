// The baseline for the tool's start-up: the same framework, the same dialog
// template and common controls, and nothing loaded into the list.
#include "Dialog.h"
#include "WinApp.h"
#include "resource.h"

#include <commctrl.h>

namespace {

class CEmptyDialogApp : public CWinApp {
public:
    BOOL InitInstance() override {
        INITCOMMONCONTROLSEX controls{sizeof controls, ICC_WIN95_CLASSES};
        InitCommonControlsEx(&controls);
        CWinApp::InitInstance();
        CDialog dialog(IDD_TEMPOVAFORLUTEGATE_DIALOG);
        m_pMainWnd = &dialog;
        dialog.DoModal();
        m_pMainWnd = nullptr;
        return FALSE;
    }
};

CEmptyDialogApp theApp;

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    return theApp.Run(instance);
}
