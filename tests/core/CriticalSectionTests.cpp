#include "CriticalSection.h"
#include "Sentry.h"

#include <gtest/gtest.h>

#include <thread>

using namespace kelvora_core;

namespace {

// Holds the section on another thread for the life of the object.
class HeldElsewhere {
public:
    explicit HeldElsewhere(CCriticalSection& section) : m_section(section) {
        m_thread = std::thread([this] {
            m_section.lock();
            m_held.set();
            m_done.wait(INFINITE);
            m_section.release();
        });
        m_held.wait(INFINITE);
    }
    ~HeldElsewhere() {
        m_done.set();
        m_thread.join();
    }

private:
    CCriticalSection& m_section;
    CManualResetEvent m_held, m_done;
    std::thread m_thread;
};

DWORD millisecondsFor(CCriticalSection& section, uint32_t timeout, WaitResult& result) {
    const DWORD start = GetTickCount();
    result = section.wait(timeout);
    return GetTickCount() - start;
}

} // namespace

TEST(CriticalSection, HasNoKernelHandle) {
    CCriticalSection section;
    EXPECT_EQ(nullptr, section.getHandle());
}

TEST(CriticalSection, FreeSectionIsEnteredAtOnceAndRecursively) {
    CCriticalSection section;
    EXPECT_EQ(Signaled, section.wait(0));
    EXPECT_EQ(Signaled, section.wait(50));
    EXPECT_EQ(Signaled, section.lock());
    EXPECT_TRUE(section.release());
    EXPECT_TRUE(section.release());
    EXPECT_TRUE(section.release());
}

TEST(CriticalSection, ZeroTimeOutFailsAtOnceWhenHeldElsewhere) {
    CCriticalSection section;
    HeldElsewhere holder(section);
    WaitResult result = Signaled;
    EXPECT_LT(millisecondsFor(section, 0, result), 15u);
    EXPECT_EQ(Failed, result);
}

TEST(CriticalSection, TimedWaitFailsAfterItsTimeOutWhenHeldElsewhere) {
    CCriticalSection section;
    HeldElsewhere holder(section);
    WaitResult result = Signaled;
    const DWORD elapsed = millisecondsFor(section, 50, result);
    EXPECT_EQ(Failed, result);
    EXPECT_GE(elapsed, 45u);
    EXPECT_LT(elapsed, 500u);
}

TEST(CriticalSection, TimedWaitEntersOnceTheHolderLeaves) {
    CCriticalSection section;
    CManualResetEvent held;
    std::thread holder([&] {
        section.lock();
        held.set();
        Sleep(60);
        section.release();
    });
    held.wait(INFINITE);
    EXPECT_EQ(Signaled, section.wait(5000));
    EXPECT_TRUE(section.release());
    holder.join();
}

TEST(CriticalSection, ReleaseWithoutHoldingIsRefusedAndHarmless) {
    CCriticalSection section;
    EXPECT_FALSE(section.release());
    HeldElsewhere holder(section);
    EXPECT_FALSE(section.release());
    WaitResult result = Signaled;
    millisecondsFor(section, 0, result);
    EXPECT_EQ(Failed, result);
}

TEST(CriticalSection, SentryOverAHeldSectionLeavesTheOuterHold) {
    CCriticalSection section;
    section.lock();
    {
        CSentry hold(section);
        EXPECT_TRUE(hold.isHeld());
    }
    std::thread([&] { EXPECT_EQ(Failed, section.wait(0)); }).join();
    section.release();
    std::thread([&] {
        EXPECT_EQ(Signaled, section.wait(0));
        section.release();
    }).join();
}
