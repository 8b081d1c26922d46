#pragma once

#include "Dialog.h"
#include "LiveRegion.h"

#include <memory>
#include <string>
#include <utility>
#include <vector>

class CAppNamesHelper;
class CRunningTempova;
class CTempovaRestart;

// The tool's one window: the list of course applications with their check
// boxes, the status line, and the Update, Apply and Close buttons.
class CTempovaForLutegateDlg : public CDialog {
public:
    explicit CTempovaForLutegateDlg(HWND parent = nullptr);
    ~CTempovaForLutegateDlg() override;

    // Appends a row showing the display name; the row keeps its own heap copy
    // of the program file name (one or more names separated by ";") in its
    // item data.
    void AddAppRow(const std::string& displayName, const std::string& programName, bool checked);
    // Frees every row's program file name and deletes all rows.
    void ClearAppList();

    // An Update's timer ticks this often, and each tick within the update's
    // limit adds a dot to its text, never more than kMostUpdateDots.
    static constexpr UINT kUpdateTimerMs = 500;
    static constexpr unsigned kMostUpdateDots = 64;

    // True when every name of the program file name stands whole in the
    // stored ";"-separated list (names compared without case, as file names).
    static bool IsAppHooked(const std::string& hooked, const std::string& programName);

protected:
    BOOL OnInitDialog() override;
    void DoDataExchange() override;
    const MessageMap* GetMessageMap() const override { return &s_messageMap; }

    void OnSysCommand(UINT nID, LPARAM lParam);
    void OnPaint();
    HCURSOR OnQueryDragIcon();
    void OnBnClickedApply();
    void OnBnClickedClose();
    void OnTimer(UINT_PTR nIDEvent);
    void OnBnClickedUpdate();
    void OnDestroy();
    // A later copy of the tool asks this one to show its dialog; TRUE when it
    // does, FALSE when the dialog is ending.
    LRESULT OnShowFirstCopy(WPARAM, LPARAM);
    LRESULT OnWindowPosChanging(WPARAM, LPARAM lParam);
    LRESULT OnGiveBackTheForeground(WPARAM, LPARAM);

    // Fills the list from the local copy of the course list.
    void LoadLocalCourseList();
    // Who wrote the status line's text: each action writes whole texts of
    // its own and never adds to another's.
    enum class StatusSource { Tool, Update, Apply };
    // Every result and error of the tool goes to the status line through
    // here, and screen readers read its news out.
    void SetStatus(StatusSource source, const std::string& text);

    HICON m_hIcon;
    CListCtrl m_listApps;
    CStatic m_staticStatus;
    UINT_PTR m_nTimer;
    CAppNamesHelper* m_pAppNamesHelper;
    // The restart of the speed product under way; null when none.
    std::unique_ptr<CTempovaRestart> m_restart;
    // How long the speed product may take to close.
    DWORD m_tempovaCloseLimitMs;
    // When the update's request started, and how long the update may take:
    // the request's own limit and a little more.
    DWORD m_updateStarted = 0;
    DWORD m_updateLimitMs;

private:
    // Apply's steps.
    long ApplyRowsToPreferences();
    void StartRestart(std::unique_ptr<CRunningTempova> tempova);
    void AdvanceRestart();
    void ShowRestartStep();
    void FinishRestart();
    void ShowAgainWithTheFailure();
    // Frees the rows and ends the dialog.
    void EndTheDialog();

    // Update's steps.
    bool UpdateRunning() const { return m_nTimer != 0 || m_pAppNamesHelper; }
    void StartUpdate();
    void FinishUpdate();
    void ShowUpdatedList(CAppNamesHelper& helper);
    // The update's "done." has had its second: the line empties, or shows
    // again what an Apply wrote while the update ran.
    void EndDoneSecond();
    // An update's failure goes to the line; one written while a restart runs
    // is shown again a second after the restart's last text.
    void ShowUpdateFailure(const std::string& text);
    // The status line names a stored list that Apply would refuse to change.
    void ShowListApplyRefuses();
    // One row per entry, checked when the stored programs name it.
    void AddAppRows(const std::vector<std::pair<std::string, std::string>>& entries,
                    const std::string& hooked);
    // Ends the update helper's life (Close, end of an update).
    void DeleteAppNamesHelper();

    // The status line as a live region (SetStatus).
    CLiveRegion m_liveStatus;
    StatusSource m_statusSource = StatusSource::Tool;
    // The update's own text: the updating text and a dot per tick.
    std::string m_updateText;
    unsigned m_updateDots = 0;
    // The latest text an Apply wrote while an update ran; it stays readable
    // after the update's "done.".
    std::string m_applyTextDuringUpdate;
    // The failure of an update that ended while a restart ran; any text
    // written after the restart's last one makes it old news.
    std::string m_updateFailureDuringRestart;
    // Close came while a restart ran: the dialog is hidden and ends once the
    // restart has; a later copy of the tool brings it back.
    bool m_closeAfterRestart = false;
    // The window in front when the dialog manager showed the hidden dialog.
    HWND m_inFront = nullptr;
    static constexpr UINT kGiveBackTheForeground = WM_APP + 0x101;
    bool m_ending = false;
    // The restart's timer, the one of the update's "done." and the one that
    // shows an update's failure again after a restart, beside the update's (1).
    static constexpr UINT_PTR kRestartTimerId = 2;
    static constexpr UINT_PTR kDoneTimerId = 3;
    static constexpr UINT_PTR kFailureAgainTimerId = 4;
    // How long "done.", and a restart's last text before an update's failure,
    // stand before the next text.
    static constexpr UINT kDoneShownMs = 1000;

    static const MessageEntry s_messageEntries[];

protected:
    static const MessageMap s_messageMap;
};
