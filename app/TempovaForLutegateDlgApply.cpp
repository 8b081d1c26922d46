// Apply: the rows into the speed product's two lists, then the restart of
// the user's own running speed product, in timer steps.
#include "TempovaForLutegateDlg.h"

#include "ProgramLists.h"
#include "RunningTempova.h"
#include "TempovaRestart.h"
#include "Utilities.h"
#include "resource.h"

using kelvora_core::formatMessage;
using kelvora_core::loadResourceString;

namespace {
// How often the restart looks at the speed product.
constexpr UINT kRestartTimerMs = 100;

} // namespace

DWORD CTempovaForLutegateDlg::TempovaCloseLimitMs() const {
    return CTempovaRestart::kCloseLimitMs;
}

// The rows go into both lists, then the user's own speed product restarts
// to read them; lists that could not be stored restart nothing. While a
// restart runs, Apply starts no second one.
void CTempovaForLutegateDlg::OnBnClickedApply() {
    if (m_restart)
        return;
    const std::string applying = loadResourceString(IDS_APPLYING);
    ShowStatus(m_statusLine.applyText(applying, GetTickCount()));
    if (const long error = ApplyRowsToPreferences()) {
        ShowStatus(m_statusLine.applyText(
            formatMessage(IDS_ERR_APPLY, static_cast<uint32_t>(error)), GetTickCount()));
        return;
    }
    // A window of its title that is not the speed product is left alone; one
    // that cannot be checked or started again is not closed either.
    DWORD unchecked = ERROR_SUCCESS;
    if (std::unique_ptr<CRunningTempova> tempova = CRunningTempova::find(unchecked))
        StartRestart(std::move(tempova));
    else if (unchecked != ERROR_SUCCESS)
        ShowStatus(
            m_statusLine.applyText(formatMessage(IDS_ERR_RESTART, unchecked), GetTickCount()));
    else
        ShowStatus(m_statusLine.applyText(applying + loadResourceString(IDS_DONE), GetTickCount()));
}

// Both lists are written and read back, or neither is changed; 0 when both
// now hold what was written, else the platform's error code.
long CTempovaForLutegateDlg::ApplyRowsToPreferences() {
    using namespace program_lists;
    StoredList modules = storedModules();
    StoredList programs = storedPrograms();
    std::vector<RowChoice> rows;
    for (int row = 0; row < m_listApps.GetItemCount(); ++row) {
        char* data = reinterpret_cast<char*>(m_listApps.GetItemData(row));
        rows.push_back(
            RowChoice{data ? data : "", m_listApps.GetCheck(row), data && ShownCheckedOf(data)});
    }
    applyChoices(rows, modules.names, programs.names);
    if (const long error = storeBoth(modules, programs))
        return error;
    // The lists now hold what the rows show: that is where the next Apply starts.
    for (int row = 0; row < static_cast<int>(rows.size()); ++row) {
        if (char* data = reinterpret_cast<char*>(m_listApps.GetItemData(row)))
            ShownCheckedOf(data) = rows[row].checked ? 1 : 0;
    }
    return ERROR_SUCCESS;
}

// Closes the speed product and starts its executable again, in steps that
// the restart timer takes, so that the dialog keeps answering; the status
// line tells how far it got ("Applying choices..." while its command line is
// read). Apply is not available meanwhile.
void CTempovaForLutegateDlg::StartRestart(std::unique_ptr<CRunningTempova> tempova) {
    m_restart.reset(new CTempovaRestart(std::move(tempova), TempovaCloseLimitMs()));
    m_statusLine.restartStarted();
    HWND apply = GetDlgItem(m_hWnd, IDOK);
    if (GetFocus() == apply)
        SendMessage(WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(m_listApps.GetSafeHwnd()), TRUE);
    EnableWindow(apply, FALSE);
    SetTimer(m_hWnd, kRestartTimer, kRestartTimerMs, nullptr);
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
    unsigned text = 0;
    switch (m_restart->step()) {
    case Step::Reading:
        return;
    case Step::Closing:
        text = IDS_CLOSING_TEMPOVA;
        break;
    case Step::Starting:
        text = IDS_RESTARTING_TEMPOVA;
        break;
    case Step::Restarted:
        text = IDS_TEMPOVA_RESTARTED;
        break;
    case Step::NotClosed:
        text = IDS_TEMPOVA_NOT_CLOSED;
        break;
    case Step::NotStarted:
        ShowStatus(m_statusLine.applyText(formatMessage(IDS_ERR_RESTART, m_restart->error()),
                                          GetTickCount()));
        FinishRestart();
        return;
    }
    ShowStatus(m_statusLine.applyText(loadResourceString(text), GetTickCount()));
    if (m_restart->finished())
        FinishRestart();
}

// A finished restart makes Apply available again. A dialog that Close hid
// meanwhile ends now, or comes back with the failure, shown before Apply
// comes back, so that an available Apply is never on a hidden dialog.
void CTempovaForLutegateDlg::FinishRestart() {
    const bool restarted = m_restart->step() == CTempovaRestart::Step::Restarted;
    KillTimer(m_hWnd, kRestartTimer);
    m_restart.reset();
    ShowStatus(m_statusLine.restartEnded(GetTickCount()));
    if (m_presence.endsAfterRestart(m_hWnd, restarted)) {
        EndTheDialog();
        return;
    }
    EnableWindow(GetDlgItem(m_hWnd, IDOK), TRUE);
}
