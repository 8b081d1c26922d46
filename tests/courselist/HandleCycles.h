#pragma once

#include "ChildProcess.h"
#include "LoopbackHttpServer.h"

#include <gtest/gtest.h>

#include <functional>

namespace test_documents {

// Runs one warm-up cycle, then ten, and checks that the handle count grew by
// at most two (the platform's own, when the last request thread closes).
// The server must be idle before each count.
inline void expectNoHandleGrowth(test_support::LoopbackHttpServer& server,
                                 const std::function<void()>& cycle) {
    cycle();
    ASSERT_TRUE(server.waitUntilIdle(5000));
    Sleep(200);
    const DWORD before = test_support::handleCount();
    for (int i = 0; i < 10; ++i)
        cycle();
    ASSERT_TRUE(server.waitUntilIdle(5000));
    Sleep(200);
    const DWORD after = test_support::handleCount();
    EXPECT_GT(before, 0u);
    EXPECT_LE(after, before + 2) << "before " << before << ", after " << after;
}

} // namespace test_documents
