#include "WaitableSet.h"

#include <gtest/gtest.h>

#include <thread>

using namespace kelvora_core;

namespace {
void abandon(CMutex& mutex) {
    std::thread([&] { ASSERT_EQ(Signaled, mutex.wait(INFINITE)); }).join();
}
bool freeForOthers(CMutex& mutex) {
    bool free = false;
    std::thread([&] {
        free = mutex.wait(0) == Signaled;
        if (free)
            mutex.release();
    }).join();
    return free;
}
} // namespace

TEST(WaitableSet, WaitAnyReportsTheSignalledMember) {
    CEvent first, second;
    CWaitable* members[] = {&first, &second};
    CWaitableSet set(members, 2);
    uint32_t index = 99;
    EXPECT_EQ(TimedOut, set.waitAny(index, 0));
    EXPECT_EQ(99u, index);
    second.set();
    EXPECT_EQ(Signaled, set.waitAny(index, 0));
    EXPECT_EQ(1u, index);
}

TEST(WaitableSet, WaitAnyServesTheLowerIndexFirst) {
    CEvent first, second;
    CWaitable* members[] = {&first, &second};
    CWaitableSet set(members, 2);
    second.set();
    first.set();
    uint32_t index = 99;
    EXPECT_EQ(Signaled, set.waitAny(index, 0));
    EXPECT_EQ(0u, index);
    EXPECT_EQ(Signaled, set.waitAny(index, 0));
    EXPECT_EQ(1u, index);
}

TEST(WaitableSet, WaitAnyOnAnAbandonedMutexFailsWithItsIndexAndKeepsNothing) {
    CMutex mutex;
    CEvent event;
    CWaitable* members[] = {&mutex, &event};
    CWaitableSet set(members, 2);
    abandon(mutex);
    uint32_t index = 99;
    EXPECT_EQ(Failed, set.waitAny(index, 0));
    EXPECT_EQ(0u, index);
    EXPECT_TRUE(freeForOthers(mutex));
}

TEST(WaitableSet, WaitAnyWithoutMembersOrHandlesFails) {
    uint32_t index = 0;
    CWaitableSet empty(nullptr, 0);
    EXPECT_EQ(Failed, empty.waitAny(index, 0));
    EXPECT_EQ(Failed, empty.waitAll(0));
}

TEST(WaitableSet, WaitAllNeedsEveryMember) {
    CEvent first, second;
    CWaitable* members[] = {&first, &second};
    CWaitableSet set(members, 2);
    first.set();
    EXPECT_EQ(TimedOut, set.waitAll(0));
    second.set();
    EXPECT_EQ(Signaled, set.waitAll(0));
}

TEST(WaitableSet, WaitAllIsAbandonedOnlyThroughTheFirstMember) {
    CMutex first, second;
    CWaitable* members[] = {&first, &second};
    CWaitableSet set(members, 2);
    // Which abandoned member the platform names in a wait for all differs
    // (Windows names the member, Wine always the first slot): only the first
    // slot's code counts as Abandoned.
    abandon(second);
    const WaitResult secondAbandoned = set.waitAll(0);
    EXPECT_TRUE(secondAbandoned == Signaled || secondAbandoned == Abandoned);
    set.releaseAll();
    abandon(first);
    EXPECT_EQ(Abandoned, set.waitAll(0));
    set.releaseAll();
    EXPECT_TRUE(freeForOthers(first));
    EXPECT_TRUE(freeForOthers(second));
}

TEST(WaitableSet, ReleaseAllReleasesEachMember) {
    CEvent event;
    CMutex mutex;
    CWaitable* members[] = {&event, &mutex};
    CWaitableSet set(members, 2);
    event.set();
    ASSERT_EQ(Signaled, mutex.wait(0));
    set.releaseAll();
    EXPECT_EQ(TimedOut, event.wait(0));
    EXPECT_TRUE(freeForOthers(mutex));
}

TEST(WaitableSet, SixtyFourMembersAreTheMost) {
    CEvent events[70];
    CWaitable* members[70];
    for (int i = 0; i < 70; ++i)
        members[i] = &events[i];
    CWaitableSet set(members, 70);
    events[69].set();
    uint32_t index = 0;
    EXPECT_EQ(TimedOut, set.waitAny(index, 0));
    events[63].set();
    EXPECT_EQ(Signaled, set.waitAny(index, 0));
    EXPECT_EQ(63u, index);
}
