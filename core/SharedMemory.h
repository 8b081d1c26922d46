#pragma once

#include "Waitable.h"

#include <cstdint>
#include <string>

namespace kelvora_core {

// A named paging-file block shared by every process that opens the name, found
// zero-filled by its creator and guarded by the mutex "<name>_mutex", which no
// one waits for longer than kHoldWaitMs (an operation is then dropped, or done
// unguarded). A subclass lays its record over the block.
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
