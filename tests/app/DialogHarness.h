#pragma once

#include "TempovaForLutegateDlg.h"
#include "TestWindows.h"
#include "resource.h"

#include <windows.h>

#include <atomic>
#include <functional>
#include <memory>
#include <string>

namespace app_test {

using test_support::waitUntil;
using test_support::windowText;

// The main dialog with two extra table rows for the tests: one runs a
// function on the dialog's thread, one sets an event when reached.
class TestDlg : public CTempovaForLutegateDlg {
    using Base = CTempovaForLutegateDlg;

public:
    // The template's language; the texts' when 0.
    LANGID m_language = 0;
    static constexpr UINT kRunMessage = WM_APP + 1;
    static constexpr UINT kMarkMessage = WM_APP + 2;

    std::atomic<HWND> m_ready{nullptr};

    // The start-up load once more, on a cleared list (dialog's thread only).
    void reloadLocalCourseList() {
        ClearAppList();
        LoadLocalCourseList();
    }
    // How long Apply waits for the speed product to close, and an update for
    // its answer; the dialog's own when 0.
    std::atomic<DWORD> m_tempovaCloseLimitMs{0};
    std::atomic<DWORD> m_updateLimitMs{0};
    // The number of rows when the dialog was told to end; -1 before.
    std::atomic<int> m_rowsAtEnd{-1};

protected:
    BOOL OnInitDialog() override;
    void OnCancel() override;
    LANGID TemplateLanguage() const override {
        return m_language ? m_language : Base::TemplateLanguage();
    }
    DWORD TempovaCloseLimitMs() const override {
        return m_tempovaCloseLimitMs ? m_tempovaCloseLimitMs.load() : Base::TempovaCloseLimitMs();
    }
    DWORD UpdateLimitMs() const override {
        return m_updateLimitMs ? m_updateLimitMs.load() : Base::UpdateLimitMs();
    }
    const MessageMap* GetMessageMap() const override { return &s_testMap; }

private:
    LRESULT OnRun(WPARAM, LPARAM lParam);
    LRESULT OnMark(WPARAM, LPARAM lParam);

    static const MessageEntry s_testEntries[];
    static const MessageMap s_testMap;
};

// A dialog of the language's own template with its font at the points given,
// handled by the dialog manager alone: 12 points at 96 DPI are 8 points at
// 144 DPI to the pixel, since the dialog's units grow with its font.
class TemplateDialog {
public:
    TemplateDialog(unsigned id, LANGID language, WORD points);
    ~TemplateDialog() { DestroyWindow(m_hwnd); }
    TemplateDialog(const TemplateDialog&) = delete;
    TemplateDialog& operator=(const TemplateDialog&) = delete;
    HWND item(int id) const { return GetDlgItem(m_hwnd, id); }
    HWND m_hwnd;
};

// The access keys that more than one of the dialog's controls has ("c" for
// "&Cancel" beside "&Close"), in small letters of any script; empty when
// each is its control's own.
std::wstring repeatedAccessKeys(HWND dialog);

// The dialog running modally on a thread of its own; the test thread drives
// it through window messages. Closes the dialog (Esc's command) and joins
// the thread on destruction if the test did not.
class RunningDialog {
public:
    // On the template of the language given, or of the texts' language.
    explicit RunningDialog(LANGID language = 0);
    ~RunningDialog();
    RunningDialog(const RunningDialog&) = delete;
    RunningDialog& operator=(const RunningDialog&) = delete;

    // The dialog's window once it is initialised and visible; null when it
    // did not come up.
    HWND hwnd() const { return m_hwnd; }
    HWND item(int id) const { return GetDlgItem(m_hwnd, id); }
    // The dialog object: only for code run on its thread (run).
    TestDlg& dialog() { return m_dialog; }

    // Runs the function on the dialog's thread and returns when it is done.
    void run(const std::function<void()>& function);
    // Returns when the dialog has handled everything posted before.
    bool flush(DWORD timeoutMs = 10000);
    void post(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
    LRESULT send(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);

    void addRow(const std::string& name, const std::string& program, bool checked);
    int rowCount();
    std::string rowText(int row);
    std::string rowProgram(int row);
    bool rowChecked(int row);
    void setChecked(int row, bool checked);

    std::string status() const { return windowText(item(IDC_STATIC_STATUS)); }

    // True when the dialog ended within the time-out; then result() holds
    // what DoModal returned.
    bool waitForEnd(DWORD timeoutMs = 10000);
    INT_PTR result() const { return m_result; }

private:
    static unsigned __stdcall threadMain(void* self);

    TestDlg m_dialog;
    HANDLE m_thread = nullptr;
    HWND m_hwnd = nullptr;
    std::atomic<INT_PTR> m_result{-2};
};

} // namespace app_test
