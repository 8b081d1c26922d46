#pragma once

#include "Wnd.h"

#include <cstddef>
#include <vector>

class CDialog;

// One row of a dialog's message table. The first row that matches a message
// (WM_COMMAND rows: its id, and its code or any, msg::onCommand) handles it;
// a handler that calls Decline() leaves it to the dialog manager.
using MessageHandler = LRESULT (*)(CDialog& dialog, WPARAM wParam, LPARAM lParam);

struct MessageEntry {
    UINT message;
    UINT id;   // WM_COMMAND: command id; otherwise 0
    UINT code; // WM_COMMAND: notification code; otherwise 0
    MessageHandler handler;
};

// A dialog class's table; a derived table may name its base's table, which is
// walked after its own rows.
struct MessageMap {
    const MessageMap* base;
    const MessageEntry* entries;
    std::size_t count;
};

// Rows for the handler signatures the dialogs use. F is the handler, a member
// function of the dialog class; the row names it once and the class is
// deduced from it: msg::onBnClicked<&CMyDlg::OnBnClickedApply>(IDOK).
namespace msg {

namespace detail {
template <class F> struct Owner;
template <class D, class R, class... A> struct Owner<R (D::*)(A...)> { using type = D; };
template <auto F> using OwnerOf = typename Owner<decltype(F)>::type;
// The dialog as the class that declares F.
template <auto F> OwnerOf<F>& self(CDialog& d) {
    return static_cast<OwnerOf<F>&>(d);
}

template <auto F> LRESULT callWithoutArguments(CDialog& d, WPARAM, LPARAM) {
    (self<F>(d).*F)();
    return 0;
}
} // namespace detail

// A WM_COMMAND row that matches every notification code of its command id.
constexpr UINT kAnyNotification = 0xFFFFFFFF;

template <auto F> constexpr MessageEntry onBnClicked(UINT id) {
    return {WM_COMMAND, id, BN_CLICKED, detail::callWithoutArguments<F>};
}

// The command id whatever its notification code (button, accelerator, or a
// message posted by another program).
template <auto F> constexpr MessageEntry onCommand(UINT id) {
    return {WM_COMMAND, id, kAnyNotification, detail::callWithoutArguments<F>};
}

template <auto F> constexpr MessageEntry onPaint() {
    return {WM_PAINT, 0, 0, detail::callWithoutArguments<F>};
}

template <auto F> constexpr MessageEntry onDestroy() {
    return {WM_DESTROY, 0, 0, detail::callWithoutArguments<F>};
}

template <auto F> constexpr MessageEntry onSysCommand() {
    return {WM_SYSCOMMAND, 0, 0, [](CDialog& d, WPARAM w, LPARAM l) -> LRESULT {
                (detail::self<F>(d).*F)(static_cast<UINT>(w), l);
                return 0;
            }};
}

template <auto F> constexpr MessageEntry onQueryDragIcon() {
    return {WM_QUERYDRAGICON, 0, 0, [](CDialog& d, WPARAM, LPARAM) -> LRESULT {
                return reinterpret_cast<LRESULT>((detail::self<F>(d).*F)());
            }};
}

template <auto F> constexpr MessageEntry onTimer() {
    return {WM_TIMER, 0, 0, [](CDialog& d, WPARAM w, LPARAM) -> LRESULT {
                (detail::self<F>(d).*F)(static_cast<UINT_PTR>(w));
                return 0;
            }};
}

// Any message, handled with both parameters and a result.
template <auto F> constexpr MessageEntry onMessage(UINT message) {
    return {message, 0, 0, [](CDialog& d, WPARAM w, LPARAM l) -> LRESULT {
                return (detail::self<F>(d).*F)(w, l);
            }};
}

} // namespace msg

// A modal dialog from a template in the executable's resources. The object
// owns the dialog window while DoModal runs; the window's end (EndDialog)
// ends DoModal.
class CDialog : public CWnd {
public:
    explicit CDialog(UINT templateId, HWND parent = nullptr);
    ~CDialog() override;

    // Runs the dialog until EndDialog; returns its result, or -1 when the
    // dialog could not be created.
    INT_PTR DoModal();
    void EndDialog(INT_PTR result);

protected:
    // WM_INITDIALOG: binds the controls (DoDataExchange) and centres the
    // dialog (CenterWindow). Return TRUE to let the system give the focus to
    // the first control.
    virtual BOOL OnInitDialog();
    // Centres the dialog over its owner, or on its screen's work area when it
    // has no visible owner, and keeps it whole inside that work area.
    void CenterWindow();
    // WM_DPICHANGED: the dialog takes the suggested rectangle and lays its
    // controls out as a dialog started at the new DPI has them, in the
    // template's font at that DPI. Derived dialogs add their own images.
    virtual void OnDpiChanged(UINT dpi, const RECT& suggested);
    // The language of the template DoModal shows: the language of the texts.
    virtual LANGID TemplateLanguage() const;
    // Binds control ids to wrapper objects, with BindControl.
    virtual void DoDataExchange() {}
    void BindControl(int id, CWnd& control);

    // The defaults for the commands IDOK and IDCANCEL when the table has no
    // row for them: both end the dialog.
    virtual void OnOK() { EndDialog(IDOK); }
    virtual void OnCancel() { EndDialog(IDCANCEL); }

    // Leaves the message being handled to the dialog manager's own handling
    // once the handler returns (the dialog procedure answers FALSE).
    void Decline() { m_declined = true; }
    // A handler ended by an exception: the dialog stays, and the user is
    // told. By default a box with the platform's text for the code.
    virtual void ReportHandlerFailure(HRESULT code);

    // The table of this dialog class; none by default.
    virtual const MessageMap* GetMessageMap() const { return nullptr; }

private:
    static INT_PTR CALLBACK DialogProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR Dispatch(UINT message, WPARAM wParam, LPARAM lParam);
    const MessageEntry* FindEntry(UINT message, WPARAM wParam) const;
    bool OnCommandDefault(UINT id);
    void DetachControls();

    template <class Handler> INT_PTR Guarded(Handler handler);

    void LayOutForDpi(UINT dpi);

    UINT m_templateId;
    HWND m_parent;
    const void* m_template = nullptr;
    DWORD m_templateBytes = 0;
    // The controls' font after a change of DPI; the dialog manager's before.
    HFONT m_dpiFont = nullptr;
    std::vector<CWnd*> m_boundControls;
    // The handler of the message being dispatched declined it.
    bool m_declined = false;
};
