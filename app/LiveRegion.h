#pragma once

#include <windows.h>

#include <memory>
#include <string>

// A window whose new text screen readers read out without the focus moving
// there: the window is marked as a polite live region, and each change of its
// text that says something new is announced. Dots added to a waiting text say
// nothing new, nor does an emptied window. Used on the window's thread only.
class CLiveRegion {
public:
    CLiveRegion();
    ~CLiveRegion();
    CLiveRegion(const CLiveRegion&) = delete;
    CLiveRegion& operator=(const CLiveRegion&) = delete;

    // Once, when the window exists.
    void Mark(HWND window);
    // Before the window is destroyed.
    void Unmark();
    // After each change of the window's text.
    void TextChanged(const std::string& text);

private:
    struct Annotation;

    HWND m_window = nullptr;
    std::unique_ptr<Annotation> m_annotation;
    // The text last announced, less its trailing dots.
    std::string m_news;
};
