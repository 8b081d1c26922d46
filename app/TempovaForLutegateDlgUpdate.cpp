// The start-up load of the local course list and the Update command with its
// timer. Both read the course list through a CAppNamesHelper: the start-up
// load from the local copy, Update from the server.
#include "TempovaForLutegateDlg.h"

#include "AppNamesHelper.h"
#include "Preferences.h"
#include "ProgramLists.h"
#include "TextFile.h"
#include "Utilities.h"
#include "WinApp.h"
#include "resource.h"

#include <commctrl.h>

#include <algorithm>
#include <memory>
#include <unordered_set>
#include <vector>

using kelvora_core::loadResourceString;
using kelvora_core::Preferences;

namespace {

constexpr UINT_PTR kUpdateTimerId = 1;
// Longest wait for the start-up load. Reading a 100,000-entry copy takes a
// few seconds under Wine; the file read has no time-out of its own, so a read
// that takes ten times that long is given up and the dialog opens empty.
constexpr DWORD kLocalLoadLimitMs = 30000;

// Empty when there is no user folder: the start then reads no copy and
// Update saves none (its save fails), rather than one in another folder.
std::string localCopyPath() {
    const std::string folder = kelvora_core::getUserAppPath();
    return folder.empty() ? folder : folder + "\\" + loadResourceString(IDS_LOCAL_COPY_NAME);
}

// "file:///" and the local copy's path, every backslash made a slash.
std::string localCopyUrl() {
    std::string url = "file:///" + localCopyPath();
    std::replace(url.begin(), url.end(), '\\', '/');
    return url;
}

// The programs Apply starts from, read as Apply reads them: the stored list,
// the default when none is stored, and none when it cannot be read.
std::string hookedPrograms() {
    return program_lists::joinNames(program_lists::storedPrograms().names);
}

// The stored names by their keys.
using StoredNames = std::unordered_set<std::string>;

StoredNames storedNames(const std::string& hooked) {
    StoredNames stored;
    for (const std::string& name : program_lists::splitNames(hooked))
        stored.insert(program_lists::nameKey(name));
    return stored;
}

// Hooked when every name of the row stands whole in the stored list, compared
// as Apply compares them: without case, as file names. A row without a name
// hooks nothing.
bool isHookedIn(const StoredNames& stored, const std::string& programName) {
    const std::vector<std::string> names = program_lists::splitNames(programName);
    return !names.empty() && std::all_of(names.begin(), names.end(), [&](const std::string& name) {
        return stored.count(program_lists::nameKey(name)) != 0;
    });
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

// The list is not redrawn while the rows go in: otherwise every insert and
// check mark invalidates the list (a trip to the window server each) and a
// visible list lays itself out anew, which made 1,000 rows take seconds.
// The first row gets the focus mark when no row has it, so that the first
// Space in the list ticks a row.
void CTempovaForLutegateDlg::AddAppRows(
    const std::vector<std::pair<std::string, std::string>>& entries, const std::string& hooked) {
    m_listApps.SendMessage(WM_SETREDRAW, FALSE);
    m_listApps.SendMessage(LVM_SETITEMCOUNT, m_listApps.GetItemCount() + entries.size());
    const StoredNames stored = storedNames(hooked);
    for (const auto& entry : entries)
        AddAppRow(entry.first, entry.second, isHookedIn(stored, entry.second));
    if (m_listApps.GetItemCount() > 0 && m_listApps.GetFocusedItem() < 0)
        m_listApps.SetFocusedItem(0);
    m_listApps.SendMessage(WM_SETREDRAW, TRUE);
    InvalidateRect(m_listApps.GetSafeHwnd(), nullptr, TRUE);
}

void CTempovaForLutegateDlg::LoadLocalCourseList() {
    const std::string url = localCopyUrl();
    const std::string hooked = hookedPrograms();
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

// A list that Apply would refuse to change is named at start, with Apply's
// own message, rather than after the user has made their choices.
void CTempovaForLutegateDlg::ShowListApplyRefuses() {
    const long refused = program_lists::readErrorOfEither(program_lists::storedModules(),
                                                          program_lists::storedPrograms());
    if (refused)
        SetStatus(StatusSource::Tool,
                  CHTTPXMLReqHelper::errorText(IDS_ERR_APPLY, static_cast<uint32_t>(refused)));
}

// While an update runs the button reads Cancel, and a press cancels it, also
// before the first tick: the worker is told to give up and let go of, and
// nothing waits for it. Nothing is fetched any more, so the line no longer
// asks the user to wait: the update's text goes, and an Apply's text stays.
void CTempovaForLutegateDlg::OnBnClickedUpdate() {
    if (UpdateRunning()) {
        FinishUpdate();
        if (m_statusSource == StatusSource::Update)
            SetStatus(StatusSource::Tool, "");
        return;
    }
    StartUpdate();
    if (m_nTimer != 0)
        SetDlgItemTextA(m_hWnd, IDC_BUTTON_UPDATE, loadResourceString(IDS_CANCEL).c_str());
}

void CTempovaForLutegateDlg::StartUpdate() {
    KillTimer(m_hWnd, kDoneTimerId);
    m_applyTextDuringUpdate.clear();
    m_updateFailureDuringRestart.clear();
    m_updateText = loadResourceString(IDS_UPDATING);
    m_updateDots = 0;
    SetStatus(StatusSource::Update, m_updateText);
    m_nTimer = SetTimer(m_hWnd, kUpdateTimerId, kUpdateTimerMs, nullptr);
}

// The restart's ticks move the restart on, the one tick of the "done." timer
// ends its second, and the one after a restart shows an update's failure
// again. Ticks of any other timer, and ticks while no update runs, are
// ignored without the default handling.
void CTempovaForLutegateDlg::OnTimer(UINT_PTR nIDEvent) {
    if (nIDEvent == kRestartTimerId && m_restart) {
        AdvanceRestart();
        return;
    }
    if (nIDEvent == kDoneTimerId) {
        EndDoneSecond();
        return;
    }
    if (nIDEvent == kFailureAgainTimerId) {
        // A tick already queued when the failure was forgotten shows nothing.
        const std::string failure = m_updateFailureDuringRestart;
        if (!failure.empty())
            SetStatus(StatusSource::Update, failure);
        return;
    }
    if (m_nTimer == 0 || nIDEvent != m_nTimer)
        return;
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
        if (GetTickCount() - m_updateStarted < m_updateLimitMs) {
            // The dots go onto the update's own text only, and show while
            // no other action has written the line since. A tick that comes
            // early adds none beyond the most the line has room for.
            if (m_updateDots < kMostUpdateDots) {
                ++m_updateDots;
                m_updateText += ".";
            }
            if (m_statusSource == StatusSource::Update)
                SetStatus(StatusSource::Update, m_updateText);
            return;
        }
        // The worker is held up inside the platform's request object (by an
        // answer that floods in, under Wine): the update ends all the same.
        ShowUpdateFailure(CHTTPXMLReqHelper::errorText(IDS_ERR_INCOMPLETE, 0));
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
    // Without a user folder the path is empty and the save fails.
    const DWORD saveError = replaceTextFile(localCopyPath(), helper.m_responseText);
    if (saveError != ERROR_SUCCESS) {
        ShowUpdateFailure(CHTTPXMLReqHelper::errorText(IDS_ERR_SAVE, saveError));
        return;
    }
    ClearAppList();
    AddAppRows(helper.m_appNames, hookedPrograms());
    SetStatus(StatusSource::Update, m_updateText + "." + loadResourceString(IDS_DONE));
    SetTimer(m_hWnd, kDoneTimerId, kDoneShownMs, nullptr);
}

// Only the update's own "done." goes: a text that another action wrote since
// stays. An Apply that wrote while the update ran (its result, its failure,
// or how far its restart got) is shown again, so that it can still be read.
void CTempovaForLutegateDlg::EndDoneSecond() {
    KillTimer(m_hWnd, kDoneTimerId);
    if (m_statusSource != StatusSource::Update)
        return;
    if (m_applyTextDuringUpdate.empty())
        SetStatus(StatusSource::Tool, "");
    else
        SetStatus(StatusSource::Apply, m_applyTextDuringUpdate);
}

// The failure is the latest word on the list: when a restart's texts follow
// it, it comes back once the restart's last text has had its second, unless
// something else has been written meanwhile (SetStatus forgets it then).
void CTempovaForLutegateDlg::ShowUpdateFailure(const std::string& text) {
    SetStatus(StatusSource::Update, text);
    if (m_restart)
        m_updateFailureDuringRestart = text;
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

bool CTempovaForLutegateDlg::IsAppHooked(const std::string& hooked,
                                         const std::string& programName) {
    return isHookedIn(storedNames(hooked), programName);
}
