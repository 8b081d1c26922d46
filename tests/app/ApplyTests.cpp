// Apply: the two preference lists as stored after each kind of row, and the
// restart of a running speed product (the stand-in tempova.exe).
#include "DialogHarness.h"

#include "ChildProcess.h"
#include "ProcessCommandLine.h"
#include "RemoteDialog.h"
#include "TestRegistry.h"
#include "UniqueHandle.h"
#include "Wnd.h"
#include "resource.h"
#include "standin_ids.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

using app_test::RunningDialog;
using app_test::waitUntil;
using test_support::findTempova;
using test_support::windowProcess;

namespace {

const char* const kAdaptersKey = "Software\\Kelvora\\Vexa\\Adapters";
const char* const kFlashAdapterKey = "Software\\Kelvora\\Vexa\\FlashAdapter";

const std::string kModuleDefault =
    "flash10*;flash9*;npswf32.dll;gcswf32.dll;fldbg10*;adobe media player.exe";
const std::string kProgramDefaultJoined =
    "iexplore.exe;firefox.exe;chrome.exe;safari.exe;opera.exe;maxthon.exe;flock.exe;"
    "feeddemon.exe;realplay.exe;flvplayer.exe;flv player.exe;adobe media player.exe";

std::string storedModules() {
    return test_support::storedText(kFlashAdapterKey, "ModulesToIntercept");
}
std::string storedPrograms() {
    return test_support::storedText(kAdaptersKey, "ProgramsToHook");
}

void store(const char* key, const char* name, const std::string& text) {
    test_support::writeRegistryValue(key, name, REG_SZ, text + '\0');
}
void storeModules(const std::string& text) {
    store(kFlashAdapterKey, "ModulesToIntercept", text);
}
void storePrograms(const std::string& text) {
    store(kAdaptersKey, "ProgramsToHook", text);
}

bool isApplyFailure(const std::string& status) {
    return status.rfind("Unable to save your choices on this computer, error code: 271 (0x", 0) ==
           0;
}

// Both lists as stored: type and data.
std::string storedValues() {
    std::string values;
    for (const auto& value :
         {test_support::readRegistryValue(kFlashAdapterKey, "ModulesToIntercept"),
          test_support::readRegistryValue(kAdaptersKey, "ProgramsToHook")})
        values += std::to_string(value.type) + ":" + value.data + "|";
    return values;
}

// Ends whatever stand-in is left when a test ends, also after a failure: a
// stand-in left running would keep the test program's output open.
struct StandInSweeper {
    ~StandInSweeper() { test_support::endEveryTempova(); }
};

class Apply : public ::testing::Test {
protected:
    StandInSweeper m_sweeper;
    void SetUp() override {
        test_support::deleteRegistryTree("Software\\Kelvora");
        ASSERT_EQ(findTempova(), nullptr) << "a stand-in is still running";
        ASSERT_TRUE(m_dialog.hwnd());
    }
    void TearDown() override { test_support::deleteRegistryTree("Software\\Kelvora"); }

    void apply() {
        m_dialog.send(WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                      reinterpret_cast<LPARAM>(m_dialog.item(IDOK)));
    }

    RunningDialog m_dialog;
};

} // namespace

TEST_F(Apply, CheckedRowWithNothingStoredJoinsBothDefaults) {
    m_dialog.addRow("Course Tool", "CourseTool.exe", true);
    apply();
    EXPECT_EQ(storedModules(), kModuleDefault + ";coursetool.exe");
    EXPECT_EQ(storedPrograms(), kProgramDefaultJoined + ";coursetool.exe");
    EXPECT_EQ(m_dialog.status(), "Applying choices...done.");
}

// What an Apply stored is where the next one starts: a row ticked, applied
// and unticked again leaves.
TEST_F(Apply, UncheckingRemovesTheNameFromBothAndKeepsTheOrder) {
    m_dialog.addRow("Course Tool", "CourseTool.exe", false);
    m_dialog.setChecked(0, true);
    apply();
    m_dialog.setChecked(0, false);
    apply();
    EXPECT_EQ(storedModules(), kModuleDefault);
    EXPECT_EQ(storedPrograms(), kProgramDefaultJoined);
    EXPECT_EQ(m_dialog.status(), "Applying choices...done.");
}

// Unreadable: larger than the store reads, or of a type other than REG_SZ.
// Left exactly as it is (type and data), never replaced by the default; the
// other list is not written either, and Apply shows that nothing was saved.
TEST_F(Apply, StoredListThatCannotBeReadLeavesBothListsUntouched) {
    const std::string large = "a.exe;" + std::string(69997, 'x') + '\0';
    const std::pair<DWORD, std::string> unreadable[] = {
        {REG_SZ, large},
        {REG_MULTI_SZ, std::string("a.exe\0b.exe\0\0", 14)},
        {REG_EXPAND_SZ, std::string("%windir%.exe\0", 13)}};
    const std::pair<const char*, const char*> lists[] = {{kAdaptersKey, "ProgramsToHook"},
                                                         {kFlashAdapterKey, "ModulesToIntercept"}};
    m_dialog.addRow("Course Tool", "CourseTool.exe", true);
    for (const auto& value : unreadable) {
        for (const auto& list : lists) {
            storeModules("m.dll");
            storePrograms("p.exe");
            test_support::writeRegistryValue(list.first, list.second, value.first, value.second);
            const std::string before = storedValues();
            apply();
            EXPECT_TRUE(isApplyFailure(m_dialog.status())) << m_dialog.status();
            EXPECT_EQ(storedValues(), before);
        }
    }
}

// In a program without the UTF-8 declaration (code page 1252 here), a list
// that another program stored with names the code page cannot spell is
// unreadable as well: rewritten, they would become "?".
TEST_F(Apply, StoredListOutsideTheCodePageIsLeftUntouched) {
    const std::string stored =
        "\xD0\xB2\xD0\xB8\xD0\xB4\xD0\xB5\xD0\xBE.exe;player.exe"; // Cyrillic
    test_support::writeRegistryText(kAdaptersKey, "ProgramsToHook", stored);
    m_dialog.addRow("Course Tool", "CourseTool.exe", true);
    apply();
    EXPECT_EQ(storedPrograms(), stored);
    EXPECT_TRUE(isApplyFailure(m_dialog.status())) << m_dialog.status();
}

// A list longer than Apply can read back is refused before anything is
// written: stored once, it would make every later Apply refuse. A list that
// another program rewrites while Apply stores it does not read back as
// written: that is a failure too, never "done.".
TEST_F(Apply, ListThatCannotBeReadBackIsAFailure) {
    storeModules("m.dll");
    storePrograms("p.exe");
    m_dialog.addRow("Long", std::string(65530, 'n') + ".exe", true);
    HKEY vexa = nullptr;
    RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Kelvora\\Vexa", 0, KEY_NOTIFY, &vexa);
    const HANDLE written = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    RegNotifyChangeKeyValue(vexa, TRUE, REG_NOTIFY_CHANGE_LAST_SET, written, TRUE);
    apply();
    EXPECT_EQ(WaitForSingleObject(written, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    CloseHandle(written);
    RegCloseKey(vexa);
    EXPECT_TRUE(isApplyFailure(m_dialog.status())) << m_dialog.status();
    EXPECT_EQ(storedModules(), "m.dll");
    EXPECT_EQ(storedPrograms(), "p.exe");

    m_dialog.run([&] { m_dialog.dialog().ClearAppList(); });
    m_dialog.addRow("Course Tool", "CourseTool.exe", true);
    std::atomic<bool> stop{false};
    std::thread rewriter([&] {
        while (!stop)
            storeModules("other.dll");
    });
    int applies = 0;
    do
        apply();
    while (!isApplyFailure(m_dialog.status()) && ++applies < 100);
    stop = true;
    rewriter.join();
    EXPECT_LT(applies, 100) << "every Apply said done.";
}

// Started from this program's folder, the speed product comes back in its
// own, with its arguments. While it restarts, Apply is greyed, the focus
// leaves it, and a second Apply (Enter) changes nothing.
TEST_F(Apply, RestartsTheRunningSpeedProduct) {
    const std::string standIn = test_support::besideThisProgram("tempova.exe");
    const std::string program[] = {"coursetool.exe", "other.exe"};
    for (int round = 0; round < 2; ++round) {
        test_support::ChildProcess first(standIn + " --close-after 500");
        ASSERT_TRUE(first.started());
        // Shown, and then in front: until then it may take the foreground
        // from the dialog after the focus was put on Apply.
        ASSERT_TRUE(
            waitUntil([] { return findTempova() && GetForegroundWindow() == findTempova(); }));
        ASSERT_EQ(windowProcess(findTempova()), first.id());
        const DWORD handlesBefore = test_support::handleCount();

        m_dialog.addRow("Course Tool", program[round], true);
        SetWindowTextA(m_dialog.item(IDC_STATIC_STATUS), "");
        m_dialog.run([&] { SetFocus(m_dialog.item(IDOK)); });
        m_dialog.post(WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED));
        ASSERT_TRUE(m_dialog.flush());
        HWND focus = nullptr;
        m_dialog.run([&] { focus = GetFocus(); });
        EXPECT_EQ(focus, m_dialog.item(IDC_LIST_APPS));
        m_dialog.setChecked(round, false);
        m_dialog.post(WM_COMMAND, IDOK);
        ASSERT_TRUE(m_dialog.flush());
        EXPECT_NE(storedPrograms().find(program[round]), std::string::npos);

        std::vector<std::string> seen;
        waitUntil([&] {
            const std::string text = m_dialog.status();
            if (seen.empty() || seen.back() != text)
                seen.push_back(text);
            return text == "Tempova successfully restarted.";
        });
        ASSERT_TRUE(m_dialog.flush());
        EXPECT_EQ(seen.back(), "Tempova successfully restarted.");
        const std::vector<std::string> expected = {"Closing Tempova...", "Restarting Tempova...",
                                                   "Tempova successfully restarted."};
        ASSERT_GE(seen.size(), 3u);
        EXPECT_EQ(std::vector<std::string>(seen.end() - 3, seen.end()), expected);

        EXPECT_TRUE(IsWindowEnabled(m_dialog.item(IDOK)));
        EXPECT_EQ(first.waitForExit(5000), 0u) << "the close command ends the stand-in";
        HWND restarted = findTempova();
        ASSERT_NE(restarted, nullptr);
        EXPECT_NE(windowProcess(restarted), first.id());
        // The new stand-in read the values Apply had just written (its window
        // counts from its creation; its texts are there once it shows).
        ASSERT_TRUE(waitUntil([&] { return IsWindowVisible(restarted) != FALSE; }));
        EXPECT_EQ(test_support::windowText(GetDlgItem(restarted, IDC_PROGRAMS)), storedPrograms());
        EXPECT_EQ(test_support::windowText(GetDlgItem(restarted, IDC_FOLDER)) + "\\",
                  test_support::besideThisProgram(""));
        EXPECT_EQ(test_support::windowText(GetDlgItem(restarted, IDC_ARGUMENTS)),
                  "--close-after 500");
        test_support::endProcess(windowProcess(restarted));
        ASSERT_TRUE(waitUntil([] { return findTempova() == nullptr; }));
        if (round == 1) {
            // Fewer is fine: an earlier case's platform clean-up may end meanwhile.
            EXPECT_LE(test_support::handleCount(), handlesBefore);
        }
    }
}

// Read from the process's parameters where the handle may read its memory,
// else asked of the platform's management service (Wine 8's tells a process
// only its own).
TEST(ProcessCommandLine, IsReadForThisProgram) {
    DWORD error = 0;
    const std::wstring path = processImagePath(GetCurrentProcess(), error);
    const UniqueHandle limited(
        OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, GetCurrentProcessId()));
    for (HANDLE process : {GetCurrentProcess(), limited.get()}) {
        const CProcessCommandLine own(process, path);
        ASSERT_TRUE(waitUntil([&] { return own.settled(); }));
        EXPECT_EQ(own.text(), std::wstring(GetCommandLineW()));
    }
}

// Closing the tool while the speed product is still closing does not leave it
// closed: the dialog hides, and the tool's process ends once it has started
// the speed product again. A second start meanwhile (here while the speed
// product ignores the close command) brings the dialog back, telling how far
// the restart got; it stays once the restart has ended.
TEST_F(Apply, CloseDuringTheRestartStillStartsTheSpeedProduct) {
    for (const bool startAgain : {false, true}) {
        test_support::ChildProcess slow(test_support::besideThisProgram("tempova.exe") +
                                        (startAgain ? " --ignore-close" : " --close-after 1500"));
        ASSERT_TRUE(waitUntil([&] { return windowProcess(findTempova()) == slow.id(); }));
        test_support::ChildProcess enabler(
            test_support::besideThisProgram("TempovaForLutegate.exe"));
        // Found as it starts: Apply and Close come before its messages first
        // run out, when the dialog manager shows a modal dialog.
        HWND dialog = nullptr;
        ASSERT_TRUE(waitUntil([&] {
            dialog = FindTopLevelWindow("#32770", "Tempova Lutegate Enabler",
                                        [&](DWORD owner) { return owner == enabler.id(); });
            return dialog != nullptr;
        }));
        const auto status = [&] {
            return test_support::windowText(GetDlgItem(dialog, IDC_STATIC_STATUS));
        };
        PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        ASSERT_TRUE(waitUntil([&] { return status() == "Closing Tempova..."; }));
        ASSERT_TRUE(waitUntil([&] { return !IsWindowVisible(dialog); }));
        EXPECT_FALSE(waitUntil([&] { return IsWindowVisible(dialog) != FALSE; }, 300));
        EXPECT_TRUE(waitUntil([&] { return GetForegroundWindow() != dialog; }));
        if (startAgain) {
            test_support::ChildProcess second(
                test_support::besideThisProgram("TempovaForLutegate.exe"));
            EXPECT_EQ(second.waitForExit(10000), 0u);
            EXPECT_TRUE(IsWindowVisible(dialog));
            EXPECT_EQ(status(), "Closing Tempova...");
            test_support::endProcess(slow.id());
            EXPECT_TRUE(waitUntil([&] { return status() == "Tempova successfully restarted."; }));
            EXPECT_EQ(enabler.waitForExit(0), STILL_ACTIVE) << "brought back, it stays";
            PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        }
        EXPECT_EQ(enabler.waitForExit(10000), 0u);
        EXPECT_EQ(slow.waitForExit(0), 0u) << "the old one had ended";
        EXPECT_TRUE(
            waitUntil([&] { return findTempova() && windowProcess(findTempova()) != slow.id(); }));
        test_support::endProcess(windowProcess(findTempova()));
    }
}
