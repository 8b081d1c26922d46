#pragma once

#include "Dialog.h"
#include "LiveRegion.h"

#include <memory>
#include <string>
#include <utility>
#include <vector>

class CAppNamesHelper;
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

    // Completes a restart of the speed product that Close cut short: once
    // the old process has ended (within the close limit), it is started
    // again. For the end of the tool's process, after the dialog has gone.
    void CompleteRestart();

    // True when every name of the program file name, in small letters, stands
    // whole in the stored ";"-separated list (names compared as stored).
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

    // Fills the list from the local copy of the course list.
    void LoadLocalCourseList();
    // Every result and error of the tool goes to the status line through
    // here, and screen readers read its news out.
    void SetStatus(const std::string& text);

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
    void StartRestart(HWND tempova);
    void AdvanceRestart();
    void ShowRestartStep();

    // Update's steps.
    void StartUpdate();
    void FinishUpdate();
    void ShowUpdatedList(CAppNamesHelper& helper);
    // One row per entry, checked when the stored programs name it.
    void AddAppRows(const std::vector<std::pair<std::string, std::string>>& entries,
                    const std::string& hooked);
    // Ends the update helper's life (Close, end of an update).
    void DeleteAppNamesHelper();

    // The status line as a live region (SetStatus).
    CLiveRegion m_liveStatus;
    // The restart's timer, beside the update's (1).
    static constexpr UINT_PTR kRestartTimerId = 2;

    static const MessageEntry s_messageEntries[];

protected:
    static const MessageMap s_messageMap;
};
