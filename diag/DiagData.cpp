#include "DiagData.h"

#include "Utilities.h"

#include <cstring>

namespace kelvora_core {

namespace {

// Another process may have written anything: indexes out of range make the
// block corrupt; start again from empty rather than touch memory outside it.
void repairIndexes(_tagDiagData& block) {
    if (block.writeIndex >= CDiagData::kSlots || block.readIndex >= CDiagData::kSlots) {
        block.writeIndex = 0;
        block.readIndex = 0;
    }
}

} // namespace

CDiagData::CDiagData(const std::string& blockName, const std::string& eventName)
    : CSharedMemory(blockName, sizeof(_tagDiagData)), _tagDiagData(), m_event(eventName.c_str()) {
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

// The view for one operation under `hold`; null when nothing is mapped or
// the mutex stayed held elsewhere past the bound (the operation is dropped).
// A block whose mutex could not be made at all goes unguarded, as it always
// has. The view is read directly, not through getData: each hold of a named
// mutex is a round trip to the kernel.
_tagDiagData* CDiagData::guardedView(const CSentry& hold) {
    return hold.isHeld() || !m_mutex.getHandle() ? static_cast<_tagDiagData*>(m_data) : nullptr;
}

bool CDiagData::isLoggingActive() {
    CSentry hold(m_mutex, kHoldWaitMs);
    _tagDiagData* block = guardedView(hold);
    return block && block->loggingActive != 0;
}

void CDiagData::setLoggingActive(bool active) {
    CSentry hold(m_mutex, kHoldWaitMs);
    if (_tagDiagData* block = guardedView(hold))
        block->loggingActive = active ? 1 : 0;
}

void CDiagData::addEvent(DiagEventLog::DiagEvent event, const std::string& line) {
    CSentry hold(m_mutex, kHoldWaitMs);
    _tagDiagData* block = guardedView(hold);
    if (!block)
        return;
    repairIndexes(*block);
    _tagDiagEventEntry& slot = block->events[block->writeIndex];
    slot.event = event;
    const size_t length = line.size() < kMaxLine ? line.size() : kMaxLine;
    std::memcpy(slot.text, line.data(), length);
    slot.text[length] = '\0';
    block->writeIndex = (block->writeIndex + 1) % kSlots;
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
    repairIndexes(*block);
    bool taken = false;
    if (block->readIndex < block->writeIndex) {
        const _tagDiagEventEntry& slot = block->events[block->readIndex];
        event = static_cast<DiagEventLog::DiagEvent>(slot.event);
        line.assign(slot.text, strnlen(slot.text, sizeof slot.text));
        ++block->readIndex;
        taken = true;
    }
    if (block->readIndex == block->writeIndex) {
        block->readIndex = 0;
        block->writeIndex = 0;
    }
    return taken;
}

CDiagData& getDiagData() {
    static CDiagData data;
    return data;
}

} // namespace kelvora_core
