// The dialog framework: how a message finds its handler.
#include "Dialog.h"

#include <gtest/gtest.h>

#include <new>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

// Runs on the About box's template; posts itself a few messages while it
// initialises and records which handlers they reach. Two handlers throw; the
// system menu's Close is declined.
class ProbeDlg : public CDialog {
public:
    ProbeDlg() : CDialog(100) {}
    std::vector<std::string> m_calls;

protected:
    BOOL OnInitDialog() override {
        CDialog::OnInitDialog();
        PostMessageA(m_hWnd, WM_TIMER, 5, 0);
        PostMessageA(m_hWnd, WM_COMMAND, MAKEWPARAM(7, BN_CLICKED), 0);
        PostMessageA(m_hWnd, WM_COMMAND, MAKEWPARAM(7, BN_DOUBLECLICKED), 0); // no row
        PostMessageA(m_hWnd, WM_COMMAND, MAKEWPARAM(8, BN_CLICKED), 0);       // no row
        PostMessageA(m_hWnd, WM_COMMAND, MAKEWPARAM(9, BN_CLICKED), 0);       // throws
        PostMessageA(m_hWnd, WM_COMMAND, MAKEWPARAM(10, BN_CLICKED), 0);      // throws
        PostMessageA(m_hWnd, WM_COMMAND, IDOK, 0);                            // the default
        PostMessageA(m_hWnd, WM_SYSCOMMAND, SC_CLOSE, 0); // the dialog manager's Cancel
        return TRUE;
    }
    void OnOK() override { m_calls.push_back("OnOK"); }
    void OnCancel() override {
        m_calls.push_back("OnCancel");
        CDialog::OnCancel();
    }
    void ReportHandlerFailure(HRESULT code) override {
        m_calls.push_back(code == E_OUTOFMEMORY ? "no memory" : "unexpected");
    }
    const MessageMap* GetMessageMap() const override { return &s_map; }

    void OnFirstTimer(UINT_PTR id) { m_calls.push_back("first timer " + std::to_string(id)); }
    void OnSecondTimer(UINT_PTR) { m_calls.push_back("second timer"); }
    void OnClicked7() { m_calls.push_back("clicked 7"); }
    void OnClicked9() { throw std::bad_alloc(); }
    void OnClicked10() { throw std::runtime_error("failed"); }
    void OnSysCommand(UINT, LPARAM) { Decline(); }

    static const MessageEntry s_entries[];
    static const MessageMap s_map;
};

const MessageEntry ProbeDlg::s_entries[] = {
    msg::onTimer<&ProbeDlg::OnFirstTimer>(),    msg::onBnClicked<&ProbeDlg::OnClicked7>(7),
    msg::onBnClicked<&ProbeDlg::OnClicked9>(9), msg::onBnClicked<&ProbeDlg::OnClicked10>(10),
    msg::onTimer<&ProbeDlg::OnSecondTimer>(),   msg::onSysCommand<&ProbeDlg::OnSysCommand>(),
};
const MessageMap ProbeDlg::s_map = {nullptr, s_entries, std::size(s_entries)};

// A derived table is walked before its base's.
class DerivedProbeDlg : public ProbeDlg {
protected:
    const MessageMap* GetMessageMap() const override { return &s_derivedMap; }
    void OnDerivedTimer(UINT_PTR) { m_calls.push_back("derived timer"); }

    static const MessageEntry s_derivedEntries[];
    static const MessageMap s_derivedMap;
};

const MessageEntry DerivedProbeDlg::s_derivedEntries[] = {
    msg::onTimer<&DerivedProbeDlg::OnDerivedTimer>(),
};
const MessageMap DerivedProbeDlg::s_derivedMap = {&ProbeDlg::s_map, s_derivedEntries,
                                                  std::size(s_derivedEntries)};

} // namespace

// A handler that throws ends alone: the dialog goes on and is told. A
// declined message gets the dialog manager's own handling.
TEST(DialogFramework, FirstMatchingRowWinsAndUnmatchedCommandsGetTheDefaults) {
    ProbeDlg dialog;
    EXPECT_EQ(dialog.DoModal(), IDCANCEL);
    EXPECT_EQ(dialog.m_calls, (std::vector<std::string>{"first timer 5", "clicked 7", "no memory",
                                                        "unexpected", "OnOK", "OnCancel"}));
}

TEST(DialogFramework, DerivedRowsComeBeforeTheBaseRows) {
    DerivedProbeDlg dialog;
    EXPECT_EQ(dialog.DoModal(), IDCANCEL);
    EXPECT_EQ(dialog.m_calls, (std::vector<std::string>{"derived timer", "clicked 7", "no memory",
                                                        "unexpected", "OnOK", "OnCancel"}));
}

TEST(DialogFramework, MissingTemplateFailsTheModalRun) {
    class Missing : public CDialog {
    public:
        Missing() : CDialog(4242) {}
    } dialog;
    EXPECT_EQ(dialog.DoModal(), -1);
}
