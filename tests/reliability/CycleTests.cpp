// Repeated work leaves nothing behind: after a warm-up, the process's handle
// count and private bytes come back to where they were.
//
// Wine keeps two handles each time the last thread leaves the multithreaded
// apartment after an HTTP request. The test thread therefore stays in that
// apartment for the whole case, so the apartment never empties and no such
// handles are kept: the counts must match exactly.
// Winsock 2 before anything that brings in windows.h.
#include "LoopbackHttpServer.h"

#include "DialogHarness.h"

#include "AppNamesHelper.h"
#include "ChildProcess.h"
#include "ComSupport.h"
#include "ReliabilitySupport.h"
#include "TestDocuments.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

using app_test::RunningDialog;
using app_test::waitUntil;
using test_support::HttpReply;
using test_support::LoopbackHttpServer;

namespace {

const char* const kPath = "/lutegate/lutegate.xml";
const char* const kUpdating = "Updating course list from web.....please wait..";
constexpr int kWarmUp = 5;
// Heap pages may stay committed after a peak; a leak of even 100 bytes a
// cycle over 500 cycles would exceed this.
constexpr size_t kPrivateSlack = 48 * 1024;

// A loopback server reached through the HTTP stack's proxy setting.
class ProxiedServer {
public:
    ProxiedServer() {
        const std::string proxy = "http_proxy=http://127.0.0.1:" + std::to_string(m_server.port());
        _putenv(proxy.c_str());
    }
    ~ProxiedServer() { _putenv("http_proxy="); }
    LoopbackHttpServer& operator*() { return m_server; }
    LoopbackHttpServer* operator->() { return &m_server; }

private:
    LoopbackHttpServer m_server;
};

struct Usage {
    DWORD handles;
    size_t privateBytes;
};

Usage usageNow() {
    return {test_support::handleCount(), reliability::privateBytes()};
}

void expectBackWhereItStarted(const Usage& before, int cycles) {
    const Usage after = usageNow();
    EXPECT_EQ(after.handles, before.handles) << "handles after " << cycles << " cycles";
    EXPECT_LE(after.privateBytes, before.privateBytes + kPrivateSlack)
        << "private bytes grew by " << static_cast<long>(after.privateBytes - before.privateBytes)
        << " after " << cycles << " cycles";
}

// One Update pressed and cancelled while the server is still sending; the
// bench posts the timer's first tick so that the request is under way.
bool updateAndCancel(RunningDialog& dialog) {
    dialog.post(WM_COMMAND, MAKEWPARAM(1004, BN_CLICKED));
    dialog.post(WM_TIMER, 1);
    if (!waitUntil([&] { return dialog.status() == std::string(kUpdating) + "."; }, 5000))
        return false;
    dialog.post(WM_COMMAND, MAKEWPARAM(1004, BN_CLICKED));
    return dialog.flush() && app_test::windowText(dialog.item(1004)) == "&Update";
}

} // namespace

// What must hold: 500 Update and Cancel cycles on one dialog leave the
// handle count exactly as it was and private bytes within 48 KB; every cancel
// turns the button back to "&Update" at once.
TEST(Cycles, UpdateAndCancelLeaveNothingBehind) {
    const MultithreadedApartment apartment;
    ProxiedServer server;
    // Long enough that every cancel comes first; the server's thread ends
    // when the aborted connection refuses the next piece.
    server->setReply(kPath, HttpReply::drip(test_documents::manyEntries(50), 16, 50));
    DeleteFileA(reliability::localCopyPath().c_str());
    RunningDialog dialog;
    ASSERT_TRUE(dialog.hwnd());
    const int cycles = reliability::cycles();
    Usage before{};
    for (int i = 0; i < kWarmUp + cycles; ++i) {
        if (i == kWarmUp) {
            ASSERT_TRUE(server->waitUntilIdle(10000));
            before = usageNow();
        }
        ASSERT_TRUE(updateAndCancel(dialog)) << "cycle " << i;
    }
    ASSERT_TRUE(server->waitUntilIdle(10000));
    expectBackWhereItStarted(before, cycles);
    EXPECT_EQ(0, dialog.rowCount());
}

// What must hold: 500 course list helpers, each created, run to the end of a
// request and destroyed, leave the handle count exactly as it was and private
// bytes within 48 KB; so do 500 helpers destroyed without a request.
TEST(Cycles, HelperCreateAndDestroyLeaveNothingBehind) {
    const MultithreadedApartment apartment;
    ProxiedServer server;
    server->setReply(kPath, HttpReply::answer(200, test_documents::manyEntries(20)));
    const int cycles = reliability::cycles();
    Usage before{};
    for (int i = 0; i < kWarmUp + cycles; ++i) {
        if (i == kWarmUp) {
            ASSERT_TRUE(server->waitUntilIdle(10000));
            before = usageNow();
        }
        auto helper = std::make_unique<CAppNamesHelper>("");
        helper->startRequest();
        ASSERT_TRUE(test_documents::waitForDone(*helper, 10000)) << "cycle " << i;
        ASSERT_TRUE(helper->succeeded()) << "cycle " << i;
        ASSERT_EQ(20u, helper->m_appNames.size());
        helper.reset();
        CAppNamesHelper idle("");
    }
    ASSERT_TRUE(server->waitUntilIdle(10000));
    expectBackWhereItStarted(before, cycles);
}
