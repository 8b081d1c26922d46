#include "TempovaForLutegateDlg.h"

#include "AboutDlg.h"
#include "Preferences.h"
#include "ProgramLists.h"
#include "WinApp.h"
#include "resource.h"

#include <cstring>
#include <vector>

using kelvora_core::Preferences;

namespace {

// The speed product's main window.
const char* const kTempovaWindowClass = "#32770";
const char* const kTempovaWindowTitle = "Kelvora Tempova LoaderApp";

HWND findTempovaWindow() {
    return FindWindowA(kTempovaWindowClass, kTempovaWindowTitle);
}

// Starts the speed product by its bare file name; the search order finds it
// beside this executable first. Nothing waits on it.
void startTempova() {
    const std::string command = LoadResourceString(IDS_TEMPOVA_EXE);
    std::vector<char> commandLine(command.begin(), command.end());
    commandLine.push_back('\0');
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                       &startup, &process)) {
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
}

} // namespace

const MessageEntry CTempovaForLutegateDlg::s_messageEntries[] = {
    msg::onSysCommand<CTempovaForLutegateDlg, &CTempovaForLutegateDlg::OnSysCommand>(),
    msg::onPaint<CTempovaForLutegateDlg, &CTempovaForLutegateDlg::OnPaint>(),
    msg::onQueryDragIcon<CTempovaForLutegateDlg, &CTempovaForLutegateDlg::OnQueryDragIcon>(),
    msg::onBnClicked<CTempovaForLutegateDlg, &CTempovaForLutegateDlg::OnBnClickedApply>(IDOK),
    msg::onBnClicked<CTempovaForLutegateDlg, &CTempovaForLutegateDlg::OnBnClickedClose>(IDCANCEL),
    msg::onTimer<CTempovaForLutegateDlg, &CTempovaForLutegateDlg::OnTimer>(),
    msg::onBnClicked<CTempovaForLutegateDlg, &CTempovaForLutegateDlg::OnBnClickedUpdate>(
        IDC_BUTTON_UPDATE),
};

const MessageMap CTempovaForLutegateDlg::s_messageMap = {
    nullptr, s_messageEntries, sizeof s_messageEntries / sizeof s_messageEntries[0]};

CTempovaForLutegateDlg::CTempovaForLutegateDlg(HWND parent)
    : CDialog(IDD_TEMPOVAFORLUTEGATE_DIALOG, parent),
      m_hIcon(LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_MAINFRAME))), m_nTimer(0),
      m_pAppNamesHelper(nullptr) {}

// The update helper is gone by now: Close or the end of the update deleted it.
CTempovaForLutegateDlg::~CTempovaForLutegateDlg() = default;

void CTempovaForLutegateDlg::DoDataExchange() {
    CDialog::DoDataExchange();
    BindControl(IDC_LIST_APPS, m_listApps);
    BindControl(IDC_STATIC_STATUS, m_staticStatus);
}

BOOL CTempovaForLutegateDlg::OnInitDialog() {
    CDialog::OnInitDialog();

    if (HMENU systemMenu = GetSystemMenu(m_hWnd, FALSE)) {
        const std::string about = LoadResourceString(IDS_ABOUTBOX);
        if (!about.empty()) {
            AppendMenuA(systemMenu, MF_SEPARATOR, 0, nullptr);
            AppendMenuA(systemMenu, MF_STRING, IDM_ABOUTBOX, about.c_str());
        }
    }

    SendMessage(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    SendMessage(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));

    m_listApps.SetExtendedStyle(LVS_EX_CHECKBOXES);
    m_staticStatus.SetWindowText(LoadResourceString(IDS_PRESS_UPDATE));

    LoadLocalCourseList();
    return TRUE;
}

void CTempovaForLutegateDlg::AddAppRow(const std::string& displayName,
                                       const std::string& programName, bool checked) {
    char* copy = new char[programName.size() + 1];
    std::memcpy(copy, programName.c_str(), programName.size() + 1);
    // The item data goes in with the text: one message and one change
    // notification less per row. The check mark must follow the insert.
    const int row = m_listApps.InsertItem(m_listApps.GetItemCount(), displayName,
                                          reinterpret_cast<DWORD_PTR>(copy));
    if (row < 0) {
        delete[] copy;
        return;
    }
    m_listApps.SetCheck(row, checked);
}

void CTempovaForLutegateDlg::ClearAppList() {
    const int rows = m_listApps.GetItemCount();
    for (int row = 0; row < rows; ++row)
        delete[] reinterpret_cast<char*>(m_listApps.GetItemData(row));
    m_listApps.DeleteAllItems();
}

void CTempovaForLutegateDlg::OnSysCommand(UINT nID, LPARAM) {
    if ((nID & 0xFFF0) == IDM_ABOUTBOX) {
        CAboutDlg dlgAbout(m_hWnd);
        dlgAbout.DoModal();
    } else {
        Default();
    }
}

// Minimised, the dialog shows its icon centred in the client area.
void CTempovaForLutegateDlg::OnPaint() {
    if (!IsIconic(m_hWnd)) {
        Default();
        return;
    }
    CPaintDC dc(m_hWnd);
    SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc.GetSafeHdc()), 0);
    const int cxIcon = GetSystemMetrics(SM_CXICON);
    const int cyIcon = GetSystemMetrics(SM_CYICON);
    RECT rect;
    GetClientRect(m_hWnd, &rect);
    const int x = (rect.right - rect.left - cxIcon + 1) / 2;
    const int y = (rect.bottom - rect.top - cyIcon + 1) / 2;
    DrawIcon(dc.GetSafeHdc(), x, y, m_hIcon);
}

HCURSOR CTempovaForLutegateDlg::OnQueryDragIcon() {
    return static_cast<HCURSOR>(m_hIcon);
}

// Apply: the checked rows' programs join both lists, the unchecked rows'
// programs leave them; then a running Tempova is restarted to read them.
void CTempovaForLutegateDlg::OnBnClickedApply() {
    m_staticStatus.SetWindowText(LoadResourceString(IDS_APPLYING));
    ApplyRowsToPreferences();
    if (HWND tempova = findTempovaWindow())
        RestartTempova(tempova);
    else
        m_staticStatus.SetWindowText(m_staticStatus.GetWindowText() + LoadResourceString(IDS_DONE));
}

void CTempovaForLutegateDlg::ApplyRowsToPreferences() {
    using namespace kelvora_core;
    using namespace program_lists;
    // getString's text lives until the next call: split it at once.
    std::vector<std::string> modules =
        splitNames(Preferences::getString(kFlashAdapter, kModulesToIntercept, kModuleDefault));
    std::vector<std::string> programs =
        splitNames(Preferences::getString(kAdapters, kProgramsToHook, kProgramDefault));

    for (int row = 0; row < m_listApps.GetItemCount(); ++row) {
        const char* programName = reinterpret_cast<const char*>(m_listApps.GetItemData(row));
        const bool checked = m_listApps.GetCheck(row);
        for (const std::string& name : splitNames(toLowerAscii(programName ? programName : ""))) {
            if (checked) {
                addName(modules, name);
                addName(programs, name);
            } else {
                removeFirstName(modules, name);
                removeFirstName(programs, name);
            }
        }
    }

    Preferences::setString(kFlashAdapter, kModulesToIntercept, joinNames(modules));
    Preferences::setString(kAdapters, kProgramsToHook, joinNames(programs));
}

// Closes the running Tempova and starts it again; the status line tells how
// far it got.
void CTempovaForLutegateDlg::RestartTempova(HWND tempova) {
    m_staticStatus.SetWindowText(LoadResourceString(IDS_CLOSING_TEMPOVA));
    PostMessageA(tempova, WM_COMMAND, IDOK, 0);
    Sleep(1000);
    m_staticStatus.SetWindowText(LoadResourceString(IDS_RESTARTING_TEMPOVA));
    startTempova();
    Sleep(1000);
    if (findTempovaWindow())
        m_staticStatus.SetWindowText(LoadResourceString(IDS_TEMPOVA_RESTARTED));
}

// Close, Esc, and the system menu's Close: ends an update under way, frees
// the rows and ends the dialog.
void CTempovaForLutegateDlg::OnBnClickedClose() {
    if (m_nTimer != 0) {
        KillTimer(m_hWnd, m_nTimer);
        m_nTimer = 0;
    }
    if (m_pAppNamesHelper)
        DeleteAppNamesHelper();
    ClearAppList();
    OnCancel();
}
