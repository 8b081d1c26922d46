#include "ChildProcess.h"
#include "Thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>

using namespace kelvora_core;

namespace {

class CountingThread : public CThread {
public:
    explicit CountingThread(std::atomic<int>& runs) : CThread("Counting"), m_runs(runs) {}
    void run() override { ++m_runs; }

private:
    std::atomic<int>& m_runs;
};

class ThrowingThread : public CThread {
public:
    void run() override { throw std::runtime_error("escaped from run"); }
};

class SelfDeletingThread : public CThread {
public:
    SelfDeletingThread(CManualResetEvent& destroyed, HANDLE& handleCopy) : m_destroyed(destroyed) {
        m_deleteOnExit = true;
        DuplicateHandle(GetCurrentProcess(), getHandle(), GetCurrentProcess(), &handleCopy, 0,
                        FALSE, DUPLICATE_SAME_ACCESS);
    }
    ~SelfDeletingThread() override { m_destroyed.set(); }
    void run() override {}

private:
    CManualResetEvent& m_destroyed;
};

// A duplicate of a thread's handle, to read its exit code after the object is gone.
class ThreadHandleCopy {
public:
    explicit ThreadHandleCopy(const CThread& thread) {
        DuplicateHandle(GetCurrentProcess(), thread.getHandle(), GetCurrentProcess(), &m_handle, 0,
                        FALSE, DUPLICATE_SAME_ACCESS);
    }
    explicit ThreadHandleCopy(HANDLE handle) : m_handle(handle) {}
    ~ThreadHandleCopy() { CloseHandle(m_handle); }
    DWORD exitCode() const {
        WaitForSingleObject(m_handle, 5000);
        DWORD code = STILL_ACTIVE;
        GetExitCodeThread(m_handle, &code);
        return code;
    }

private:
    HANDLE m_handle = nullptr;
};

} // namespace

TEST(Thread, IsCreatedSuspendedWithItsIdAndName) {
    std::atomic<int> runs{0};
    CountingThread thread(runs);
    EXPECT_NE(nullptr, thread.getHandle());
    EXPECT_NE(0u, thread.getThreadId());
    EXPECT_EQ("Counting", thread.getName());
    EXPECT_EQ(TimedOut, thread.wait(30));
    EXPECT_EQ(0, runs.load());
    EXPECT_TRUE(thread.release());
}

TEST(Thread, RunThatReturnsEndsTheThreadWithCodeZero) {
    std::atomic<int> runs{0};
    CountingThread thread(runs);
    ThreadHandleCopy copy(thread);
    thread.resume();
    EXPECT_EQ(Signaled, thread.wait(5000));
    EXPECT_EQ(1, runs.load());
    EXPECT_EQ(0u, copy.exitCode());
}

TEST(Thread, NeverResumedThreadIsEndedWithFailureCodeAndNeverRuns) {
    std::atomic<int> runs{0};
    auto* thread = new CountingThread(runs);
    ThreadHandleCopy copy(*thread);
    delete thread;
    EXPECT_EQ(0xFFFFFFFFu, copy.exitCode());
    EXPECT_EQ(0, runs.load());
}

TEST(Thread, ExceptionFromRunEndsOnlyThatThread) {
    ThrowingThread thread;
    ThreadHandleCopy copy(thread);
    thread.resume();
    EXPECT_EQ(Signaled, thread.wait(5000));
    EXPECT_EQ(0xFFFFFFFFu, copy.exitCode());
}

TEST(Thread, DeleteOnExitDestroysTheObjectOnItsOwnThread) {
    CManualResetEvent destroyed;
    HANDLE handle = nullptr;
    auto* thread = new SelfDeletingThread(destroyed, handle);
    ThreadHandleCopy copy(handle);
    thread->resume();
    EXPECT_EQ(Signaled, destroyed.wait(5000));
    EXPECT_EQ(0u, copy.exitCode());
}

TEST(Thread, RepeatedThreadsLeaveNoHandlesBehind) {
    std::atomic<int> runs{0};
    auto cycle = [&] {
        CountingThread thread(runs);
        thread.resume();
        thread.wait(INFINITE);
        CountingThread never(runs);
    };
    cycle();
    const DWORD before = test_support::handleCount();
    for (int i = 0; i < 200; ++i)
        cycle();
    EXPECT_EQ(before, test_support::handleCount());
    EXPECT_EQ(201, runs.load());
}
