#pragma once

#include "Waitable.h"

#include <cstdint>
#include <string>

namespace kelvora_core {

// A named block in the paging file shared by every process that opens the
// same name, guarded by the named mutex "<name>_mutex". The creator finds it
// zero-filled. A subclass lays its record over the block and guards every
// access with m_mutex.
// Any process of the user may take that mutex and keep it, so no one waits
// for it longer than kHoldWaitMs: an operation that did not get it by then
// is dropped (or, for opening and closing, done without the guard).
class CSharedMemory {
public:
    // Far above the longest report under ordinary contention (docs/PERFORMANCE.md,
    // Diagnostics).
    static constexpr uint32_t kHoldWaitMs = 250;

    CSharedMemory(const std::string& name, uint32_t size);
    virtual ~CSharedMemory();

    // Start of the mapped block, or null when it could not be opened.
    void* getData();
    bool existed() const { return m_existed; }

    CSharedMemory(const CSharedMemory&) = delete;
    CSharedMemory& operator=(const CSharedMemory&) = delete;

protected:
    std::string m_name;
    HANDLE m_mapping = nullptr;
    CMutex m_mutex;
    void* m_data = nullptr;
    bool m_existed = false;
    uint32_t m_size;

private:
    bool openOrCreate();
    void mapView(bool zeroFill);
    void unmapAndClose();
};

namespace detail {
// True when the `size` bytes at `start` are one view's committed read-write
// pages of the paging file.
bool isWholePagefileView(const void* start, uint32_t size);
} // namespace detail

} // namespace kelvora_core
