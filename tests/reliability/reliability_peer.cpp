// A second process for the diagnostics cases.
//   reliability_peer report <ms> <pauseMs> <tag>
//     reports numbered, checked lines for the given time and ends with the
//     number of lines it sent as its exit code;
//   reliability_peer race <ms> <seed>
//     races the shared block for the given time without its mutex, as any
//     process of the user may (the seed chooses everything it does), and
//     ends with the number of changes it made.
#include "DiagData.h"
#include "DiagEventLog.h"
#include "DiagStressLine.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
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

using kelvora_core::_tagDiagData;
using kelvora_core::CDiagData;

class Racer {
public:
    Racer(_tagDiagData& block, uint32_t seed) : m_block(block), m_state(seed | 1) {}

    // One burst of one kind, chosen at random.
    void burst() {
        switch (next() % 8) {
        case 0: // an index flipped between a valid and a far out-of-range value
        case 1:
            flipIndex(next() & 1 ? m_block.writeIndex : m_block.readIndex);
            break;
        case 2: // both indexes at once, independently
            for (int i = 0; i < 20000; ++i)
                put(i & 1 ? m_block.readIndex : m_block.writeIndex, hostileIndex(i));
            break;
        case 3:
            m_block.loggingActive = static_cast<uint8_t>(next());
            break;
        case 4:
            put(m_block.events[next() % CDiagData::kSlots].event, next());
            break;
        case 5: // a slot's text without an end, or cut anywhere
            fillText(next() % 2 ? kTextSize : next() % kTextSize);
            break;
        case 6: // a slot's text rewritten under the recorder, again and again
            for (int i = 0; i < 200; ++i)
                fillText(64);
            break;
        default:
            reinterpret_cast<unsigned char*>(&m_block)[next() % sizeof m_block] =
                static_cast<unsigned char>(next());
        }
    }

private:
    static constexpr uint32_t kTextSize = sizeof _tagDiagData::events[0].text;

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
        return step % 2 == 0 ? next() % CDiagData::kSlots : outside[next() % 4];
    }
    void flipIndex(uint32_t& index) {
        const uint32_t valid = next() % CDiagData::kSlots, hostile = hostileIndex(1);
        for (int i = 0; i < 50000; ++i)
            put(index, i % 2 ? hostile : valid);
    }
    // Stored at once, every time: the store is the race.
    template <typename T> static void put(T& field, uint32_t value) {
        *static_cast<volatile T*>(&field) = static_cast<T>(value);
    }
    void fillText(uint32_t length) {
        char* text = m_block.events[next() % CDiagData::kSlots].text;
        for (uint32_t i = 0; i < length; ++i)
            text[i] = static_cast<char>(1 + next() % 255);
        if (length < kTextSize)
            text[length] = 0;
    }

    _tagDiagData& m_block;
    uint32_t m_state;
};

// Through the family's own block and event, as any process of the user
// reaches them; without the block's mutex.
int race(DWORD ms, uint32_t seed) {
    CDiagData& data = kelvora_core::getDiagData();
    auto* block = static_cast<_tagDiagData*>(data.getData());
    if (!block)
        return -2;
    Racer racer(*block, seed);
    int bursts = 0;
    for (const DWORD start = GetTickCount(); GetTickCount() - start < ms; ++bursts) {
        racer.burst();
        if (bursts % 16 == 0)
            data.blockEvent().set();
    }
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
