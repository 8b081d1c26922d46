// The dialog's set-up and wiring, its rows, the start-up load of the local
// course list, the status line and Close.
#include "TempovaForLutegateDlg.h"

#include "AboutDlg.h"
#include "AppNamesHelper.h"
#include "Dpi.h"
#include "ProgramLists.h"
#include "SingleInstance.h"
#include "TempovaRestart.h"
#include "Utilities.h"
#include "resource.h"

#include <commctrl.h>

#include <algorithm>
#include <cstring>
#include <iterator>

using kelvora_core::loadResourceString;

namespace {

// Longest wait for the start-up load: a read that takes ten times as long
// as a 100,000-entry copy is given up, and the dialog opens empty.
constexpr DWORD kLocalLoadLimitMs = 30000;

// "file:///" and the local copy's path, every backslash made a slash.
std::string localCopyUrl(std::string path) {
    std::replace(path.begin(), path.end(), '\\', '/');
    return "file:///" + path;
}

// The worker thread has ended, or was never created: no request will end.
bool workerGone(CAppNamesHelper& helper) {
    return helper.wait(0) != kelvora_core::TimedOut;
}

// Owns the start-up load's helper: a worker still reading when the dialog
// gives up frees the helper itself, so the dialog never waits on it.
struct LetGoOfHelper {
    void operator()(CAppNamesHelper* helper) const { CHTTPXMLReqHelper::letGo(helper); }
};

} // namespace

// A row's item data is a heap copy of its program file name with its zero
// byte, and after that one byte: whether the row showed checked when it was
// filled or last applied, so that Apply takes away only what the user unticked.
char* CTempovaForLutegateDlg::NewRowData(const std::string& programName, bool shownChecked) {
    char* data = new char[programName.size() + 2];
    std::memcpy(data, programName.c_str(), programName.size() + 1);
    data[programName.size() + 1] = shownChecked ? 1 : 0;
    return data;
}

char& CTempovaForLutegateDlg::ShownCheckedOf(char* rowData) {
    return rowData[std::strlen(rowData) + 1];
}

// OK and Cancel go to Apply and Close whatever their notification code, so
// that no command ends the dialog without freeing the rows and stopping an
// update (the buttons send no focus notifications: no BS_NOTIFY).
const MessageEntry CTempovaForLutegateDlg::s_messageEntries[] = {
    msg::onSysCommand<&CTempovaForLutegateDlg::OnSysCommand>(),
    msg::onPaint<&CTempovaForLutegateDlg::OnPaint>(),
    msg::onQueryDragIcon<&CTempovaForLutegateDlg::OnQueryDragIcon>(),
    msg::onCommand<&CTempovaForLutegateDlg::OnBnClickedApply>(IDOK),
    msg::onCommand<&CTempovaForLutegateDlg::OnBnClickedClose>(IDCANCEL),
    msg::onTimer<&CTempovaForLutegateDlg::OnTimer>(),
    msg::onBnClicked<&CTempovaForLutegateDlg::OnBnClickedUpdate>(IDC_BUTTON_UPDATE),
    msg::onDestroy<&CTempovaForLutegateDlg::OnDestroy>(),
    msg::onMessage<&CTempovaForLutegateDlg::OnShowFirstCopy>(CSingleInstance::kShowMessage),
    msg::onMessage<&CTempovaForLutegateDlg::OnWindowPosChanging>(WM_WINDOWPOSCHANGING),
    msg::onMessage<&CTempovaForLutegateDlg::OnGiveBackTheForeground>(
        CDialogPresence::kGiveBackTheForeground),
};

const MessageMap CTempovaForLutegateDlg::s_messageMap = {nullptr, s_messageEntries,
                                                         std::size(s_messageEntries)};

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
        const std::string about = loadResourceString(IDS_ABOUTBOX);
        if (!about.empty()) {
            AppendMenuA(systemMenu, MF_SEPARATOR, 0, nullptr);
            AppendMenuA(systemMenu, MF_STRING, IDM_ABOUTBOX, about.c_str());
        }
    }

    CSingleInstance::acceptShowMessage(m_hWnd);
    const UINT dpi = WindowDpi(m_hWnd);
    SetWindowIconsForDpi(m_hWnd, IDR_MAINFRAME, dpi);

    m_listApps.SetExtendedStyle(LVS_EX_CHECKBOXES);
    m_listApps.SetCheckBoxesForDpi(dpi);
    m_liveStatus.Mark(m_staticStatus.GetSafeHwnd());
    ShowToolText(loadResourceString(IDS_PRESS_UPDATE));

    LoadLocalCourseList();
    ShowListApplyRefuses();
    return TRUE;
}

void CTempovaForLutegateDlg::LoadLocalCourseList() {
    const std::string url = localCopyUrl(LocalCopyPath());
    const std::string hooked = program_lists::hookedPrograms();
    std::unique_ptr<CAppNamesHelper, LetGoOfHelper> owned(new CAppNamesHelper(url));
    CAppNamesHelper& helper = *owned;
    helper.startRequest();
    const DWORD start = GetTickCount();
    // The one wait on the dialog's thread: at start-up, before the dialog
    // shows, since the list is part of what it shows.
    while (!helper.isDone() && helper.m_busy && !workerGone(helper) &&
           GetTickCount() - start < kLocalLoadLimitMs)
        Sleep(1);
    // Tested again: the request may have ended between the two reads above.
    if (helper.isDone() && helper.m_status == 200)
        AddAppRows(helper.m_appNames, hooked);
}

// Empty when there is no user folder: the start then reads no copy and
// Update saves none (its save fails), rather than one in another folder.
std::string CTempovaForLutegateDlg::LocalCopyPath() {
    const std::string folder = kelvora_core::getUserAppPath();
    return folder.empty() ? folder : folder + "\\" + loadResourceString(IDS_LOCAL_COPY_NAME);
}

// A list that Apply would refuse to change is named at start, with Apply's
// own message, rather than after the user has made their choices.
void CTempovaForLutegateDlg::ShowListApplyRefuses() {
    const long refused = program_lists::readErrorOfEither(program_lists::storedModules(),
                                                          program_lists::storedPrograms());
    if (refused)
        ShowToolText(kelvora_core::formatMessage(IDS_ERR_APPLY, static_cast<uint32_t>(refused)));
}

void CTempovaForLutegateDlg::AddAppRow(const std::string& displayName,
                                       const std::string& programName, bool checked) {
    char* copy = NewRowData(programName, checked);
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

// Not redrawn while the rows go in: each insert would invalidate the list
// (docs/PERFORMANCE.md). The first row gets the focus mark when no row has
// it, so that the first Space in the list ticks a row.
void CTempovaForLutegateDlg::AddAppRows(
    const std::vector<std::pair<std::string, std::string>>& entries, const std::string& hooked) {
    m_listApps.SendMessage(WM_SETREDRAW, FALSE);
    m_listApps.SendMessage(LVM_SETITEMCOUNT, m_listApps.GetItemCount() + entries.size());
    const program_lists::HookedNames stored(hooked);
    for (const auto& entry : entries)
        AddAppRow(entry.first, entry.second, stored.hooks(entry.second));
    if (m_listApps.GetItemCount() > 0 && m_listApps.GetFocusedItem() < 0)
        m_listApps.SetFocusedItem(0);
    m_listApps.SendMessage(WM_SETREDRAW, TRUE);
    InvalidateRect(m_listApps.GetSafeHwnd(), nullptr, TRUE);
}

void CTempovaForLutegateDlg::ShowStatus(const CStatusLine::Answer& answer) {
    if (answer.changed) {
        m_staticStatus.SetWindowText(answer.text);
        m_liveStatus.TextChanged(answer.text);
    }
    if (answer.wakeInMs != 0)
        SetTimer(m_hWnd, kStatusTimer, answer.wakeInMs, nullptr);
    else
        KillTimer(m_hWnd, kStatusTimer);
}

void CTempovaForLutegateDlg::ShowToolText(const std::string& text) {
    ShowStatus(m_statusLine.toolText(text, GetTickCount()));
}

// Every result and error goes to the status line, never a box.
void CTempovaForLutegateDlg::ReportHandlerFailure(HRESULT code) {
    ShowToolText(kelvora_core::formatMessage(IDS_ERR_READY_STATE, static_cast<uint32_t>(code)));
}

// Ticks of any other timer are ignored without the default handling.
void CTempovaForLutegateDlg::OnTimer(UINT_PTR nIDEvent) {
    if (nIDEvent == kStatusTimer)
        ShowStatus(m_statusLine.timeReached(GetTickCount()));
    else if (nIDEvent == kRestartTimer && m_restart)
        AdvanceRestart();
    else if (m_nTimer != 0 && nIDEvent == m_nTimer)
        OnUpdateTick();
}

void CTempovaForLutegateDlg::OnDestroy() {
    m_liveStatus.Unmark();
    DestroyWindowIcons(m_hWnd);
}

// Laid out again as the template has it at the new DPI, with icons and check
// boxes of its sizes: as a dialog started there.
void CTempovaForLutegateDlg::OnDpiChanged(UINT dpi, const RECT& suggested) {
    CDialog::OnDpiChanged(dpi, suggested);
    SetWindowIconsForDpi(m_hWnd, IDR_MAINFRAME, dpi);
    m_listApps.SetCheckBoxesForDpi(dpi);
}

LRESULT CTempovaForLutegateDlg::OnShowFirstCopy(WPARAM, LPARAM) {
    if (!m_presence.showForLaterCopy(m_hWnd))
        return FALSE;
    CSingleInstance::bringForward(m_hWnd);
    return TRUE;
}

LRESULT CTempovaForLutegateDlg::OnWindowPosChanging(WPARAM, LPARAM lParam) {
    m_presence.onWindowPosChanging(m_hWnd, *reinterpret_cast<WINDOWPOS*>(lParam));
    return 0;
}

LRESULT CTempovaForLutegateDlg::OnGiveBackTheForeground(WPARAM, LPARAM) {
    m_presence.giveBackTheForeground(m_hWnd);
    return 0;
}

void CTempovaForLutegateDlg::OnSysCommand(UINT nID, LPARAM) {
    if ((nID & 0xFFF0) == IDM_ABOUTBOX) {
        CAboutDlg dlgAbout(m_hWnd);
        dlgAbout.DoModal();
    } else {
        Decline();
    }
}

// Minimised, the dialog shows its icon centred in the client area.
void CTempovaForLutegateDlg::OnPaint() {
    if (!IsIconic(m_hWnd)) {
        Decline();
        return;
    }
    CPaintDC dc(m_hWnd);
    SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc.GetSafeHdc()), 0);
    const UINT dpi = WindowDpi(m_hWnd);
    const int cxIcon = SystemMetricForDpi(SM_CXICON, dpi);
    const int cyIcon = SystemMetricForDpi(SM_CYICON, dpi);
    RECT rect;
    GetClientRect(m_hWnd, &rect);
    const int x = (rect.right - rect.left - cxIcon + 1) / 2;
    const int y = (rect.bottom - rect.top - cyIcon + 1) / 2;
    DrawIconEx(dc.GetSafeHdc(), x, y, m_hIcon, cxIcon, cyIcon, 0, nullptr, DI_NORMAL);
}

HCURSOR CTempovaForLutegateDlg::OnQueryDragIcon() {
    return static_cast<HCURSOR>(m_hIcon);
}

// Close, Esc, and the system menu's Close: ends an update under way. While
// the speed product restarts, the dialog is only hidden: the restart goes
// on, the tool stays the one copy, and a second start brings the dialog back.
void CTempovaForLutegateDlg::OnBnClickedClose() {
    if (UpdateRunning())
        FinishUpdate();
    if (m_restart)
        m_presence.hideForRestart(m_hWnd);
    else
        EndTheDialog();
}

void CTempovaForLutegateDlg::EndTheDialog() {
    ClearAppList();
    m_presence.setEnding();
    OnCancel();
}
