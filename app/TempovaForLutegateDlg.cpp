#include "TempovaForLutegateDlg.h"

#include "AboutDlg.h"
#include "HTTPXMLReqHelper.h"
#include "SettingKeys.h"
#include "ProgramLists.h"
#include "SingleInstance.h"
#include "TempovaRestart.h"
#include "Utilities.h"
#include "WinApp.h"
#include "resource.h"

#include <cstring>
#include <iterator>

using kelvora_core::loadResourceString;

namespace {
// How much longer than its request an update may take.
constexpr DWORD kUpdateGraceMs = 2000;
static_assert(CTempovaForLutegateDlg::kMostUpdateDots ==
                  (CHTTPXMLReqHelper::kServerTimeoutMs + kUpdateGraceMs) /
                      CTempovaForLutegateDlg::kUpdateTimerMs,
              "a dot a tick within the update's limit");
// How often the restart looks at the speed product.
constexpr UINT kRestartTimerMs = 100;
} // namespace

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
    msg::onMessage<&CTempovaForLutegateDlg::OnGiveBackTheForeground>(kGiveBackTheForeground),
};

const MessageMap CTempovaForLutegateDlg::s_messageMap = {nullptr, s_messageEntries,
                                                         std::size(s_messageEntries)};

CTempovaForLutegateDlg::CTempovaForLutegateDlg(HWND parent)
    : CDialog(IDD_TEMPOVAFORLUTEGATE_DIALOG, parent),
      m_hIcon(LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_MAINFRAME))), m_nTimer(0),
      m_pAppNamesHelper(nullptr), m_tempovaCloseLimitMs(CTempovaRestart::kCloseLimitMs),
      m_updateLimitMs(CHTTPXMLReqHelper::kServerTimeoutMs + kUpdateGraceMs) {}

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
    SendMessage(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    SendMessage(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));

    m_listApps.SetExtendedStyle(LVS_EX_CHECKBOXES);
    m_liveStatus.Mark(m_staticStatus.GetSafeHwnd());
    SetStatus(StatusSource::Tool, loadResourceString(IDS_PRESS_UPDATE));

    LoadLocalCourseList();
    ShowListApplyRefuses();
    return TRUE;
}

// A row's item data is a heap copy of its program file name with its zero
// byte, and after that one byte: whether the row showed checked when it was
// filled or last applied, so that Apply takes away only what the user unticked.
namespace {
char* newRowData(const std::string& programName, bool shownChecked) {
    char* data = new char[programName.size() + 2];
    std::memcpy(data, programName.c_str(), programName.size() + 1);
    data[programName.size() + 1] = shownChecked ? 1 : 0;
    return data;
}
char& shownCheckedOf(char* data) {
    return data[std::strlen(data) + 1];
}
} // namespace

void CTempovaForLutegateDlg::AddAppRow(const std::string& displayName,
                                       const std::string& programName, bool checked) {
    char* copy = newRowData(programName, checked);
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

void CTempovaForLutegateDlg::SetStatus(StatusSource source, const std::string& text) {
    if (!m_restart && !m_updateFailureDuringRestart.empty()) {
        KillTimer(m_hWnd, kFailureAgainTimerId);
        m_updateFailureDuringRestart.clear();
    }
    m_statusSource = source;
    if (source == StatusSource::Apply && m_nTimer != 0)
        m_applyTextDuringUpdate = text;
    m_staticStatus.SetWindowText(text);
    m_liveStatus.TextChanged(text);
}

void CTempovaForLutegateDlg::OnDestroy() {
    m_liveStatus.Unmark();
}

LRESULT CTempovaForLutegateDlg::OnShowFirstCopy(WPARAM, LPARAM) {
    if (m_ending)
        return FALSE;
    m_closeAfterRestart = false;
    ShowWindow(m_hWnd, SW_SHOW);
    CSingleInstance::bringForward(m_hWnd);
    return TRUE;
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

// Apply: the checked rows' programs join both lists, and the programs of
// rows the user unticked leave them; then a running Tempova is restarted to read them. When
// the lists could not be stored, the failure is shown and nothing is
// restarted: Tempova would only read the old lists. While a restart runs,
// Apply starts no second one.
void CTempovaForLutegateDlg::OnBnClickedApply() {
    if (m_restart)
        return;
    const std::string applying = loadResourceString(IDS_APPLYING);
    SetStatus(StatusSource::Apply, applying);
    if (const long error = ApplyRowsToPreferences()) {
        SetStatus(StatusSource::Apply,
                  CHTTPXMLReqHelper::errorText(IDS_ERR_APPLY, static_cast<uint32_t>(error)));
        return;
    }
    // Only the user's own speed product is closed and started: a window of
    // its title that is not, is left alone, and one that cannot be checked
    // or started again is not closed either.
    DWORD unchecked = ERROR_SUCCESS;
    if (std::unique_ptr<CRunningTempova> tempova = CRunningTempova::find(unchecked))
        StartRestart(std::move(tempova));
    else if (unchecked != ERROR_SUCCESS)
        SetStatus(StatusSource::Apply, CHTTPXMLReqHelper::errorText(IDS_ERR_RESTART, unchecked));
    else
        SetStatus(StatusSource::Apply, applying + loadResourceString(IDS_DONE));
}

// Both lists are written and read back, or neither is changed; 0 when both
// now hold what was written, else the platform's error code.
long CTempovaForLutegateDlg::ApplyRowsToPreferences() {
    using namespace kelvora_core;
    using namespace program_lists;
    StoredList modules = storedModules();
    StoredList programs = storedPrograms();
    std::vector<RowChoice> rows;
    for (int row = 0; row < m_listApps.GetItemCount(); ++row) {
        char* data = reinterpret_cast<char*>(m_listApps.GetItemData(row));
        rows.push_back(
            RowChoice{data ? data : "", m_listApps.GetCheck(row), data && shownCheckedOf(data)});
    }
    applyChoices(rows, modules.names, programs.names);
    if (const long error = storeBoth(modules, programs))
        return error;
    // The lists now hold what the rows show: that is where the next Apply starts.
    for (int row = 0; row < static_cast<int>(rows.size()); ++row) {
        if (char* data = reinterpret_cast<char*>(m_listApps.GetItemData(row)))
            shownCheckedOf(data) = rows[row].checked ? 1 : 0;
    }
    return ERROR_SUCCESS;
}

// Closes the running Tempova and starts its executable again, in steps that
// the restart timer takes, so that the dialog keeps answering; the status
// line tells how far it got ("Applying choices..." while its command line is
// read). Apply is not available meanwhile.
void CTempovaForLutegateDlg::StartRestart(std::unique_ptr<CRunningTempova> tempova) {
    m_restart.reset(new CTempovaRestart(std::move(tempova), m_tempovaCloseLimitMs));
    HWND apply = GetDlgItem(m_hWnd, IDOK);
    if (GetFocus() == apply)
        SendMessage(WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(m_listApps.GetSafeHwnd()), TRUE);
    EnableWindow(apply, FALSE);
    SetTimer(m_hWnd, kRestartTimerId, kRestartTimerMs, nullptr);
    ShowRestartStep();
}

void CTempovaForLutegateDlg::AdvanceRestart() {
    const CTempovaRestart::Step before = m_restart->step();
    if (m_restart->advance() != before)
        ShowRestartStep();
}

// The status line tells how far the restart got.
void CTempovaForLutegateDlg::ShowRestartStep() {
    using Step = CTempovaRestart::Step;
    switch (m_restart->step()) {
    case Step::Reading:
        return;
    case Step::Closing:
        SetStatus(StatusSource::Apply, loadResourceString(IDS_CLOSING_TEMPOVA));
        return;
    case Step::Starting:
        SetStatus(StatusSource::Apply, loadResourceString(IDS_RESTARTING_TEMPOVA));
        return;
    case Step::Restarted:
        SetStatus(StatusSource::Apply, loadResourceString(IDS_TEMPOVA_RESTARTED));
        break;
    case Step::NotClosed:
        SetStatus(StatusSource::Apply, loadResourceString(IDS_TEMPOVA_NOT_CLOSED));
        break;
    case Step::NotStarted:
        SetStatus(StatusSource::Apply,
                  CHTTPXMLReqHelper::errorText(IDS_ERR_RESTART, m_restart->error()));
        break;
    }
    FinishRestart();
}

// A finished restart makes Apply available again. A dialog that Close hid
// meanwhile ends now; when the restart failed, it comes back instead, so
// that the user learns that Tempova needs a start of their own: shown before
// Apply comes back, so that an available Apply is never on a hidden dialog.
void CTempovaForLutegateDlg::FinishRestart() {
    const bool restarted = m_restart->step() == CTempovaRestart::Step::Restarted;
    KillTimer(m_hWnd, kRestartTimerId);
    m_restart.reset();
    if (!m_updateFailureDuringRestart.empty())
        SetTimer(m_hWnd, kFailureAgainTimerId, kDoneShownMs, nullptr);
    if (m_closeAfterRestart) {
        m_closeAfterRestart = false;
        if (restarted) {
            EndTheDialog();
            return;
        }
        ShowAgainWithTheFailure();
    }
    EnableWindow(GetDlgItem(m_hWnd, IDOK), TRUE);
}

// The failure must be seen, but Windows keeps the foreground for the program
// the user works in (SetForegroundWindow's rules): while another program is
// in front, the dialog shows behind it and flashes until the user turns to
// it. Wine would let any program take the foreground: the rule is kept here.
void CTempovaForLutegateDlg::ShowAgainWithTheFailure() {
    DWORD owner = 0;
    GetWindowThreadProcessId(GetForegroundWindow(), &owner);
    const bool anotherInFront = owner != 0 && owner != GetCurrentProcessId();
    ShowWindow(m_hWnd, anotherInFront ? SW_SHOWNA : SW_SHOW);
    if (anotherInFront) {
        FLASHWINFO flash{sizeof flash, m_hWnd, FLASHW_ALL | FLASHW_TIMERNOFG, 0, 0};
        FlashWindowEx(&flash);
    }
}

// The dialog manager shows a modal dialog when its messages first run out,
// also one that Close hid before then (Close pressed at once after Apply):
// hidden by Close, the dialog stays hidden until the tool shows it again.
// That showing still activates it (a change of SWP_NOACTIVATE is ignored
// there), so the window in front gets the foreground back at once.
LRESULT CTempovaForLutegateDlg::OnWindowPosChanging(WPARAM, LPARAM lParam) {
    auto* position = reinterpret_cast<WINDOWPOS*>(lParam);
    if (m_closeAfterRestart && (position->flags & SWP_SHOWWINDOW)) {
        position->flags &= ~SWP_SHOWWINDOW;
        m_inFront = GetForegroundWindow();
        PostMessage(m_hWnd, kGiveBackTheForeground, 0, 0);
    }
    return 0;
}

LRESULT CTempovaForLutegateDlg::OnGiveBackTheForeground(WPARAM, LPARAM) {
    if (m_closeAfterRestart && GetForegroundWindow() == m_hWnd && m_inFront != m_hWnd &&
        IsWindow(m_inFront))
        SetForegroundWindow(m_inFront);
    return 0;
}

// Close, Esc, and the system menu's Close: ends an update under way. While
// the speed product restarts, the dialog is only hidden: the restart goes
// on, the tool stays the one copy, and a second start brings the dialog back
// with the restart's state.
void CTempovaForLutegateDlg::OnBnClickedClose() {
    if (UpdateRunning())
        FinishUpdate();
    if (!m_restart) {
        EndTheDialog();
        return;
    }
    m_closeAfterRestart = true;
    ShowWindow(m_hWnd, SW_HIDE);
}

// Frees the rows and ends the dialog.
void CTempovaForLutegateDlg::EndTheDialog() {
    ClearAppList();
    m_ending = true;
    OnCancel();
}
