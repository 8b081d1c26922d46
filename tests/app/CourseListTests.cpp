// The list from the local copy at start, and Update from the server with its
// timer, dots, Cancel and errors. The server is a loopback server reached
// through the HTTP stack's proxy setting, so the shipped address stays as it
// is.
// Winsock 2 before anything that brings in windows.h.
#include "LoopbackHttpServer.h"
#include "DialogHarness.h"

#include "ChildProcess.h"
#include "RemoteDialog.h"
#include "Preferences.h"
#include "TestFiles.h"
#include "TestRegistry.h"
#include "Utilities.h"
#include "resource.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <vector>

using app_test::repeatedAccessKeys;
using app_test::RunningDialog;
using app_test::waitUntil;
using app_test::windowText;
using kelvora_core::Preferences;
using test_support::HttpReply;

namespace {

const char* const kPressUpdate = "Click the Update button to update or load course list from web.";
const char* const kUpdating = "Updating course list from web.....please wait..";
const char* const kPath = "/lutegate/lutegate.xml";

using test_support::courseList;
using test_support::localCopyPath;
using test_support::readFile;
using test_support::writeFile;

void storePrograms(const char* text) {
    Preferences::setString(kelvora_core::kAdapters, kelvora_core::kProgramsToHook, text);
}

// Every case starts without a local copy and without stored programs.
class CourseListTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_server = new test_support::LoopbackHttpServer();
        // The stack reads the proxy from the environment on each request.
        const std::string proxy = "http_proxy=http://127.0.0.1:" + std::to_string(s_server->port());
        _putenv(proxy.c_str());
    }
    static void TearDownTestSuite() {
        _putenv("http_proxy=");
        delete s_server;
        s_server = nullptr;
    }
    void SetUp() override {
        DeleteFileA(localCopyPath().c_str());
        test_support::deleteRegistryTree("Software\\Kelvora\\Vexa");
    }
    void TearDown() override {
        DeleteFileA(localCopyPath().c_str());
        test_support::deleteRegistryTree("Software\\Kelvora\\Vexa");
    }
    static test_support::LoopbackHttpServer& server() { return *s_server; }

    static test_support::LoopbackHttpServer* s_server;
};

test_support::LoopbackHttpServer* CourseListTest::s_server = nullptr;

std::vector<std::string> rows(RunningDialog& dialog) {
    std::vector<std::string> texts;
    for (int i = 0; i < dialog.rowCount(); ++i)
        texts.push_back(dialog.rowText(i) + (dialog.rowChecked(i) ? " [x]" : " [ ]"));
    return texts;
}

std::string updateCaption(RunningDialog& dialog) {
    return windowText(dialog.item(IDC_BUTTON_UPDATE));
}

// A chord from the keyboard, through the system's input queue to the focused
// control of the active window: keys go down in order and come up in reverse.
void press(const std::vector<WORD>& keys) {
    std::vector<INPUT> inputs(2 * keys.size());
    for (size_t i = 0; i < keys.size(); ++i) {
        inputs[i].type = inputs[inputs.size() - 1 - i].type = INPUT_KEYBOARD;
        inputs[i].ki.wVk = inputs[inputs.size() - 1 - i].ki.wVk = keys[i];
        inputs[inputs.size() - 1 - i].ki.dwFlags = KEYEVENTF_KEYUP;
    }
    SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

// Live-region events of this process as a screen reader gets them: through a
// hook out of context, delivered while this thread takes its messages. Each
// is kept as the id of the control it came from, and the text that the
// control gives when asked through its window, as readers ask.
class LiveRegionEvents {
public:
    LiveRegionEvents()
        : m_hook(SetWinEventHook(kLiveRegionChanged, kLiveRegionChanged, nullptr, onEvent,
                                 GetCurrentProcessId(), 0, WINEVENT_OUTOFCONTEXT)) {}
    ~LiveRegionEvents() {
        UnhookWinEvent(m_hook);
        s_controls.clear();
        s_texts.clear();
    }
    static const std::vector<std::string>& texts() { return s_texts; }
    const std::vector<int>& controls() {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageA(&message);
        return s_controls;
    }

private:
    static constexpr DWORD kLiveRegionChanged = 0x8019;
    static void CALLBACK onEvent(HWINEVENTHOOK, DWORD, HWND window, LONG object, LONG child, DWORD,
                                 DWORD) {
        if (object != OBJID_CLIENT || child != CHILDID_SELF)
            return;
        s_controls.push_back(GetDlgCtrlID(window));
        char text[512] = {};
        DWORD_PTR length = 0;
        s_texts.push_back(SendMessageTimeoutA(window, WM_GETTEXT, sizeof text,
                                              reinterpret_cast<LPARAM>(text), SMTO_NORMAL, 250,
                                              &length)
                              ? text
                              : "<no answer>");
    }
    static std::vector<int> s_controls;
    static std::vector<std::string> s_texts;
    HWINEVENTHOOK m_hook;
};

std::vector<int> LiveRegionEvents::s_controls;
std::vector<std::string> LiveRegionEvents::s_texts;

// Reserves this process's free address space in stretches of 1 MB or more,
// so that no thread (whose stack needs that much) can be created meanwhile.
class AddressSpaceFilled {
public:
    AddressSpaceFilled() {
        for (SIZE_T size = 256 << 20; size >= 1 << 20; size /= 2) {
            while (void* block = VirtualAlloc(nullptr, size, MEM_RESERVE, PAGE_NOACCESS))
                m_blocks.push_back(block);
        }
    }
    ~AddressSpaceFilled() {
        for (void* block : m_blocks)
            VirtualFree(block, 0, MEM_RELEASE);
    }
    AddressSpaceFilled(const AddressSpaceFilled&) = delete;
    AddressSpaceFilled& operator=(const AddressSpaceFilled&) = delete;

private:
    std::vector<void*> m_blocks;
};

} // namespace

// Checked where the stored programs name the row (the rule: IsAppHooked).
TEST_F(CourseListTest, LocalCopyIsListedAtStartInDocumentOrder) {
    storePrograms("iexplore.exe;STUDIO.EXE");
    writeFile(localCopyPath(),
              courseList(
                  {{"Player", "player.exe"}, {"Studio", "Studio.exe"}, {"Player", "player2.exe"}}));
    RunningDialog dialog;
    ASSERT_TRUE(dialog.hwnd());
    EXPECT_EQ((std::vector<std::string>{"Player [ ]", "Studio [x]", "Player [ ]"}), rows(dialog));
    EXPECT_EQ("player2.exe", dialog.rowProgram(2));
    EXPECT_EQ(kPressUpdate, dialog.status());
    EXPECT_EQ("&Update", updateCaption(dialog));
}

// The worker may end the request between the dialog's reads of its done
// event and its busy flag; the load must still see the result every time.
TEST_F(CourseListTest, LocalLoadNeverMissesAFastRequest) {
    writeFile(localCopyPath(), courseList({{"Fast", "fast.exe"}}));
    RunningDialog dialog;
    ASSERT_TRUE(dialog.hwnd());
    int missed = 0;
    for (int i = 0; i < 150; ++i) {
        dialog.run([&] { dialog.dialog().reloadLocalCourseList(); });
        missed += dialog.rowCount() == 1 ? 0 : 1;
    }
    EXPECT_EQ(0, missed);
}

// A worker thread that cannot be created never ends the request: the load
// gives up at once and lists nothing, instead of waiting for ever.
TEST_F(CourseListTest, LocalLoadWithoutAWorkerThreadListsNothing) {
    writeFile(localCopyPath(), courseList({{"Listed", "listed.exe"}}));
    RunningDialog dialog;
    ASSERT_TRUE(dialog.hwnd());
    const std::function<void()> reload = [&] { dialog.dialog().reloadLocalCourseList(); };
    bool answered = false;
    {
        const AddressSpaceFilled filled;
        dialog.post(app_test::TestDlg::kRunMessage, 0, reinterpret_cast<LPARAM>(&reload));
        answered = dialog.flush(5000);
    }
    ASSERT_TRUE(answered);
    EXPECT_EQ(0, dialog.rowCount());
    dialog.run(reload);
    EXPECT_EQ(1, dialog.rowCount());
}

// Checked as Apply reads the lists: a stored list of a type Apply refuses
// checks nothing, and the start says at once what Apply would say.
TEST_F(CourseListTest, StoredListApplyRefusesChecksNothingAndIsNamedAtStart) {
    test_support::writeRegistryValue("Software\\Kelvora\\Vexa\\Adapters", "ProgramsToHook",
                                     REG_EXPAND_SZ, std::string("coursetool.exe\0", 15));
    writeFile(localCopyPath(), courseList({{"Course Tool", "CourseTool.exe"}}));
    RunningDialog dialog;
    ASSERT_TRUE(dialog.hwnd());
    EXPECT_EQ((std::vector<std::string>{"Course Tool [ ]"}), rows(dialog));
    EXPECT_EQ("Unable to save your choices on this computer, error code: 271 (0x65e)",
              dialog.status());
}

TEST_F(CourseListTest, BrokenLocalCopyListsNothing) {
    writeFile(localCopyPath(), "<applications><app exe=\"a.exe\">A</app>");
    RunningDialog dialog;
    ASSERT_TRUE(dialog.hwnd());
    EXPECT_EQ(0, dialog.rowCount());
    EXPECT_EQ(kPressUpdate, dialog.status());
}

// As after an Update from the server: the entries before it are listed.
TEST_F(CourseListTest, LocalCopyWithAnEntryWithoutExeListsTheEntriesBeforeIt) {
    writeFile(localCopyPath(),
              "<applications><app exe=\"a.exe\">A</app><app>no exe</app></applications>");
    RunningDialog dialog;
    ASSERT_TRUE(dialog.hwnd());
    EXPECT_EQ((std::vector<std::string>{"A [ ]"}), rows(dialog));
}

TEST_F(CourseListTest, UpdateRefreshesRowsAndLocalCopyWithDotsAndDone) {
    writeFile(localCopyPath(), courseList({{"Old", "old.exe"}}));
    storePrograms("x.exe;fresh.exe");
    const std::string document = courseList({{"Fresh", "fresh.exe"}, {"New", "new.exe"}});
    server().setReply(kPath, HttpReply::drip(document, 64, 300));
    RunningDialog dialog;
    ASSERT_TRUE(dialog.hwnd());
    ASSERT_EQ(1, dialog.rowCount());
    dialog.post(WM_COMMAND, MAKEWPARAM(IDC_BUTTON_UPDATE, BN_CLICKED));
    ASSERT_TRUE(waitUntil([&] { return dialog.status() == kUpdating; }));
    EXPECT_TRUE(waitUntil([&] { return updateCaption(dialog) == "Ca&ncel"; }));
    ASSERT_TRUE(waitUntil([&] { return dialog.status() == std::string(kUpdating) + "."; }));
    ASSERT_TRUE(waitUntil([&] { return dialog.status() == std::string(kUpdating) + ".."; }));
    std::string done;
    bool emptied = false; // while the button reads Cancel
    const auto doneShows = [&] {
        emptied |= updateCaption(dialog) == "Ca&ncel" && dialog.status().empty();
        return (done = dialog.status()).find(".done.") != std::string::npos;
    };
    ASSERT_TRUE(waitUntil(doneShows, 20000) && !emptied);
    const DWORD shown = GetTickCount();
    // The updating text with its dots, one more "." and "done." at the end,
    // standing for its second.
    EXPECT_EQ(0u, done.find(std::string(kUpdating) + ".."));
    EXPECT_EQ(done.size() - 6, done.find(".done."));
    Sleep(500);
    EXPECT_EQ(done, dialog.status());
    ASSERT_TRUE(waitUntil([&] { return dialog.status().empty(); }, 3000));
    EXPECT_GE(GetTickCount() - shown, 800u);
    EXPECT_TRUE(waitUntil([&] { return updateCaption(dialog) == "&Update"; }));
    EXPECT_EQ((std::vector<std::string>{"Fresh [x]", "New [ ]"}), rows(dialog));
    std::string stored = document;
    for (size_t at = 0; (at = stored.find('\n', at)) != std::string::npos; at += 2)
        stored.replace(at, 1, "\r\n");
    EXPECT_EQ(stored, readFile(localCopyPath()));
    EXPECT_NE(std::string::npos, server().requestLines().back().find("www.kelvora.example"));
}

// The whole job with keys alone, with no access key shared, idle or updating:
// Alt+U, Shift+Tab back to the list, Space on the first row and on the third,
// Alt+A.
TEST_F(CourseListTest, KeysAloneUpdateTickAndApply) {
    const std::string document = courseList({{"A", "a.exe"}, {"B", "b.exe"}, {"C", "c.exe"}});
    server().setReply(kPath, HttpReply::drip(document, 64, 300));
    RunningDialog dialog;
    ASSERT_TRUE(dialog.hwnd());
    EXPECT_EQ(L"", repeatedAccessKeys(dialog.hwnd()));
    // Keys go to the focused control of the active window: the dialog must
    // be it, with the focus inside, before the first key.
    GUITHREADINFO thread{};
    thread.cbSize = sizeof thread;
    ASSERT_TRUE(waitUntil([&] {
        return GetForegroundWindow() == dialog.hwnd() &&
               GetGUIThreadInfo(GetWindowThreadProcessId(dialog.hwnd(), nullptr), &thread) &&
               thread.hwndFocus && IsChild(dialog.hwnd(), thread.hwndFocus);
    }));
    press({VK_MENU, 'U'});
    ASSERT_TRUE(waitUntil([&] { return updateCaption(dialog) != "&Update"; }));
    EXPECT_EQ(L"", repeatedAccessKeys(dialog.hwnd()));
    ASSERT_TRUE(waitUntil(
        [&] { return updateCaption(dialog) == "&Update" && dialog.rowCount() == 3; }, 20000));
    for (const std::vector<WORD>& keys : std::vector<std::vector<WORD>>{
             {VK_SHIFT, VK_TAB}, {VK_SPACE}, {VK_DOWN}, {VK_DOWN}, {VK_SPACE}, {VK_MENU, 'A'}})
        press(keys);
    ASSERT_TRUE(waitUntil([&] { return dialog.status() == "Applying choices...done."; }));
    EXPECT_EQ((std::vector<std::string>{"A [x]", "B [ ]", "C [x]"}), rows(dialog));
}

// One announcement per status: the dots of an update add none, and an
// emptied status line says nothing. A reader that asks the line for its
// text at once is answered, with the text announced ("done." included).
TEST_F(CourseListTest, EachStatusIsAnnouncedOnceResultsAndErrorsAlike) {
    server().setReply(kPath, HttpReply::drip(courseList({{"A", "a.exe"}}), 16, 300));
    LiveRegionEvents events;
    RunningDialog dialog;
    ASSERT_TRUE(dialog.hwnd());
    const auto heard = [&](const std::function<bool()>& condition, DWORD timeoutMs) {
        return waitUntil([&] { return !events.controls().empty() && condition(); }, timeoutMs);
    };
    const auto announced = [&](size_t count) {
        return heard([&] { return events.controls().size() >= count; }, 3000) &&
               events.controls() == std::vector<int>(count, IDC_STATIC_STATUS);
    };
    EXPECT_TRUE(announced(1));
    dialog.post(WM_COMMAND, MAKEWPARAM(IDC_BUTTON_UPDATE, BN_CLICKED));
    ASSERT_TRUE(heard([&] { return dialog.status() == std::string(kUpdating) + ".."; }, 10000));
    ASSERT_TRUE(heard([&] { return updateCaption(dialog) == "&Update"; }, 20000));
    EXPECT_TRUE(announced(3)) << events.controls().size();
    server().setReply(kPath, HttpReply::answer(404, "not here", "text/plain"));
    dialog.post(WM_COMMAND, MAKEWPARAM(IDC_BUTTON_UPDATE, BN_CLICKED));
    ASSERT_TRUE(heard([&] { return updateCaption(dialog) == "&Update"; }, 10000));
    EXPECT_TRUE(announced(5)) << events.controls().size();
    dialog.post(WM_COMMAND, IDOK);
    ASSERT_TRUE(announced(7)) << events.controls().size();
    const char* const said[] = {"Click the Update", kUpdating,     ".done.",
                                kUpdating,          "268 (0x194)", "Applying choices...",
                                "Applying choices"};
    for (size_t i = 0; i < events.texts().size(); ++i)
        EXPECT_NE(events.texts()[i].find(said[i]), std::string::npos) << events.texts()[i];
}

// A failure is the latest word on the list even when a restart's texts
// follow it: it comes back once the restart's last text has had its second.
TEST_F(CourseListTest, UpdateFailureDuringARestartComesBackAfterIt) {
    server().setReply(kPath, HttpReply::answer(404, "not here", "text/plain"));
    test_support::ChildProcess stubborn(test_support::besideThisProgram("tempova.exe") +
                                        " --ignore-close");
    ASSERT_TRUE(waitUntil(test_support::findTempova));
    RunningDialog dialog;
    dialog.dialog().m_tempovaCloseLimitMs = 3000;
    dialog.post(WM_COMMAND, IDOK);
    dialog.post(WM_COMMAND, MAKEWPARAM(IDC_BUTTON_UPDATE, BN_CLICKED));
    const auto failed = [&] { return dialog.status().find("268 (0x194)") != std::string::npos; };
    ASSERT_TRUE(waitUntil(failed));
    EXPECT_TRUE(waitUntil([&] { return dialog.status().rfind("Tempova did not close", 0) == 0; }));
    EXPECT_TRUE(waitUntil(failed, 3000)) << dialog.status();
}

TEST_F(CourseListTest, FailedUpdateKeepsRowsAndLocalCopyAndShowsTheError) {
    const std::string old = courseList({{"Old", "old.exe"}});
    writeFile(localCopyPath(), old);
    server().setReply(kPath, HttpReply::answer(404, "not here", "text/plain"));
    RunningDialog dialog;
    ASSERT_TRUE(dialog.hwnd());
    dialog.post(WM_COMMAND, MAKEWPARAM(IDC_BUTTON_UPDATE, BN_CLICKED));
    const std::string expected =
        "Error connecting to Kelvora server, please try again later.  Error code: 268 (0x194)";
    ASSERT_TRUE(waitUntil([&] { return dialog.status() == expected; }));
    EXPECT_TRUE(waitUntil([&] { return updateCaption(dialog) == "&Update"; }));
    EXPECT_EQ((std::vector<std::string>{"Old [ ]"}), rows(dialog));
    EXPECT_EQ(old, readFile(localCopyPath()));
}

// A login page is no course list: the list and the copy stay, with the
// error; a course list without entries empties both.
TEST_F(CourseListTest, PageWithoutTheContainerIsRefusedAndAnEmptyListEmptiesTheList) {
    writeFile(localCopyPath(), courseList({{"Old", "old.exe"}}));
    const std::string old = readFile(localCopyPath());
    server().setReply(kPath, HttpReply::answer(200, "<html><body>Log in</body></html>"));
    RunningDialog dialog;
    ASSERT_TRUE(dialog.hwnd());
    dialog.post(WM_COMMAND, MAKEWPARAM(IDC_BUTTON_UPDATE, BN_CLICKED));
    ASSERT_TRUE(waitUntil([&] { return dialog.status().find("267 (0x0)") != std::string::npos; }));
    EXPECT_EQ((std::vector<std::string>{"Old [ ]"}), rows(dialog));
    EXPECT_EQ(old, readFile(localCopyPath()));
    server().setReply(kPath, HttpReply::answer(200, "<applications/>"));
    dialog.post(WM_COMMAND, MAKEWPARAM(IDC_BUTTON_UPDATE, BN_CLICKED));
    ASSERT_TRUE(waitUntil(
        [&] { return updateCaption(dialog) == "&Update" && dialog.rowCount() == 0; }, 10000));
    EXPECT_EQ("<applications/>", readFile(localCopyPath()));
}

// Cancel while the server does not answer empties the line and keeps the rows. An
// update left alone ends at its limit (shortened here) with the error, the
// rows and the copy as they were, whatever the worker does: under Wine an
// answer that floods in holds it up inside the request object past its own
// limit.
TEST_F(CourseListTest, SilentServerCancelEmptiesTheLineKeepsRowsAndTheLimitEndsTheUpdate) {
    writeFile(localCopyPath(), courseList({{"Old", "old.exe"}}));
    const std::string copy = readFile(localCopyPath());
    server().setReply(kPath, HttpReply::hang());
    RunningDialog dialog;
    ASSERT_TRUE(dialog.hwnd());
    dialog.post(WM_COMMAND, MAKEWPARAM(IDC_BUTTON_UPDATE, BN_CLICKED));
    ASSERT_TRUE(waitUntil([&] { return dialog.status() == std::string(kUpdating) + ".."; }));
    dialog.post(WM_COMMAND, MAKEWPARAM(IDC_BUTTON_UPDATE, BN_CLICKED));
    ASSERT_TRUE(waitUntil([&] { return updateCaption(dialog) == "&Update"; }));
    ASSERT_TRUE(dialog.flush());
    EXPECT_EQ("", dialog.status());
    EXPECT_EQ((std::vector<std::string>{"Old [ ]"}), rows(dialog));
    dialog.post(WM_TIMER, 1);
    ASSERT_TRUE(dialog.flush());
    EXPECT_EQ("", dialog.status()); // no timer, no helper: nothing moves

    dialog.dialog().m_updateLimitMs = 1500;
    dialog.post(WM_COMMAND, MAKEWPARAM(IDC_BUTTON_UPDATE, BN_CLICKED));
    ASSERT_TRUE(dialog.flush());
    EXPECT_TRUE(waitUntil([&] { return updateCaption(dialog) == "&Update"; }, 3500));
    EXPECT_EQ("Error connecting to Kelvora server, please try again later.", dialog.status());
    EXPECT_EQ((std::vector<std::string>{"Old [ ]"}), rows(dialog));
    EXPECT_EQ(copy, readFile(localCopyPath()));
}

// The button reads Cancel from the press on, and cancels before the first
// tick too: no request is made, the line is emptied, and the rows stay.
TEST_F(CourseListTest, SecondPressBeforeTheFirstTickCancels) {
    server().setReply(kPath, HttpReply::answer(200, courseList({{"Only", "only.exe"}})));
    RunningDialog dialog;
    ASSERT_TRUE(dialog.hwnd());
    dialog.addRow("Old", "old.exe", false);
    const size_t requests = server().requestCount();
    dialog.post(WM_COMMAND, MAKEWPARAM(IDC_BUTTON_UPDATE, BN_CLICKED));
    dialog.post(WM_COMMAND, MAKEWPARAM(IDC_BUTTON_UPDATE, BN_CLICKED));
    ASSERT_TRUE(dialog.flush());
    EXPECT_EQ("&Update", updateCaption(dialog));
    EXPECT_EQ("", dialog.status());
    dialog.post(WM_TIMER, 1);
    dialog.post(WM_TIMER, 7); // a timer of another id does nothing either
    ASSERT_TRUE(dialog.flush());
    EXPECT_EQ(requests, server().requestCount());
    EXPECT_EQ((std::vector<std::string>{"Old [ ]"}), rows(dialog));
}

TEST_F(CourseListTest, CloseDuringAnUpdateEndsPromptlyAndLeavesNothingBehind) {
    constexpr int kCycles = 6;
    constexpr DWORD kPlatformNoise = 3;
    server().setReply(kPath, HttpReply::hang());
    DWORD before = 0;
    for (int i = 0; i <= kCycles; ++i) {
        if (i == 1) { // the first cycle loads what the process keeps
            server().endHangs();
            before = test_support::handleCount();
        }
        RunningDialog dialog;
        ASSERT_TRUE(dialog.hwnd());
        dialog.post(WM_COMMAND, MAKEWPARAM(IDC_BUTTON_UPDATE, BN_CLICKED));
        ASSERT_TRUE(waitUntil([&] { return dialog.status() == std::string(kUpdating) + "."; }));
        const DWORD start = GetTickCount();
        dialog.post(WM_COMMAND, IDCANCEL);
        ASSERT_TRUE(dialog.waitForEnd(5000));
        EXPECT_LT(GetTickCount() - start, 3000u);
        EXPECT_EQ(0, dialog.dialog().m_rowsAtEnd);
    }
    // The server lets the connections go (one on another port would not be
    // reached: the platform's HTTP stack keeps the proxy it first used).
    server().endHangs();
    // Wine keeps two handles each time the last thread leaves the
    // multithreaded apartment after a request, and its own helper threads
    // come and go (a few handles, not growing with the cycles); a leak of our
    // own would add at least one handle per cycle.
    const DWORD limit = before + 2 * kCycles + kPlatformNoise;
    waitUntil([&] { return test_support::handleCount() <= limit; }, 3000);
    EXPECT_LE(test_support::handleCount(), limit);
}
