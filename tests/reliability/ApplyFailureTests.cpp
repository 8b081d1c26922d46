// Apply when the speed product misbehaves or the preferences cannot be
// written. This program lies in a folder without tempova.exe, so the search
// order finds one only where a case puts the current folder.
#include "ReliabilitySupport.h"
#include "DialogHarness.h"

#include "ChildProcess.h"
#include "RemoteDialog.h"
#include "TestRegistry.h"

#include <aclapi.h>
#include <gtest/gtest.h>
#include <sddl.h>

using app_test::RunningDialog;
using app_test::waitUntil;

namespace {

const char* const kTitle = "Kelvora Tempova LoaderApp";
const char* const kAdaptersKey = "Software\\Kelvora\\Vexa\\Adapters";

HWND findTempova() {
    return FindWindowA("#32770", kTitle);
}

// The stand-in lies in the folder above this program's.
std::string standIn() {
    return test_support::besideThisProgram("..\\tempova.exe");
}

// A copy of the stand-in in a folder of its own beside this program.
std::string copyOfStandIn(const std::string& folder) {
    const std::string copy = test_support::besideThisProgram(folder + "\\tempova.exe");
    CreateDirectoryA(test_support::besideThisProgram(folder).c_str(), nullptr);
    CopyFileA(standIn().c_str(), copy.c_str(), FALSE);
    return copy;
}

// The full path of the executable that shows the window, in small letters.
std::string executableOf(HWND window) {
    HANDLE process =
        OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, test_support::windowProcess(window));
    char path[MAX_PATH] = {};
    DWORD length = MAX_PATH;
    if (process) {
        QueryFullProcessImageNameA(process, 0, path, &length);
        CloseHandle(process);
    }
    return CharLowerA(path);
}

HWND anotherStandIn(HWND first) {
    HWND window = nullptr;
    while ((window = FindWindowExA(nullptr, window, "#32770", kTitle)) == first) {
    }
    return window;
}

bool standInShown() {
    return waitUntil([] { return findTempova() && IsWindowVisible(findTempova()); });
}

// Ends every stand-in still open.
void endStandIns() {
    for (int i = 0; i < 5 && findTempova(); ++i)
        test_support::endProcess(test_support::windowProcess(findTempova()));
}

// Keeps a key readable and unwritable for everyone until destruction.
class ReadOnlyKey {
public:
    explicit ReadOnlyKey(const char* path) : m_path(path) {
        test_support::createRegistryKey(path);
        setDacl("D:P(A;;KR;;;WD)");
    }
    ~ReadOnlyKey() { setDacl("D:P(A;;KA;;;WD)"); }

private:
    void setDacl(const char* sddl) {
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1,
                                                                  &descriptor, nullptr))
            return;
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, m_path.c_str(), 0, WRITE_DAC, &key) == ERROR_SUCCESS) {
            RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, descriptor);
            RegCloseKey(key);
        }
        LocalFree(descriptor);
    }
    std::string m_path;
};

bool canWrite(const char* path) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

class ApplyFailures : public ::testing::Test {
protected:
    void SetUp() override {
        test_support::deleteRegistryTree("Software\\Kelvora");
        ASSERT_EQ(findTempova(), nullptr);
        ASSERT_TRUE(m_dialog.hwnd());
        m_dialog.addRow("Course Tool", "CourseTool.exe", true);
    }
    void TearDown() override {
        endStandIns();
        SetCurrentDirectoryA(m_folder.c_str());
        test_support::deleteRegistryTree("Software\\Kelvora");
    }
    // Apply as the user presses it; the statuses seen until it returns.
    std::vector<std::string> applyAndWatch() {
        SetWindowTextA(m_dialog.item(1003), "");
        m_dialog.post(WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED));
        std::vector<std::string> seen;
        HANDLE reached = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        m_dialog.post(app_test::TestDlg::kMarkMessage, 0, reinterpret_cast<LPARAM>(reached));
        while (WaitForSingleObject(reached, 5) != WAIT_OBJECT_0) {
            const std::string text = m_dialog.status();
            if (seen.empty() || seen.back() != text)
                seen.push_back(text);
        }
        CloseHandle(reached);
        seen.push_back(m_dialog.status());
        return seen;
    }

    std::string m_folder = [] {
        char folder[MAX_PATH] = {};
        GetCurrentDirectoryA(MAX_PATH, folder);
        return std::string(folder);
    }();
    RunningDialog m_dialog;
};

} // namespace

// What must hold: when the speed product's executable cannot be started again
// (its file is gone), Apply still writes the preferences, nothing is
// reported, the status line keeps "Restarting Tempova..." (no false
// success), and the dialog answers again.
TEST_F(ApplyFailures, TempovaWhoseFileIsGoneLeavesRestartingStanding) {
    const std::string copy = copyOfStandIn("gone");
    test_support::ChildProcess tempova(copy);
    ASSERT_TRUE(standInShown());
    ASSERT_TRUE(MoveFileExA(copy.c_str(), (copy + ".old").c_str(), MOVEFILE_REPLACE_EXISTING));
    const std::vector<std::string> seen = applyAndWatch();
    EXPECT_EQ("Restarting Tempova...", seen.back());
    EXPECT_EQ(findTempova(), nullptr);
    EXPECT_NE(std::string::npos,
              test_support::storedText(kAdaptersKey, "ProgramsToHook").find(";coursetool.exe"));
    EXPECT_TRUE(m_dialog.flush(1000));
}

// What must hold: a speed product that has not closed within its few seconds
// is left running alone: no second copy, "Closing Tempova..." stays, and
// Apply returns instead of waiting for it. One that closes is started again
// from the executable it ran, not from a program of the same name that the
// search order finds first (here one planted in the current folder).
TEST_F(ApplyFailures, SpeedProductThatDoesNotCloseIsLeftAloneAndOneThatClosesRunsItsOwnExecutable) {
    copyOfStandIn("planted");
    SetCurrentDirectoryA(test_support::besideThisProgram("planted").c_str());
    test_support::ChildProcess stubborn(standIn() + " --ignore-close");
    ASSERT_TRUE(standInShown());
    HWND first = findTempova();
    const DWORD start = GetTickCount();
    EXPECT_EQ("Closing Tempova...", applyAndWatch().back());
    EXPECT_LT(GetTickCount() - start, 7000u);
    EXPECT_TRUE(IsWindow(first)) << "the product that ignores the command stays";
    EXPECT_EQ(anotherStandIn(first), nullptr) << "no second copy was started";

    endStandIns();
    test_support::ChildProcess tempova(standIn());
    ASSERT_TRUE(standInShown());
    const std::string executable = executableOf(findTempova());
    EXPECT_EQ("Tempova successfully restarted.", applyAndWatch().back());
    EXPECT_EQ(executableOf(findTempova()), executable);
}

// What must hold: when the program list cannot be written (its key is
// readable only) while the module list can, Apply claims no success
// ("Applying choices..." stays), the program list keeps its value and the
// dialog goes on answering.
TEST_F(ApplyFailures, UnwritableProgramListIsLeftAsItWasAndNothingIsClaimed) {
    test_support::writeRegistryValue(kAdaptersKey, "ProgramsToHook", REG_SZ,
                                     std::string("a.exe\0", 6));
    {
        ReadOnlyKey adapters(kAdaptersKey);
        if (canWrite(kAdaptersKey))
            GTEST_SKIP() << "this platform does not enforce the key's access list";
        const std::vector<std::string> seen = applyAndWatch();
        EXPECT_EQ("Applying choices...", seen.back());
        EXPECT_EQ("a.exe", test_support::storedText(kAdaptersKey, "ProgramsToHook"));
        EXPECT_TRUE(m_dialog.flush(1000));
    }
}
