#pragma once

#include "Wnd.h"

#include <string>

// The framework's Help command.
constexpr UINT ID_HELP = 0xE146;

// The application object: exactly one exists, as a global object that
// registers itself on construction. WinMain calls Run, which calls
// InitInstance. This framework has no message loop of its own: a dialog
// application does all its work inside InitInstance (its modal dialog runs
// the loop) and returns FALSE, and Run then ends.
class CWinApp {
public:
    CWinApp();
    virtual ~CWinApp();
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    static CWinApp* GetApp() { return s_pApp; }

    // Called by WinMain; the process's exit code.
    int Run(HINSTANCE instance);

    // Base initialisation: takes the application's name from the executable.
    virtual BOOL InitInstance();
    virtual int ExitInstance() { return 0; }

    // Commands that no window handled; true when handled.
    virtual bool OnCmdMsg(UINT id);

    // Names the registry key under HKEY_CURRENT_USER\Software that the
    // application's profile would use. Only recorded.
    void SetRegistryKey(const char* key) { m_registryKey = key; }
    const std::string& GetRegistryKey() const { return m_registryKey; }
    const std::string& GetAppName() const { return m_appName; }
    HINSTANCE GetInstance() const { return m_instance; }

    // The main window while it exists; not owned.
    CWnd* m_pMainWnd = nullptr;

protected:
    // Default Help handler: this tool ships no help file, so there is
    // nothing to open.
    void OnHelp() {}

private:
    static CWinApp* s_pApp;
    HINSTANCE m_instance = nullptr;
    std::string m_appName;
    std::string m_registryKey;
};
