#include "DiagData.h"

#include "Utilities.h"

#include <cstring>

namespace kelvora_core {

namespace detail {
void (*afterBlockRead)(const volatile void* field) = nullptr;
} // namespace detail

namespace {

void afterRead(const volatile void* field) {
    if (detail::afterBlockRead)
        detail::afterBlockRead(field);
}

// Each field of the untrusted block is read here, once, into a local that alone is checked and
// used; the volatile access keeps the compiler from reading it again (docs/RELIABILITY.md, the
// shared diagnostics block). Only here, so that a test can change the field right after the
// read, as any process of the user may.
template <typename T> T readOnce(const T& field) {
    const T value = *static_cast<const volatile T*>(&field);
    afterRead(&field);
    return value;
}

// A slot's text, copied out whole first and only then measured, in the copy,
// which ends in a zero byte of its own: measured in place, it would run on
// into the next slot, or into text another process has just changed.
std::string readOnce(const char (&text)[sizeof _tagDiagEventEntry::text]) {
    std::string copy(const_cast<const char*>(static_cast<const volatile char*>(text)), sizeof text);
    afterRead(text);
    copy.resize(std::strlen(copy.c_str()));
    return copy;
}

template <typename T> void writeOnce(T& field, T value) {
    *static_cast<volatile T*>(&field) = value;
}

// Both indexes, read once each; out of range (the block is corrupt, or
// another process is changing it) they are repaired to an empty ring rather
// than followed outside the block.
struct RingIndexes {
    uint32_t write;
    uint32_t read;
};

void storeIndexes(_tagDiagData& block, const RingIndexes& ring) {
    writeOnce(block.writeIndex, ring.write);
    writeOnce(block.readIndex, ring.read);
}

RingIndexes readIndexes(_tagDiagData& block) {
    RingIndexes ring{readOnce(block.writeIndex), readOnce(block.readIndex)};
    if (ring.write >= CDiagData::kSlots || ring.read >= CDiagData::kSlots) {
        ring = RingIndexes{0, 0};
        storeIndexes(block, ring);
    }
    return ring;
}

} // namespace

CDiagData::CDiagData(const std::string& blockName, const std::string& eventName)
    : CSharedMemory(blockName, sizeof(_tagDiagData)), _tagDiagData(),
      m_event(eventName.c_str(), getSharedObjectSecurityAttributes(SharedObject::Event)) {
    if (m_mapping && SetObjectToLowIntegrity(m_mapping, SE_KERNEL_OBJECT))
        m_mutex.setLowIntegrity();
    m_event.setLowIntegrity();
    if (m_existed || !m_data)
        return;
    CSentry hold(m_mutex, kHoldWaitMs);
    if (_tagDiagData* block = guardedView(hold))
        std::memset(block, 0, sizeof(_tagDiagData));
}

CDiagData::~CDiagData() = default;

// The view for one operation under `hold`; null when nothing is mapped or the mutex stayed
// held elsewhere past the bound (the operation is dropped). A block whose mutex could not be
// made at all goes unguarded. The view is read directly, not through getData: each hold of a
// named mutex is a round trip to the kernel.
_tagDiagData* CDiagData::guardedView(const CSentry& hold) {
    return hold.isHeld() || !m_mutex.getHandle() ? static_cast<_tagDiagData*>(m_data) : nullptr;
}

bool CDiagData::isLoggingActive() {
    CSentry hold(m_mutex, kHoldWaitMs);
    _tagDiagData* block = guardedView(hold);
    return block && readOnce(block->loggingActive) != 0;
}

void CDiagData::setLoggingActive(bool active) {
    CSentry hold(m_mutex, kHoldWaitMs);
    if (_tagDiagData* block = guardedView(hold))
        writeOnce<uint8_t>(block->loggingActive, active ? 1 : 0);
}

void CDiagData::addEvent(DiagEventLog::DiagEvent event, const std::string& line) {
    CSentry hold(m_mutex, kHoldWaitMs);
    _tagDiagData* block = guardedView(hold);
    if (!block)
        return;
    const uint32_t write = readIndexes(*block).write;
    _tagDiagEventEntry& slot = block->events[write];
    writeOnce<int32_t>(slot.event, event);
    const size_t length = line.size() < kMaxLine ? line.size() : kMaxLine;
    std::memcpy(slot.text, line.data(), length);
    slot.text[length] = '\0';
    writeOnce(block->writeIndex, (write + 1) % kSlots);
    m_event.set();
}

bool CDiagData::getNextEvent(DiagEventLog::DiagEvent& event, std::string& line) {
    bool busy = false;
    return getNextEvent(event, line, busy);
}

bool CDiagData::getNextEvent(DiagEventLog::DiagEvent& event, std::string& line, bool& busy) {
    CSentry hold(m_mutex, kHoldWaitMs);
    _tagDiagData* block = guardedView(hold);
    busy = !block && m_data != nullptr;
    if (!block)
        return false;
    RingIndexes ring = readIndexes(*block);
    bool taken = false;
    if (ring.read < ring.write) {
        const _tagDiagEventEntry& slot = block->events[ring.read];
        // Any number is a valid DiagEvent: the type holds every 32-bit value.
        event = static_cast<DiagEventLog::DiagEvent>(readOnce(slot.event));
        line = readOnce(slot.text);
        ++ring.read;
        taken = true;
    }
    // Once the last waiting line is taken both indexes start again at 0;
    // what is written back comes from the values read, never from the block.
    if (ring.read == ring.write)
        ring = RingIndexes{0, 0};
    storeIndexes(*block, ring);
    return taken;
}

CDiagData& getDiagData() {
    static CDiagData data;
    return data;
}

} // namespace kelvora_core
