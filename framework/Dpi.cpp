#include "Dpi.h"

#include "Utilities.h"

#include <utility>

namespace {

template <class Function> Function user32Function(const char* name) {
    return kelvora_core::loadedFunction<Function>("user32.dll", name);
}

UINT systemDpi() {
    const HDC screen = GetDC(nullptr);
    const UINT dpi = static_cast<UINT>(GetDeviceCaps(screen, LOGPIXELSX));
    ReleaseDC(nullptr, screen);
    return dpi ? dpi : USER_DEFAULT_SCREEN_DPI;
}

// Reads a template's text or ordinal and moves past it.
void skipTextOrOrdinal(const WORD*& at, const WORD* end) {
    if (at < end && *at == 0xFFFF) {
        at += 2;
        return;
    }
    while (at < end && *at++ != 0) {
    }
}

const WORD* alignedToDword(const WORD* at, const void* start) {
    const auto offset = reinterpret_cast<const BYTE*>(at) - static_cast<const BYTE*>(start);
    return offset % 4 ? at + 1 : at;
}

} // namespace

UINT WindowDpi(HWND window) {
    static const auto forWindow = user32Function<UINT(WINAPI*)(HWND)>("GetDpiForWindow");
    const UINT dpi = forWindow ? forWindow(window) : 0;
    return dpi ? dpi : systemDpi();
}

int SystemMetricForDpi(int index, UINT dpi) {
    static const auto forDpi = user32Function<int(WINAPI*)(int, UINT)>("GetSystemMetricsForDpi");
    return forDpi ? forDpi(index, dpi) : MulDiv(GetSystemMetrics(index), dpi, systemDpi());
}

HICON LoadIconForDpi(UINT iconId, int metric, UINT dpi) {
    const int side = SystemMetricForDpi(metric, dpi);
    return static_cast<HICON>(
        LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(iconId), IMAGE_ICON, side, side, 0));
}

void SetWindowIconsForDpi(HWND window, UINT iconId, UINT dpi) {
    for (const auto& [which, metric] : {std::pair<WPARAM, int>{ICON_BIG, SM_CXICON},
                                        std::pair<WPARAM, int>{ICON_SMALL, SM_CXSMICON}}) {
        const LPARAM icon = reinterpret_cast<LPARAM>(LoadIconForDpi(iconId, metric, dpi));
        if (const LRESULT old = SendMessageA(window, WM_SETICON, which, icon))
            DestroyIcon(reinterpret_cast<HICON>(old));
    }
}

void DestroyWindowIcons(HWND window) {
    for (const WPARAM which : {ICON_BIG, ICON_SMALL}) {
        if (const LRESULT old = SendMessageA(window, WM_SETICON, which, 0))
            DestroyIcon(reinterpret_cast<HICON>(old));
    }
}

void TakeOverDialogScaling(HWND dialog) {
    static const auto dialogBehaviour =
        user32Function<BOOL(WINAPI*)(HWND, DWORD, DWORD)>("SetDialogDpiChangeBehavior");
    static const auto controlBehaviour =
        user32Function<BOOL(WINAPI*)(HWND, DWORD, DWORD)>("SetDialogControlDpiChangeBehavior");
    if (!dialogBehaviour || !controlBehaviour)
        return;
    const DWORD disableAll = 0x1;            // DDC_DISABLE_ALL
    const DWORD fontAndRelayout = 0x1 | 0x2; // DCDC_DISABLE_FONT_UPDATE, DCDC_DISABLE_RELAYOUT
    dialogBehaviour(dialog, disableAll, disableAll);
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        controlBehaviour(child, fontAndRelayout, fontAndRelayout);
}

// DLGTEMPLATEEX, then a DLGITEMTEMPLATEEX for each control, each on a DWORD.
DialogTemplateLayout ReadDialogTemplate(const void* data, DWORD bytes) {
    DialogTemplateLayout layout;
    const auto* at = static_cast<const WORD*>(data);
    const auto* end = reinterpret_cast<const WORD*>(static_cast<const BYTE*>(data) + bytes);
    if (bytes < 26 || at[0] != 1 || at[1] != 0xFFFF)
        return layout;
    const DWORD style = at[6] | (static_cast<DWORD>(at[7]) << 16);
    const WORD count = at[8];
    layout.size = SIZE{static_cast<SHORT>(at[11]), static_cast<SHORT>(at[12])};
    at += 13;
    for (int text = 0; text < 3; ++text) // menu, class, title
        skipTextOrOrdinal(at, end);
    if (style & DS_SETFONT) {
        layout.points = *at;
        at += 3;
        skipTextOrOrdinal(at, end);
    }
    for (WORD item = 0; item < count; ++item) {
        at = alignedToDword(at, data);
        if (at + 12 > end)
            return layout;
        layout.controls.push_back(RECT{static_cast<SHORT>(at[6]), static_cast<SHORT>(at[7]),
                                       static_cast<SHORT>(at[8]), static_cast<SHORT>(at[9])});
        at += 12;
        skipTextOrOrdinal(at, end); // class
        skipTextOrOrdinal(at, end); // text
        at += 1 + (at < end ? (*at + 1) / 2 : 0);
    }
    layout.valid = at <= end;
    return layout;
}

HFONT CreateDialogFontForDpi(HWND dialog, WORD points, UINT dpi) {
    LOGFONTW font{};
    const auto current = reinterpret_cast<HFONT>(SendMessageW(dialog, WM_GETFONT, 0, 0));
    if (!current || !GetObjectW(current, sizeof font, &font))
        return nullptr;
    font.lfHeight = -MulDiv(points, static_cast<int>(dpi), 72);
    font.lfWidth = 0;
    return CreateFontIndirectW(&font);
}

SIZE DialogBaseUnits(HFONT font) {
    const HDC dc = GetDC(nullptr);
    const HGDIOBJ old = SelectObject(dc, font);
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc, &metrics);
    const wchar_t* const letters = L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    SIZE extent{};
    GetTextExtentPoint32W(dc, letters, 52, &extent);
    SelectObject(dc, old);
    ReleaseDC(nullptr, dc);
    return SIZE{(extent.cx / 26 + 1) / 2, metrics.tmHeight};
}

RECT DialogUnitsToPixels(const RECT& box, SIZE units) {
    return RECT{MulDiv(box.left, units.cx, 4), MulDiv(box.top, units.cy, 8),
                MulDiv(box.right, units.cx, 4), MulDiv(box.bottom, units.cy, 8)};
}
