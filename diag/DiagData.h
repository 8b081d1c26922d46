#pragma once

#include "DiagEventLog.h"
#include "Sentry.h"
#include "SharedMemory.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace kelvora_core {

// Layout of the block shared by every process of the family. Never change it.
struct _tagDiagEventEntry {
    int32_t event;
    char text[4096];
};

struct _tagDiagData {
    uint8_t loggingActive;
    uint8_t reserved[3];
    uint32_t writeIndex;
    uint32_t readIndex;
    _tagDiagEventEntry events[64];
};

static_assert(sizeof(_tagDiagEventEntry) == 4100, "slot size is shared between processes");
static_assert(offsetof(_tagDiagEventEntry, text) == 4, "slot layout is shared");
static_assert(sizeof(_tagDiagData) == 262412, "block size is shared between processes");
static_assert(offsetof(_tagDiagData, writeIndex) == 4, "block layout is shared");
static_assert(offsetof(_tagDiagData, readIndex) == 8, "block layout is shared");
static_assert(offsetof(_tagDiagData, events) == 12, "block layout is shared");

// The shared diagnostics block: 64 slots of formatted lines, a flag telling
// whether anyone records, and the event that wakes the recorder. Every
// process can write the block, so nothing read from it is trusted: indexes
// out of range are repaired and texts are bounded by their slot. Every
// operation waits for the block's mutex at most kHoldWaitMs and is dropped
// when it did not get it: a report never waits longer, never fails.
// The record base only names the layout; all access goes to the mapped view.
class CDiagData : public CSharedMemory, public _tagDiagData {
public:
    static constexpr uint32_t kSlots = 64;
    static constexpr size_t kMaxLine = sizeof(_tagDiagEventEntry::text) - 1;

    // The family's names; other names serve tests.
    explicit CDiagData(const std::string& blockName = "TempovaDiagnosticsData",
                       const std::string& eventName = "TempovaDiagEvent");
    ~CDiagData() override;

    bool isLoggingActive();
    void setLoggingActive(bool active);
    void addEvent(DiagEventLog::DiagEvent event, const std::string& line);
    bool getNextEvent(DiagEventLog::DiagEvent& event, std::string& line);
    // The same; `busy` tells that the block was out of reach (its mutex kept
    // past the bound), so lines may still wait.
    bool getNextEvent(DiagEventLog::DiagEvent& event, std::string& line, bool& busy);

    CEvent& blockEvent() { return m_event; }

private:
    _tagDiagData* guardedView(const CSentry& hold);

    CEvent m_event;
};

// This process's instance, created on first use.
CDiagData& getDiagData();

namespace detail {
// Called, when set, right after each read of a field of a block, with the
// field's address: a test changes the field there, as a racing process may.
extern void (*afterBlockRead)(const volatile void* field);
} // namespace detail

} // namespace kelvora_core
