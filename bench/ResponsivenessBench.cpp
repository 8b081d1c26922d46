// The longest time the dialog does not answer a message while Close or
// Cancel ends an Update, across a whole successful Update, and while Apply
// restarts a speed product that takes 2 s to close: another thread sends it
// WM_NULL every 10 ms. The baseline is the first design, run on the dialog's
// thread in the same state: for Close, a helper deleted there (cancel, stop
// and their waits), and for Cancel a cancel and reset before it; for an
// Update, its one-second sleep once "done." shows; for Apply, the close
// command, a second's sleep, the start and another second's sleep.
// Winsock 2 before anything that brings in windows.h.
#include "LoopbackHttpServer.h"

#include "ResponsivenessBench.h"

#include "BenchSupport.h"
#include "DialogHarness.h"

#include "AppNamesHelper.h"
#include "ChildProcess.h"
#include "LargestDocument.h"
#include "RemoteDialog.h"
#include "TestDocuments.h"
#include "TestFiles.h"

#include <process.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <string>

using bench::nowMs;
using bench::printRatio;
using test_support::findTempova;
using test_support::HttpReply;

namespace {

const char* const kPath = "/lutegate/lutegate.xml";

// Sends WM_NULL to the window every 10 ms from a thread of its own and keeps
// the longest wait for an answer, until stopped.
class AnswerWatch {
public:
    explicit AnswerWatch(HWND window) : m_window(window) {
        m_thread = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, loop, this, 0, nullptr));
    }
    ~AnswerWatch() { stop(); }
    double stop() {
        m_stop = true;
        if (m_thread) {
            WaitForSingleObject(m_thread, INFINITE);
            CloseHandle(m_thread);
            m_thread = nullptr;
        }
        return m_longestMs;
    }

private:
    static unsigned __stdcall loop(void* self) {
        auto* watch = static_cast<AnswerWatch*>(self);
        while (!watch->m_stop && IsWindow(watch->m_window)) {
            DWORD_PTR answer = 0;
            const double start = nowMs();
            SendMessageTimeoutA(watch->m_window, WM_NULL, 0, 0, SMTO_NORMAL, 60000, &answer);
            watch->m_longestMs = std::max(watch->m_longestMs.load(), nowMs() - start);
            Sleep(10);
        }
        return 0;
    }

    HWND m_window;
    HANDLE m_thread = nullptr;
    std::atomic<bool> m_stop{false};
    std::atomic<double> m_longestMs{0};
};

// Waits until the server has received one more request than before.
bool requestArrived(test_support::LoopbackHttpServer& server, size_t before) {
    return app_test::waitUntil([&] { return server.requestCount() > before; }, 20000);
}

// Once the request reached the server: with a whole answer, once the server
// has sent it and the worker reads and parses it.
bool requestUnderWay(test_support::LoopbackHttpServer& server, size_t before, bool answered) {
    return requestArrived(server, before) && (!answered || server.waitUntilIdle(20000));
}

// The dialog's own Close or Cancel during an Update.
double toolEnding(test_support::LoopbackHttpServer& server, bool answered, bool close) {
    app_test::RunningDialog dialog;
    if (!dialog.hwnd())
        return -1;
    const size_t before = server.requestCount();
    dialog.post(WM_COMMAND, MAKEWPARAM(1004, BN_CLICKED));
    dialog.post(WM_TIMER, 1);
    if (!requestUnderWay(server, before, answered))
        return -1;
    AnswerWatch watch(dialog.hwnd());
    Sleep(30);
    bool ended = false;
    if (close) {
        dialog.post(WM_COMMAND, IDCANCEL);
        ended = dialog.waitForEnd(30000);
    } else {
        dialog.post(WM_COMMAND, MAKEWPARAM(1004, BN_CLICKED));
        ended = app_test::waitUntil(
            [&] { return app_test::windowText(dialog.item(1004)) == "&Update"; }, 30000);
        Sleep(100);
    }
    const double longest = watch.stop();
    return ended ? longest : -1;
}

// The first design's stop of a helper in the same state, on the dialog's thread.
double firstDesignEnding(test_support::LoopbackHttpServer& server, bool answered, bool close) {
    app_test::RunningDialog dialog;
    if (!dialog.hwnd())
        return -1;
    const size_t before = server.requestCount();
    CAppNamesHelper* helper = nullptr;
    dialog.run([&] {
        helper = new CAppNamesHelper("");
        helper->startRequest();
    });
    if (!requestUnderWay(server, before, answered))
        return -1;
    AnswerWatch watch(dialog.hwnd());
    Sleep(30);
    dialog.run([&] {
        if (!close) {
            helper->cancelRequest();
            helper->reset();
        }
        delete helper;
    });
    Sleep(100);
    return watch.stop();
}

// Apply while the speed product takes 2 s to close, until it runs again.
double applyWhileClosing(bool firstDesign) {
    bool restarted = true;
    const std::string standIn = test_support::besideThisProgram("tempova.exe");
    test_support::ChildProcess slow(standIn + " --close-after 2000");
    app_test::RunningDialog dialog;
    if (!app_test::waitUntil(
            [&] { return test_support::windowProcess(findTempova()) == slow.id(); }) ||
        !dialog.hwnd())
        return -1;
    AnswerWatch watch(dialog.hwnd());
    Sleep(30);
    if (firstDesign) {
        dialog.run([&] {
            PostMessageA(findTempova(), WM_COMMAND, IDOK, 0);
            Sleep(1000);
            test_support::ChildProcess started(standIn);
            Sleep(1000);
        });
    } else {
        dialog.post(WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED));
        restarted = app_test::waitUntil(
            [&] { return dialog.status() == "Tempova successfully restarted."; }, 15000);
    }
    const double longest = watch.stop();
    test_support::endEveryTempova();
    return restarted ? longest : -1;
}

// A whole successful Update of the given number of entries, from the click
// until its "done." has gone and the button reads "&Update" again; for the
// first design, with its one-second sleep on the dialog's thread once "done."
// shows.
double updateWhole(size_t entries, bool firstDesign) {
    DeleteFileA(test_support::localCopyPath().c_str());
    app_test::RunningDialog dialog;
    if (!dialog.hwnd())
        return -1;
    AnswerWatch watch(dialog.hwnd());
    dialog.post(WM_COMMAND, MAKEWPARAM(1004, BN_CLICKED));
    bool ended = app_test::waitUntil(
        [&] { return dialog.status().find("done.") != std::string::npos; }, 60000);
    if (ended && firstDesign)
        dialog.run([] { Sleep(1000); });
    ended = ended && app_test::waitUntil(
                         [&] {
                             return dialog.status().empty() &&
                                    app_test::windowText(dialog.item(1004)) == "&Update";
                         },
                         10000);
    const double longest = watch.stop();
    const bool listed = dialog.rowCount() == static_cast<int>(entries);
    DeleteFileA(test_support::localCopyPath().c_str());
    return ended && listed ? longest : -1;
}

// Negative when any run failed.
double medianOf(const std::function<double()>& measure) {
    std::vector<double> values;
    for (int run = 0; run < 3; ++run)
        values.push_back(measure());
    return *std::min_element(values.begin(), values.end()) < 0 ? -1 : bench::median(values);
}

} // namespace

int benchResponsiveness(test_support::LoopbackHttpServer& server) {
    const std::string largest = bench::largestDocument();
    struct Case {
        const char* figure;
        bool answered;
        bool close;
    };
    const Case cases[] = {
        {"longest unanswered: Close, silent server", false, true},
        {"longest unanswered: Cancel, silent server", false, false},
        {"longest unanswered: Close, largest document", true, true},
        {"longest unanswered: Cancel, largest document", true, false},
    };
    int failures = 0;
    for (const Case& c : cases) {
        server.setReply(kPath, c.answered ? HttpReply::answer(200, largest) : HttpReply::hang());
        const double tool = medianOf([&] { return toolEnding(server, c.answered, c.close); });
        const double first =
            medianOf([&] { return firstDesignEnding(server, c.answered, c.close); });
        server.endHangs();
        failures += tool < 0 || first < 0;
        printRatio(c.figure, tool, "ms", "the first design's stop, same state", first);
    }
    struct UpdateCase {
        const char* figure;
        size_t entries;
        std::string document;
    };
    const UpdateCase updates[] = {
        {"longest unanswered: Update, 1,000 entries", 1000, test_documents::manyEntries(1000)},
        {"longest unanswered: Update, largest list", bench::kLargestEntries, largest},
    };
    for (const UpdateCase& u : updates) {
        server.setReply(kPath, HttpReply::answer(200, u.document));
        const double tool = medianOf([&] { return updateWhole(u.entries, false); });
        const double first = medianOf([&] { return updateWhole(u.entries, true); });
        printRatio(u.figure, tool, "ms", "the first design's second of \"done.\"", first);
    }
    const double apply = medianOf([] { return applyWhileClosing(false); });
    const double first = medianOf([] { return applyWhileClosing(true); });
    failures += apply < 0 || first < 0;
    printRatio("longest unanswered: Apply, speed product closing in 2 s", apply, "ms",
               "the first design's restart, same state", first);
    std::printf("  (goal: at most 250 ms; for an Update, with 1,000 entries)\n");
    return failures;
}
