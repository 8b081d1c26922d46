#include "Wnd.h"

#include "Dpi.h"
#include "Utilities.h"

#include <vector>

HWND FindTopLevelWindow(const char* className, const char* title,
                        const std::function<bool(DWORD processId)>& accept) {
    HWND window = nullptr;
    while ((window = FindWindowExA(nullptr, window, className, title)) != nullptr) {
        DWORD owner = 0;
        if (GetWindowThreadProcessId(window, &owner) && accept(owner))
            return window;
    }
    return nullptr;
}

HWND CWnd::Detach() {
    HWND hWnd = m_hWnd;
    m_hWnd = nullptr;
    return hWnd;
}

void CWnd::SetWindowText(const std::string& text) {
    ::SetWindowTextA(m_hWnd, text.c_str());
}

std::string CWnd::GetWindowText() const {
    const int length = GetWindowTextLengthA(m_hWnd);
    if (length <= 0)
        return std::string();
    std::vector<char> buffer(length + 1);
    const int copied = ::GetWindowTextA(m_hWnd, buffer.data(), length + 1);
    return std::string(buffer.data(), copied > 0 ? copied : 0);
}

LRESULT CWnd::SendMessage(UINT message, WPARAM wParam, LPARAM lParam) const {
    return ::SendMessageA(m_hWnd, message, wParam, lParam);
}

DWORD CListCtrl::SetExtendedStyle(DWORD style) {
    // Mask 0 means every bit: the style becomes exactly the one given.
    return static_cast<DWORD>(SendMessage(LVM_SETEXTENDEDLISTVIEWSTYLE, 0, style));
}

int CListCtrl::GetItemCount() const {
    return static_cast<int>(SendMessage(LVM_GETITEMCOUNT));
}

int CListCtrl::InsertItem(int index, const std::string& text) {
    LVITEMA item{};
    item.mask = LVIF_TEXT;
    item.iItem = index;
    item.pszText = const_cast<char*>(text.c_str());
    return static_cast<int>(SendMessage(LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item)));
}

int CListCtrl::InsertItem(int index, const std::string& text, DWORD_PTR data) {
    LVITEMA item{};
    item.mask = LVIF_TEXT | LVIF_PARAM;
    item.iItem = index;
    item.pszText = const_cast<char*>(text.c_str());
    item.lParam = static_cast<LPARAM>(data);
    return static_cast<int>(SendMessage(LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item)));
}

std::string CListCtrl::GetItemText(int index) const {
    std::vector<char> buffer(1024);
    LVITEMA item{};
    item.pszText = buffer.data();
    item.cchTextMax = static_cast<int>(buffer.size());
    const auto length = SendMessage(LVM_GETITEMTEXTA, index, reinterpret_cast<LPARAM>(&item));
    return std::string(buffer.data(), length > 0 ? length : 0);
}

namespace {

using OpenThemeForDpi = HANDLE(WINAPI*)(HWND, LPCWSTR, UINT);
using OpenTheme = HANDLE(WINAPI*)(HWND, LPCWSTR);
using DrawThemePart = HRESULT(WINAPI*)(HANDLE, HDC, int, int, const RECT*, const RECT*);
using CloseTheme = HRESULT(WINAPI*)(HANDLE);

template <class Function> Function themeFunction(const char* name) {
    return kelvora_core::loadedFunction<Function>("uxtheme.dll", name);
}

// The button theme that the common controls loaded, at the DPI where the
// system has themes per DPI (Windows 10 version 1703 and later).
HANDLE buttonTheme(HWND window, UINT dpi) {
    static const auto forDpi = themeFunction<OpenThemeForDpi>("OpenThemeDataForDpi");
    static const auto open = themeFunction<OpenTheme>("OpenThemeData");
    return forDpi ? forDpi(window, L"BUTTON", dpi) : open ? open(window, L"BUTTON") : nullptr;
}

// A check box on the window's colour, as the theme draws it, or plainly.
void drawCheckBox(HWND list, HDC dc, const RECT& box, bool checked, UINT dpi) {
    static const auto draw = themeFunction<DrawThemePart>("DrawThemeBackground");
    static const auto close = themeFunction<CloseTheme>("CloseThemeData");
    const HANDLE theme = draw && close ? buttonTheme(list, dpi) : nullptr;
    const int checkBox = 3, uncheckedNormal = 1, checkedNormal = 5; // BP_CHECKBOX, CBS_*
    if (!theme || FAILED(draw(theme, dc, checkBox, checked ? checkedNormal : uncheckedNormal, &box,
                              nullptr))) {
        RECT plain = box;
        DrawFrameControl(dc, &plain, DFC_BUTTON,
                         DFCS_BUTTONCHECK | DFCS_FLAT | (checked ? DFCS_CHECKED : 0));
    }
    if (theme)
        close(theme);
}

} // namespace

void CListCtrl::SetCheckBoxesForDpi(UINT dpi) {
    const int side = SystemMetricForDpi(SM_CXSMICON, dpi);
    const int boxSide = MulDiv(13, static_cast<int>(dpi), USER_DEFAULT_SCREEN_DPI);
    const RECT box{(side - boxSide) / 2, (side - boxSide) / 2, (side + boxSide) / 2,
                   (side + boxSide) / 2};
    HIMAGELIST images = ImageList_Create(side, side, ILC_COLOR32 | ILC_MASK, 2, 0);
    const HDC screen = GetDC(nullptr);
    const HDC dc = CreateCompatibleDC(screen);
    for (const bool checked : {false, true}) {
        const HBITMAP bitmap = CreateCompatibleBitmap(screen, side, side);
        const HGDIOBJ old = SelectObject(dc, bitmap);
        const RECT all{0, 0, side, side};
        FillRect(dc, &all, GetSysColorBrush(COLOR_WINDOW));
        drawCheckBox(m_hWnd, dc, box, checked, dpi);
        SelectObject(dc, old);
        ImageList_AddMasked(images, bitmap, GetSysColor(COLOR_WINDOW));
        DeleteObject(bitmap);
    }
    DeleteDC(dc);
    ReleaseDC(nullptr, screen);
    // The list destroys the images it holds; the ones it held before are ours.
    ImageList_Destroy(reinterpret_cast<HIMAGELIST>(
        ::SendMessageA(m_hWnd, LVM_SETIMAGELIST, LVSIL_STATE, reinterpret_cast<LPARAM>(images))));
}

bool CListCtrl::SetItemData(int index, DWORD_PTR data) {
    LVITEMA item{};
    item.mask = LVIF_PARAM;
    item.iItem = index;
    item.lParam = static_cast<LPARAM>(data);
    return SendMessage(LVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&item)) != FALSE;
}

DWORD_PTR CListCtrl::GetItemData(int index) const {
    LVITEMA item{};
    item.mask = LVIF_PARAM;
    item.iItem = index;
    if (!SendMessage(LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item)))
        return 0;
    return static_cast<DWORD_PTR>(item.lParam);
}

bool CListCtrl::SetCheck(int index, bool checked) {
    LVITEMA item{};
    item.stateMask = LVIS_STATEIMAGEMASK;
    item.state = INDEXTOSTATEIMAGEMASK(checked ? 2 : 1);
    return SendMessage(LVM_SETITEMSTATE, index, reinterpret_cast<LPARAM>(&item)) != FALSE;
}

bool CListCtrl::GetCheck(int index) const {
    const auto state = SendMessage(LVM_GETITEMSTATE, index, LVIS_STATEIMAGEMASK);
    return ((state & LVIS_STATEIMAGEMASK) >> 12) == 2;
}

int CListCtrl::GetFocusedItem() const {
    return static_cast<int>(SendMessage(LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_FOCUSED));
}

bool CListCtrl::SetFocusedItem(int index) {
    LVITEMA item{};
    item.stateMask = LVIS_FOCUSED;
    item.state = LVIS_FOCUSED;
    return SendMessage(LVM_SETITEMSTATE, index, reinterpret_cast<LPARAM>(&item)) != FALSE;
}

bool CListCtrl::DeleteAllItems() {
    return SendMessage(LVM_DELETEALLITEMS) != FALSE;
}

CPaintDC::CPaintDC(HWND hWnd) : m_hWnd(hWnd), m_hDC(BeginPaint(hWnd, &m_ps)) {}

CPaintDC::~CPaintDC() {
    EndPaint(m_hWnd, &m_ps);
}
