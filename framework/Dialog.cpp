#include "Dialog.h"

#include "Dpi.h"

#include "Utilities.h"
#include "WinApp.h"

#include <algorithm>
#include <new>

CDialog::CDialog(UINT templateId, HWND parent) : m_templateId(templateId), m_parent(parent) {}

CDialog::~CDialog() {
    DetachControls();
}

// The template in the language of the texts: with the neutral language,
// FindResourceEx finds the one Windows would show, as DialogBoxParam does.
INT_PTR CDialog::DoModal() {
    const HMODULE module = GetModuleHandleA(nullptr);
    const HRSRC found =
        FindResourceExA(module, RT_DIALOG, MAKEINTRESOURCEA(m_templateId), TemplateLanguage());
    const auto* dialogTemplate =
        found ? static_cast<LPCDLGTEMPLATEA>(LockResource(LoadResource(module, found))) : nullptr;
    m_template = dialogTemplate;
    m_templateBytes = found ? SizeofResource(module, found) : 0;
    const INT_PTR result = dialogTemplate
                               ? DialogBoxIndirectParamA(module, dialogTemplate, m_parent,
                                                         DialogProc, reinterpret_cast<LPARAM>(this))
                               : -1;
    DetachControls();
    m_hWnd = nullptr;
    if (m_dpiFont)
        DeleteObject(m_dpiFont);
    m_dpiFont = nullptr;
    return result;
}

void CDialog::OnDpiChanged(UINT dpi, const RECT& suggested) {
    SetWindowPos(m_hWnd, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
                 suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
    LayOutForDpi(dpi);
}

// The client area is the template's size at the DPI, the window's frame
// being what it is; the controls are its children in the template's order.
void CDialog::LayOutForDpi(UINT dpi) {
    const DialogTemplateLayout layout = ReadDialogTemplate(m_template, m_templateBytes);
    const HFONT font = layout.valid ? CreateDialogFontForDpi(m_hWnd, layout.points, dpi) : nullptr;
    if (!font)
        return;
    const SIZE units = DialogBaseUnits(font);
    const RECT size = DialogUnitsToPixels(RECT{0, 0, layout.size.cx, layout.size.cy}, units);
    RECT window{}, client{};
    GetWindowRect(m_hWnd, &window);
    GetClientRect(m_hWnd, &client);
    SetWindowPos(m_hWnd, nullptr, 0, 0, window.right - window.left + size.right - client.right,
                 window.bottom - window.top + size.bottom - client.bottom,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    HWND child = GetWindow(m_hWnd, GW_CHILD);
    for (const RECT& control : layout.controls) {
        if (!child)
            break;
        const RECT box = DialogUnitsToPixels(control, units);
        SetWindowPos(child, nullptr, box.left, box.top, box.right, box.bottom,
                     SWP_NOZORDER | SWP_NOACTIVATE);
        ::SendMessageA(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
        child = GetWindow(child, GW_HWNDNEXT);
    }
    if (m_dpiFont)
        DeleteObject(m_dpiFont);
    m_dpiFont = font;
}

LANGID CDialog::TemplateLanguage() const {
    return kelvora_core::textLanguage();
}

void CDialog::EndDialog(INT_PTR result) {
    ::EndDialog(m_hWnd, result);
}

BOOL CDialog::OnInitDialog() {
    DoDataExchange();
    CenterWindow();
    return TRUE;
}

namespace {
// True when the exception being handled is a failed allocation.
bool isOutOfMemory() {
    try {
        throw;
    } catch (const std::bad_alloc&) {
        return true;
    } catch (...) {
        return false;
    }
}

// The start of a length centred on another, kept within [low, high].
LONG centredStart(LONG aroundStart, LONG aroundEnd, LONG length, LONG low, LONG high) {
    const LONG start = aroundStart + (aroundEnd - aroundStart - length) / 2;
    return std::max(low, std::min(start, high - length));
}
} // namespace

void CDialog::CenterWindow() {
    HWND owner = GetWindow(m_hWnd, GW_OWNER);
    if (owner && (!IsWindowVisible(owner) || IsIconic(owner)))
        owner = nullptr;
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    if (!GetMonitorInfoA(MonitorFromWindow(owner ? owner : m_hWnd, MONITOR_DEFAULTTONEAREST),
                         &monitor))
        return;
    const RECT area = monitor.rcWork;
    RECT around = area, window{};
    if (owner)
        GetWindowRect(owner, &around);
    GetWindowRect(m_hWnd, &window);
    const LONG left =
        centredStart(around.left, around.right, window.right - window.left, area.left, area.right);
    const LONG top =
        centredStart(around.top, around.bottom, window.bottom - window.top, area.top, area.bottom);
    SetWindowPos(m_hWnd, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void CDialog::BindControl(int id, CWnd& control) {
    control.Attach(GetDlgItem(m_hWnd, id));
    m_boundControls.push_back(&control);
}

void CDialog::DetachControls() {
    for (CWnd* control : m_boundControls)
        control->Detach();
    m_boundControls.clear();
}

void CDialog::ReportHandlerFailure(HRESULT code) {
    char* text = nullptr;
    FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<char*>(&text), 0, nullptr);
    MessageBoxA(m_hWnd, text ? text : "", nullptr, MB_OK | MB_ICONERROR);
    LocalFree(text);
}

// What a handler throws ends that handler, not the process: unwinding
// through the system's frames of the dialog manager would abort it.
template <class Handler> INT_PTR CDialog::Guarded(Handler handler) {
    try {
        return handler();
    } catch (...) {
        try {
            ReportHandlerFailure(isOutOfMemory() ? E_OUTOFMEMORY : E_UNEXPECTED);
        } catch (...) {
        }
        return TRUE;
    }
}

// The CDialog object travels in WM_INITDIALOG's parameter and is kept in the
// window's DWLP_USER slot for every later message.
INT_PTR CALLBACK CDialog::DialogProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        auto* dialog = reinterpret_cast<CDialog*>(lParam);
        SetWindowLongPtrA(hWnd, DWLP_USER, lParam);
        dialog->m_hWnd = hWnd;
        TakeOverDialogScaling(hWnd);
        return dialog->Guarded([dialog] { return INT_PTR(dialog->OnInitDialog()); });
    }
    auto* dialog = reinterpret_cast<CDialog*>(GetWindowLongPtrA(hWnd, DWLP_USER));
    if (!dialog)
        return FALSE;
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrA(hWnd, DWLP_USER, 0);
        return FALSE;
    }
    if (message == WM_DPICHANGED) {
        const auto* suggested = reinterpret_cast<const RECT*>(lParam);
        return dialog->Guarded([&] {
            dialog->OnDpiChanged(LOWORD(wParam), *suggested);
            return INT_PTR(TRUE);
        });
    }
    return dialog->Guarded([&] { return dialog->Dispatch(message, wParam, lParam); });
}

INT_PTR CDialog::Dispatch(UINT message, WPARAM wParam, LPARAM lParam) {
    const MessageEntry* entry = FindEntry(message, wParam);
    if (!entry)
        return message == WM_COMMAND && OnCommandDefault(LOWORD(wParam));
    // A handler may run a nested modal loop: the outer message keeps its mark.
    struct Mark {
        bool& declined;
        const bool outer;
        ~Mark() { declined = outer; }
    } mark{m_declined, m_declined};
    m_declined = false;
    const LRESULT result = entry->handler(*this, wParam, lParam);
    if (m_declined)
        return FALSE;
    // A dialog procedure answers WM_QUERYDRAGICON directly; every other
    // result goes into DWLP_MSGRESULT.
    if (message == WM_QUERYDRAGICON)
        return result;
    SetWindowLongPtrA(m_hWnd, DWLP_MSGRESULT, result);
    return TRUE;
}

namespace {
bool matchesCommand(const MessageEntry& entry, WPARAM wParam) {
    return entry.id == LOWORD(wParam) &&
           (entry.code == msg::kAnyNotification || entry.code == HIWORD(wParam));
}
} // namespace

const MessageEntry* CDialog::FindEntry(UINT message, WPARAM wParam) const {
    for (const MessageMap* map = GetMessageMap(); map; map = map->base) {
        for (std::size_t i = 0; i < map->count; ++i) {
            const MessageEntry& entry = map->entries[i];
            if (entry.message != message)
                continue;
            if (message != WM_COMMAND || matchesCommand(entry, wParam))
                return &entry;
        }
    }
    return nullptr;
}

// Commands without a row: OK and Cancel end the dialog; anything else goes to
// the application object.
bool CDialog::OnCommandDefault(UINT id) {
    if (id == IDOK) {
        OnOK();
        return true;
    }
    if (id == IDCANCEL) {
        OnCancel();
        return true;
    }
    CWinApp* app = CWinApp::GetApp();
    return app && app->OnCmdMsg(id);
}
