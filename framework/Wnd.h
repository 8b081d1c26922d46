#pragma once

#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <string>

// The first top-level window of the class and title whose process (by its
// id) is accepted; null when there is none.
HWND FindTopLevelWindow(const char* className, const char* title,
                        const std::function<bool(DWORD processId)>& accept);

// A window handle with the few operations the dialogs use. The wrapper does
// not own the window: a control belongs to its dialog, which destroys it.
// It only holds the handle between Attach and Detach.
class CWnd {
public:
    CWnd() = default;
    virtual ~CWnd() = default;
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

    void Attach(HWND hWnd) { m_hWnd = hWnd; }
    HWND Detach();
    HWND GetSafeHwnd() const { return m_hWnd; }

    void SetWindowText(const std::string& text);
    std::string GetWindowText() const;
    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const;

protected:
    HWND m_hWnd = nullptr;
};

// Static text control.
class CStatic : public CWnd {};

// List view control: rows with text, item data and a check box.
class CListCtrl : public CWnd {
public:
    DWORD SetExtendedStyle(DWORD style);
    // The check boxes as a list at the DPI has them: the size of a small icon
    // there, drawn as the theme draws a button's check box.
    void SetCheckBoxesForDpi(UINT dpi);
    int GetItemCount() const;
    // Text only: no image, state or item data. Returns the new row's index or -1.
    int InsertItem(int index, const std::string& text);
    // Text and item data in one message.
    int InsertItem(int index, const std::string& text, DWORD_PTR data);
    std::string GetItemText(int index) const;
    bool SetItemData(int index, DWORD_PTR data);
    DWORD_PTR GetItemData(int index) const;
    // Check boxes are the state images: 1 unchecked, 2 checked.
    bool SetCheck(int index, bool checked);
    bool GetCheck(int index) const;
    // The row with the focus mark (the row Space ticks), or -1.
    int GetFocusedItem() const;
    // Puts the focus mark on the row without selecting it.
    bool SetFocusedItem(int index);
    bool DeleteAllItems();
};

// The paint context of one WM_PAINT: BeginPaint on construction, EndPaint on
// destruction.
class CPaintDC {
public:
    explicit CPaintDC(HWND hWnd);
    ~CPaintDC();
    CPaintDC(const CPaintDC&) = delete;
    CPaintDC& operator=(const CPaintDC&) = delete;

    HDC GetSafeHdc() const { return m_hDC; }

private:
    HWND m_hWnd;
    PAINTSTRUCT m_ps{};
    HDC m_hDC;
};
