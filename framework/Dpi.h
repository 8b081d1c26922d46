#pragma once

#include <windows.h>

#include <vector>

// The DPI of the monitor a window is on, and what depends on it. Windows 10
// version 1607 and later answer per window; elsewhere the system's DPI
// answers (docs/PLATFORMS.md, DPI).
UINT WindowDpi(HWND window);
int SystemMetricForDpi(int index, UINT dpi);

// The executable's icon resource at the size of the metric (SM_CXICON,
// SM_CXSMICON) at the DPI; the caller destroys it.
HICON LoadIconForDpi(UINT iconId, int metric, UINT dpi);
// The window's big and small icons for the DPI; the window owns them until
// DestroyWindowIcons.
void SetWindowIconsForDpi(HWND window, UINT iconId, UINT dpi);
void DestroyWindowIcons(HWND window);

// Turns off the dialog manager's own scaling of a dialog and its controls
// on a change of DPI (Windows 10 version 1703 and later), so that the
// framework's layout is the only one.
void TakeOverDialogScaling(HWND dialog);

// What a layout at another DPI needs of a DIALOGEX template: its size and
// font in points, and each control's box, in dialog units, in its order.
struct DialogTemplateLayout {
    bool valid = false;
    WORD points = 0;
    SIZE size{};
    std::vector<RECT> controls; // left, top, width, height
};
DialogTemplateLayout ReadDialogTemplate(const void* data, DWORD bytes);

// The dialog font of the template at a DPI: the face, weight and character
// set of the dialog's own font, at the template's points.
HFONT CreateDialogFontForDpi(HWND dialog, WORD points, UINT dpi);

// The dialog manager's base units of a font: the average width of the
// alphabet's letters, rounded, and the font's height.
SIZE DialogBaseUnits(HFONT font);
// A rectangle of dialog units in pixels of those units, as the dialog
// manager places controls: each of the four numbers mapped on its own.
RECT DialogUnitsToPixels(const RECT& box, SIZE units);
