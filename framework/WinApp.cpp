#include "WinApp.h"

CWinApp* CWinApp::s_pApp = nullptr;

CWinApp::CWinApp() {
    s_pApp = this;
}

CWinApp::~CWinApp() {
    if (s_pApp == this)
        s_pApp = nullptr;
}

int CWinApp::Run(HINSTANCE instance) {
    m_instance = instance;
    InitInstance();
    return ExitInstance();
}

BOOL CWinApp::InitInstance() {
    char path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string name(path, length);
    name = name.substr(name.find_last_of("\\/") + 1);
    m_appName = name.substr(0, name.rfind('.'));
    return TRUE;
}

bool CWinApp::OnCmdMsg(UINT) {
    return false;
}
