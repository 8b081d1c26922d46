// The Update command: a timer polls a course list helper that fetches the
// list from the server; the status line grows a dot a tick.
#include "TempovaForLutegateDlg.h"

#include "AppNamesHelper.h"
#include "ProgramLists.h"
#include "TextFile.h"
#include "Utilities.h"
#include "resource.h"

using kelvora_core::loadResourceString;

namespace {
// How much longer than its request an update may take.
constexpr DWORD kUpdateGraceMs = 2000;
static_assert(CStatusLine::kMostDots == (CHTTPXMLReqHelper::kServerTimeoutMs + kUpdateGraceMs) /
                                            CTempovaForLutegateDlg::kUpdateTimerMs,
              "a dot a tick within the update's limit");
} // namespace

DWORD CTempovaForLutegateDlg::UpdateLimitMs() const {
    return CHTTPXMLReqHelper::kServerTimeoutMs + kUpdateGraceMs;
}

// While an update runs the button reads Cancel, and a press cancels it, also
// before the first tick: the worker is told to give up and let go of, and
// nothing waits for it.
void CTempovaForLutegateDlg::OnBnClickedUpdate() {
    if (UpdateRunning()) {
        FinishUpdate();
        ShowStatus(m_statusLine.updateCancelled(GetTickCount()));
        return;
    }
    StartUpdate();
    if (m_nTimer != 0)
        SetDlgItemTextA(m_hWnd, IDC_BUTTON_UPDATE, loadResourceString(IDS_CANCEL).c_str());
}

void CTempovaForLutegateDlg::StartUpdate() {
    ShowStatus(m_statusLine.updateStarted(loadResourceString(IDS_UPDATING), GetTickCount()));
    m_nTimer = SetTimer(m_hWnd, kUpdateTimer, kUpdateTimerMs, nullptr);
}

// The first tick makes the helper and starts its request; each tick within
// the update's limit adds a dot; the tick that finds the request done ends
// the update.
void CTempovaForLutegateDlg::OnUpdateTick() {
    if (!m_pAppNamesHelper)
        m_pAppNamesHelper = new CAppNamesHelper("");
    CAppNamesHelper& helper = *m_pAppNamesHelper;
    // The worker sets the done event before it clears m_busy: reading m_busy
    // first, a clear flag with no done event means no request has run yet.
    if (!helper.m_busy && !helper.isDone()) {
        helper.startRequest();
        m_updateStarted = GetTickCount();
    }
    if (!helper.isDone()) {
        if (GetTickCount() - m_updateStarted < UpdateLimitMs()) {
            ShowStatus(m_statusLine.updateTick(GetTickCount()));
            return;
        }
        // A worker held up inside the platform's request object ends the
        // update all the same (docs/RELIABILITY.md, limits that remain, 4).
        ShowUpdateFailure(kelvora_core::formatMessage(IDS_ERR_INCOMPLETE, 0));
    } else if (helper.succeeded()) {
        ShowUpdatedList(helper);
    } else {
        ShowUpdateFailure(helper.m_errorText);
    }
    FinishUpdate();
}

// The document replaces the local copy first: when it cannot be saved, the
// list and the old copy stay, so that the next start lists what is shown.
void CTempovaForLutegateDlg::ShowUpdatedList(CAppNamesHelper& helper) {
    const DWORD saveError = replaceTextFile(LocalCopyPath(), helper.m_responseText);
    if (saveError != ERROR_SUCCESS) {
        ShowUpdateFailure(kelvora_core::formatMessage(IDS_ERR_SAVE, saveError));
        return;
    }
    ClearAppList();
    AddAppRows(helper.m_appNames, program_lists::hookedPrograms());
    ShowStatus(m_statusLine.updateSucceeded(loadResourceString(IDS_DONE), GetTickCount()));
}

void CTempovaForLutegateDlg::ShowUpdateFailure(const std::string& text) {
    ShowStatus(m_statusLine.updateFailed(text, GetTickCount()));
}

void CTempovaForLutegateDlg::FinishUpdate() {
    KillTimer(m_hWnd, m_nTimer);
    m_nTimer = 0;
    SetDlgItemTextA(m_hWnd, IDC_BUTTON_UPDATE, loadResourceString(IDS_UPDATE).c_str());
    DeleteAppNamesHelper();
}

// Let go rather than deleted: the worker is told to stop, and a worker still
// running keeps its helper and frees it when it ends.
void CTempovaForLutegateDlg::DeleteAppNamesHelper() {
    CHTTPXMLReqHelper::letGo(m_pAppNamesHelper);
    m_pAppNamesHelper = nullptr;
}
