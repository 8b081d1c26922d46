// A second process for the diagnostics cases.
//   reliability_peer report <ms> <pauseMs> <tag>
//     reports numbered, checked lines for the given time and ends with the
//     number of lines it sent as its exit code;
//   reliability_peer race <ms> <seed>
//     races the shared block for the given time without its mutex, as any
//     process of the user may (the seed chooses everything it does), and
//     ends with the number of changes it made.
#include "DiagEventLog.h"
#include "DiagStressLine.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

using kelvora_core::DiagEventLog;

namespace {

int report(DWORD ms, DWORD pauseMs, const std::string& tag) {
    const DWORD start = GetTickCount();
    int sent = 0;
    while (GetTickCount() - start < ms) {
        DiagEventLog::diagEvent(DiagEventLog::InfoEvent, stress_line::make(tag, sent));
        ++sent;
        if (pauseMs)
            Sleep(pauseMs);
    }
    return sent;
}

// The block's layout, as every process of the family maps it.
constexpr uint32_t kBlockSize = 262412, kSlots = 64, kSlotSize = 4100, kTextSize = 4096;
constexpr uint32_t kWriteIndex = 4, kReadIndex = 8, kEvents = 12;

class Racer {
public:
    Racer(unsigned char* block, uint32_t seed) : m_block(block), m_state(seed | 1) {}

    // One burst of one kind, chosen at random.
    void burst() {
        switch (next() % 8) {
        case 0: // an index flipped between a valid and a far out-of-range value
        case 1:
            flipIndex(next() & 1 ? kWriteIndex : kReadIndex);
            break;
        case 2: // both indexes at once, independently
            for (int i = 0; i < 20000; ++i)
                put32(kWriteIndex + 4 * (i & 1), hostileIndex(i));
            break;
        case 3:
            m_block[0] = static_cast<unsigned char>(next()); // the logging flag
            break;
        case 4:
            put32(slot(next() % kSlots), next()); // an event number
            break;
        case 5: // a slot's text without an end, or cut anywhere
            fillText(slot(next() % kSlots) + 4, next() % 2 ? kTextSize : next() % kTextSize);
            break;
        case 6: // a slot's text rewritten under the recorder, again and again
            for (int i = 0; i < 200; ++i)
                fillText(slot(next() % kSlots) + 4, 64);
            break;
        default:
            m_block[next() % kBlockSize] = static_cast<unsigned char>(next());
        }
    }

private:
    uint32_t next() {
        m_state ^= m_state << 13;
        m_state ^= m_state >> 17;
        m_state ^= m_state << 5;
        return m_state;
    }
    // Valid on even steps; on odd ones past the slots, far past the block or
    // wrapping the address space.
    uint32_t hostileIndex(int step) {
        static const uint32_t outside[] = {64, 589249, 0x80000000u, 0xFFFFFFFFu};
        return step % 2 == 0 ? next() % kSlots : outside[next() % 4];
    }
    void flipIndex(uint32_t at) {
        const uint32_t valid = next() % kSlots, hostile = hostileIndex(1);
        for (int i = 0; i < 50000; ++i)
            put32(at, i % 2 ? hostile : valid);
    }
    void put32(uint32_t at, uint32_t value) {
        *reinterpret_cast<volatile uint32_t*>(m_block + at) = value;
    }
    uint32_t slot(uint32_t index) { return kEvents + index * kSlotSize; }
    void fillText(uint32_t at, uint32_t length) {
        for (uint32_t i = 0; i < length; ++i)
            m_block[at + i] = static_cast<unsigned char>(1 + next() % 255);
        if (length < kTextSize)
            m_block[at + length] = 0;
    }

    unsigned char* m_block;
    uint32_t m_state;
};

int race(DWORD ms, uint32_t seed) {
    HANDLE mapping = OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, "TempovaDiagnosticsData");
    if (!mapping)
        return -2;
    auto* block = static_cast<unsigned char*>(MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, 0));
    HANDLE wake = OpenEventA(EVENT_MODIFY_STATE, FALSE, "TempovaDiagEvent");
    int bursts = 0;
    Racer racer(block, seed);
    for (const DWORD start = GetTickCount(); block && GetTickCount() - start < ms; ++bursts) {
        racer.burst();
        if (wake && bursts % 16 == 0)
            SetEvent(wake);
    }
    if (wake)
        CloseHandle(wake);
    if (block)
        UnmapViewOfFile(block);
    CloseHandle(mapping);
    return bursts;
}

} // namespace

int main(int argc, char** argv) {
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "report" && argc == 5)
        return report(std::strtoul(argv[2], nullptr, 10), std::strtoul(argv[3], nullptr, 10),
                      argv[4]);
    if (command == "race" && argc == 4)
        return race(std::strtoul(argv[2], nullptr, 10), std::strtoul(argv[3], nullptr, 10));
    std::fprintf(stderr, "usage: reliability_peer report ms pauseMs tag | race ms seed\n");
    return -1;
}
