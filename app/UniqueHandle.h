#pragma once

#include <windows.h>

#include <memory>

// Closes the kernel handle it holds.
struct HandleCloser {
    void operator()(HANDLE handle) const { CloseHandle(handle); }
};
using UniqueHandle = std::unique_ptr<void, HandleCloser>;
