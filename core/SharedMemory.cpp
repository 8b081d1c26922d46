#include "SharedMemory.h"

#include "Sentry.h"
#include "Utilities.h"

#include <cstring>

#include <psapi.h>

namespace kelvora_core {

CSharedMemory::CSharedMemory(const std::string& name, uint32_t size)
    : m_name(name),
      m_mutex((name + "_mutex").c_str(), getSharedObjectSecurityAttributes(SharedObject::Mutex)),
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

namespace {

// The access every process is granted (getSharedObjectSecurityAttributes).
constexpr DWORD kViewAccess = FILE_MAP_READ | FILE_MAP_WRITE;

HANDLE openMapping(const std::string& name) {
    return OpenFileMappingA(kViewAccess, FALSE, name.c_str());
}

} // namespace

namespace detail {

// Every region from `start` for `size` bytes must belong to the view at `start` and be
// committed, mapped (not an image), read-write and backed by the paging file: an image or
// reserved pages pass any size check yet fault on the first write, and a file's view writes
// to the file (docs/PLATFORMS.md, a block taken first by another program).
bool isWholePagefileView(const void* start, uint32_t size) {
    const char* at = static_cast<const char*>(start);
    const char* const end = at + size;
    while (at < end) {
        MEMORY_BASIC_INFORMATION region{};
        if (VirtualQuery(at, &region, sizeof region) != sizeof region ||
            region.AllocationBase != start || region.State != MEM_COMMIT ||
            region.Type != MEM_MAPPED || region.Protect != PAGE_READWRITE)
            return false;
        at = static_cast<const char*>(region.BaseAddress) + region.RegionSize;
    }
    wchar_t file[MAX_PATH];
    return GetMappedFileNameW(GetCurrentProcess(), const_cast<void*>(start), file, MAX_PATH) == 0;
}

} // namespace detail

namespace {} // namespace

// Returns true when this object created the block. Creating a block that
// another process made in between asks for all access, which it refuses:
// it is then opened.
bool CSharedMemory::openOrCreate() {
    m_mapping = openMapping(m_name);
    if (m_mapping) {
        m_existed = true;
        return false;
    }
    m_mapping = CreateFileMappingA(INVALID_HANDLE_VALUE,
                                   getSharedObjectSecurityAttributes(SharedObject::Mapping),
                                   PAGE_READWRITE, 0, m_size, m_name.c_str());
    const DWORD error = GetLastError();
    if (!m_mapping && error == ERROR_ACCESS_DENIED)
        m_mapping = openMapping(m_name);
    m_existed = m_mapping && (error == ERROR_ALREADY_EXISTS || error == ERROR_ACCESS_DENIED);
    return m_mapping && !m_existed;
}

// A block that another program made smaller than the record laid over it, or
// of anything but committed read-write pages of the paging file, is refused:
// no access runs past the end of the view or faults on a page of it.
void CSharedMemory::mapView(bool zeroFill) {
    m_data = MapViewOfFile(m_mapping, kViewAccess, 0, 0, 0);
    if (!m_data || !detail::isWholePagefileView(m_data, m_size)) {
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
