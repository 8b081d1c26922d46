#pragma once

#include "Dialog.h"
#include "DialogPresence.h"
#include "LiveRegion.h"
#include "StatusLine.h"

#include <memory>
#include <string>
#include <utility>
#include <vector>

class CAppNamesHelper;
class CRunningTempova;
class CTempovaRestart;

// The tool's one window: the list of course applications with their check
// boxes, the status line, and the Update, Apply and Close buttons (set-up and
// rows here, Update and Apply in the files named after them).
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

    // An Update's timer ticks this often.
    static constexpr UINT kUpdateTimerMs = 500;

protected:
    BOOL OnInitDialog() override;
    void DoDataExchange() override;
    const MessageMap* GetMessageMap() const override { return &s_messageMap; }
    void ReportHandlerFailure(HRESULT code) override;
    void OnDpiChanged(UINT dpi, const RECT& suggested) override;

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

    // How long the speed product may take to close, and an Update to end (the
    // request's own limit and a little more).
    virtual DWORD TempovaCloseLimitMs() const;
    virtual DWORD UpdateLimitMs() const;

    HICON m_hIcon;
    CListCtrl m_listApps;
    CStatic m_staticStatus;
    UINT_PTR m_nTimer;
    CAppNamesHelper* m_pAppNamesHelper;

private:
    // The status line shows the rules' answer, and screen readers hear it.
    void ShowStatus(const CStatusLine::Answer& answer);
    void ShowToolText(const std::string& text);
    // The local copy of the course list; empty when there is no user folder.
    static std::string LocalCopyPath();
    // The status line names a stored list that Apply would refuse to change.
    void ShowListApplyRefuses();
    // One row per entry, checked when the stored programs name it.
    void AddAppRows(const std::vector<std::pair<std::string, std::string>>& entries,
                    const std::string& hooked);
    // Frees the rows and ends the dialog.
    void EndTheDialog();
    // A row's item data, and whether the row showed checked (AddAppRow).
    static char* NewRowData(const std::string& programName, bool shownChecked);
    static char& ShownCheckedOf(char* rowData);

    // Apply's steps.
    long ApplyRowsToPreferences();
    void StartRestart(std::unique_ptr<CRunningTempova> tempova);
    void AdvanceRestart();
    void ShowRestartStep();
    void FinishRestart();

    // Update's steps.
    bool UpdateRunning() const { return m_nTimer != 0 || m_pAppNamesHelper; }
    void StartUpdate();
    void OnUpdateTick();
    void FinishUpdate();
    void ShowUpdatedList(CAppNamesHelper& helper);
    void ShowUpdateFailure(const std::string& text);
    // Ends the update helper's life (Close, end of an update).
    void DeleteAppNamesHelper();

    // The restart of the speed product under way; null when none.
    std::unique_ptr<CTempovaRestart> m_restart;
    // When the update's request started.
    DWORD m_updateStarted = 0;
    CStatusLine m_statusLine;
    CLiveRegion m_liveStatus;
    CDialogPresence m_presence;

    // The Update's timer (id 1), the restart's steps, the status line's wake-up.
    enum TimerId : UINT_PTR { kUpdateTimer = 1, kRestartTimer, kStatusTimer };
    static const MessageEntry s_messageEntries[];

protected:
    static const MessageMap s_messageMap;
};
