#include "SharedMemory.h"

#include "Sentry.h"
#include "Utilities.h"

#include <cstring>

namespace kelvora_core {

CSharedMemory::CSharedMemory(const std::string& name, uint32_t size)
    : m_name(name), m_mutex((name + "_mutex").c_str(), getWorldAccessSecurityAttributes()),
      m_size(size) {
    // Opening or creating a named mapping is one kernel operation and the
    // system zero-fills a block it creates, so without the guard only the
    // fill is left out: done then, it could wipe a line another process wrote.
    CSentry hold(m_mutex, kHoldWaitMs);
    const bool created = openOrCreate();
    if (m_mapping)
        mapView(created && hold.isHeld());
}

// Unmapping this process's own view needs no guard against the others.
CSharedMemory::~CSharedMemory() {
    CSentry hold(m_mutex, kHoldWaitMs);
    unmapAndClose();
}

void* CSharedMemory::getData() {
    CSentry hold(m_mutex, kHoldWaitMs);
    return m_data;
}

// Returns true when this object created the block.
bool CSharedMemory::openOrCreate() {
    m_mapping = OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, m_name.c_str());
    if (m_mapping) {
        m_existed = true;
        return false;
    }
    m_mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, getWorldAccessSecurityAttributes(),
                                   PAGE_READWRITE, 0, m_size, m_name.c_str());
    if (!m_mapping)
        return false;
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        m_existed = true;
        return false;
    }
    return true;
}

// A block that another program made smaller than the record laid over it is
// refused, so that no access can run past the end of the view.
void CSharedMemory::mapView(bool zeroFill) {
    m_data = MapViewOfFile(m_mapping, FILE_MAP_ALL_ACCESS, 0, 0, 0);
    MEMORY_BASIC_INFORMATION region{};
    const bool bigEnough = m_data &&
                           VirtualQuery(m_data, &region, sizeof region) == sizeof region &&
                           region.RegionSize >= m_size;
    if (!bigEnough) {
        unmapAndClose();
        return;
    }
    if (zeroFill)
        std::memset(m_data, 0, m_size);
}

void CSharedMemory::unmapAndClose() {
    if (m_data) {
        UnmapViewOfFile(m_data);
        m_data = nullptr;
    }
    if (m_mapping) {
        CloseHandle(m_mapping);
        m_mapping = nullptr;
    }
}

} // namespace kelvora_core
