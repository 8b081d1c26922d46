#pragma once

#include <windows.h>

#include <functional>
#include <string>

namespace test_support {

// Waits up to the time-out for the condition, polling every 5 ms.
bool waitUntil(const std::function<bool()>& condition, DWORD timeoutMs = 10000);

// A window's text in UTF-8, read without the owner's thread (no WM_GETTEXT),
// so it can be read while that thread sleeps, also in another process.
std::string windowText(HWND window);

} // namespace test_support
