#include "TestWindows.h"

namespace test_support {

bool waitUntil(const std::function<bool()>& condition, DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    while (!condition()) {
        if (GetTickCount() - start > timeoutMs)
            return false;
        Sleep(5);
    }
    return true;
}

std::string windowText(HWND window) {
    wchar_t wide[2048] = {};
    const int length = InternalGetWindowText(window, wide, 2048);
    char narrow[4096] = {};
    const int bytes =
        WideCharToMultiByte(CP_UTF8, 0, wide, length, narrow, sizeof narrow, nullptr, nullptr);
    return std::string(narrow, bytes > 0 ? bytes : 0);
}

} // namespace test_support
