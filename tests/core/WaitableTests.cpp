#include "ChildProcess.h"
#include "Sentry.h"
#include "Utilities.h"
#include "Waitable.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

using namespace kelvora_core;
using test_support::uniqueName;

namespace {

// Runs `body` on another thread and waits for it.
template <typename F> void onOtherThread(F body) {
    std::thread(body).join();
}

// A thread acquires the mutex and ends without giving it back.
void abandonOnOtherThread(CMutex& mutex) {
    onOtherThread([&] { ASSERT_EQ(Signaled, mutex.wait(INFINITE)); });
}

} // namespace

TEST(WaitResultMapping, PlatformResultsMapOntoTheFourOutcomes) {
    EXPECT_EQ(Signaled, toWaitResult(WAIT_OBJECT_0));
    EXPECT_EQ(Abandoned, toWaitResult(WAIT_ABANDONED));
    EXPECT_EQ(TimedOut, toWaitResult(WAIT_TIMEOUT));
    EXPECT_EQ(Failed, toWaitResult(WAIT_FAILED));
    EXPECT_EQ(0, Failed);
    EXPECT_EQ(1, Signaled);
    EXPECT_EQ(2, TimedOut);
    EXPECT_EQ(3, Abandoned);
}

TEST(Event, AutoResetEventIsConsumedByOneWait) {
    CEvent event;
    EXPECT_EQ(TimedOut, event.wait(0));
    EXPECT_TRUE(event.set());
    EXPECT_EQ(Signaled, event.wait(0));
    EXPECT_EQ(TimedOut, event.wait(0));
}

TEST(Event, ReleaseLeavesTheEventNotSignalled) {
    CEvent event;
    event.set();
    EXPECT_TRUE(event.release());
    EXPECT_EQ(TimedOut, event.wait(0));
}

TEST(Event, ManualResetEventStaysSignalledUntilReset) {
    CManualResetEvent event;
    EXPECT_TRUE(event.getName().empty());
    event.set();
    EXPECT_EQ(Signaled, event.wait(0));
    EXPECT_EQ(Signaled, event.wait(0));
    event.reset();
    EXPECT_EQ(TimedOut, event.wait(0));
}

TEST(Event, NamedEventsOfTheSameNameAreOneObject) {
    const std::string name = uniqueName("event");
    CEvent first(name.c_str());
    CEvent second(name.c_str());
    EXPECT_EQ(name, second.getName());
    first.set();
    EXPECT_EQ(Signaled, second.wait(0));
}

TEST(Event, EmptyNameMakesAnUnnamedEvent) {
    CEvent first("");
    CEvent second("");
    first.set();
    EXPECT_EQ(TimedOut, second.wait(0));
}

TEST(Waitable, ObjectWithoutKernelObjectFailsEverything) {
    // A mutex cannot take the name of an existing event.
    const std::string name = uniqueName("clash");
    CEvent event(name.c_str());
    CMutex mutex(name.c_str());
    ASSERT_EQ(nullptr, mutex.getHandle());
    EXPECT_EQ(Failed, mutex.wait(0));
    EXPECT_EQ(Failed, mutex.wait(INFINITE));
    EXPECT_FALSE(mutex.release());
    EXPECT_FALSE(mutex.setLowIntegrity());
}

TEST(Waitable, LowIntegrityLabelCanBeSetOnOwnObjects) {
    CEvent event(uniqueName("low").c_str());
    EXPECT_TRUE(event.setLowIntegrity());
    EXPECT_TRUE(hasLowIntegrityLabel(event.getHandle()));
}

TEST(Mutex, IsRecursiveAndReleasedOncePerAcquisition) {
    CMutex mutex;
    EXPECT_EQ(Signaled, mutex.wait(0));
    EXPECT_EQ(Signaled, mutex.wait(0));
    EXPECT_TRUE(mutex.release());
    onOtherThread([&] { EXPECT_EQ(TimedOut, mutex.wait(0)); });
    EXPECT_TRUE(mutex.release());
    EXPECT_FALSE(mutex.release());
    onOtherThread([&] {
        EXPECT_EQ(Signaled, mutex.wait(0));
        EXPECT_TRUE(mutex.release());
    });
}

TEST(Mutex, ReleaseByAThreadThatDoesNotOwnItFails) {
    CMutex mutex;
    ASSERT_EQ(Signaled, mutex.wait(0));
    onOtherThread([&] { EXPECT_FALSE(mutex.release()); });
    EXPECT_TRUE(mutex.release());
}

TEST(Mutex, UnnamedMutexesArePrivate) {
    CMutex first;
    CMutex second;
    ASSERT_EQ(Signaled, first.wait(0));
    onOtherThread([&] {
        EXPECT_EQ(Signaled, second.wait(0));
        second.release();
    });
    first.release();
}

TEST(Mutex, DestroyingReleasesEveryLevelTheThreadHolds) {
    const std::string name = uniqueName("mutex_levels");
    CMutex survivor(name.c_str());
    auto* doomed = new CMutex(name.c_str());
    ASSERT_EQ(Signaled, doomed->wait(0));
    ASSERT_EQ(Signaled, doomed->wait(0));
    std::atomic<int> result{-1};
    std::thread waiter([&] {
        result = survivor.wait(5000);
        survivor.release();
    });
    Sleep(20);
    EXPECT_EQ(-1, result.load());
    delete doomed;
    waiter.join();
    EXPECT_EQ(Signaled, result.load());
}

TEST(Mutex, WaitReportsAnAbandonedMutexAndGrantsIt) {
    CMutex mutex;
    abandonOnOtherThread(mutex);
    EXPECT_EQ(Abandoned, mutex.wait(0));
    EXPECT_TRUE(mutex.release());
}

TEST(Mutex, NamedMutexIsSharedWithAnotherProcess) {
    const std::string name = uniqueName("xproc_mutex");
    CMutex mutex(name.c_str());
    test_support::ChildProcess peer(test_support::besideThisProgram("core_peer.exe") +
                                    " hold-mutex " + name + " 400");
    ASSERT_TRUE(peer.started());
    // The peer takes the mutex shortly after it starts.
    WaitResult result = Signaled;
    for (int i = 0; i < 500 && result == Signaled; ++i) {
        result = mutex.wait(0);
        if (result == Signaled) {
            mutex.release();
            Sleep(10);
        }
    }
    EXPECT_EQ(TimedOut, result);
    EXPECT_EQ(Signaled, mutex.wait(10000));
    mutex.release();
    EXPECT_EQ(0u, peer.waitForExit(10000));
}

TEST(Mutex, ProcessThatEndsHoldingTheMutexLeavesItAbandoned) {
    const std::string name = uniqueName("xproc_abandon");
    CMutex mutex(name.c_str());
    const auto peer = test_support::runProcess(test_support::besideThisProgram("core_peer.exe") +
                                               " abandon-mutex " + name);
    ASSERT_TRUE(peer.finished);
    EXPECT_EQ(Abandoned, mutex.wait(0));
    mutex.release();
    EXPECT_EQ(Signaled, mutex.wait(0));
    mutex.release();
}

TEST(Sentry, HoldsForItsScopeAndGivesBackOnce) {
    CMutex mutex;
    {
        CSentry hold(mutex);
        EXPECT_TRUE(hold.isHeld());
        onOtherThread([&] { EXPECT_EQ(TimedOut, mutex.wait(0)); });
    }
    onOtherThread([&] {
        EXPECT_EQ(Signaled, mutex.wait(0));
        mutex.release();
    });
}

TEST(Sentry, OwnWaitsAreGivenBackThroughItsRelease) {
    CMutex mutex;
    {
        CSentry hold(mutex);
        EXPECT_EQ(Signaled, hold.wait(0));
        EXPECT_TRUE(hold.release());
        EXPECT_TRUE(hold.release());
        EXPECT_FALSE(hold.release());
        EXPECT_FALSE(hold.isHeld());
    }
    onOtherThread([&] {
        EXPECT_EQ(Signaled, mutex.wait(0));
        mutex.release();
    });
}

TEST(Sentry, AbandonedMutexIsHeldAndGivenBack) {
    CMutex mutex;
    abandonOnOtherThread(mutex);
    {
        CSentry hold(mutex);
        EXPECT_TRUE(hold.isHeld());
    }
    onOtherThread([&] {
        EXPECT_EQ(Signaled, mutex.wait(0));
        mutex.release();
    });
}

TEST(Sentry, AbandonedMutexTakenThroughWaitIsCountedToo) {
    CMutex mutex;
    {
        CSentry hold(mutex);
        EXPECT_TRUE(hold.release());
        abandonOnOtherThread(mutex);
        EXPECT_EQ(Abandoned, hold.wait(INFINITE));
        EXPECT_TRUE(hold.isHeld());
    }
    onOtherThread([&] {
        EXPECT_EQ(Signaled, mutex.wait(0));
        mutex.release();
    });
}

TEST(Sentry, WithoutKernelObjectHoldsNothing) {
    const std::string name = uniqueName("sentry_clash");
    CEvent event(name.c_str());
    CMutex broken(name.c_str());
    CSentry hold(broken);
    EXPECT_FALSE(hold.isHeld());
    EXPECT_FALSE(hold.release());
}
