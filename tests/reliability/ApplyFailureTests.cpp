// Apply when the speed product misbehaves or the preferences cannot be
// written. This program lies in a folder without tempova.exe, so the search
// order finds one only where a case puts the current folder.
#include "ReliabilitySupport.h"
#include "DialogHarness.h"

#include "ChildProcess.h"
#include "RemoteDialog.h"
#include "TestRegistry.h"
#include "TextConversion.h"
#include "resource.h"
#include "standin_ids.h"

#include <aclapi.h>
#include <gtest/gtest.h>
#include <sddl.h>

using app_test::RunningDialog;
using app_test::waitUntil;
using test_support::findTempova;

namespace {

const char* const kAdaptersKey = "Software\\Kelvora\\Vexa\\Adapters";

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

// A copy of the stand-in in a folder outside this program's code page, as an
// install folder may be.
std::wstring copyOfStandInInLodz() {
    const std::wstring folder =
        ansiToWide(test_support::besideThisProgram("")) + L"\u0141\u00f3d\u017a Tempova\\";
    CreateDirectoryW(folder.c_str(), nullptr);
    CopyFileW(ansiToWide(standIn()).c_str(), (folder + L"tempova.exe").c_str(), FALSE);
    return folder + L"tempova.exe";
}

// The full path of the executable that shows the window, in small letters.
std::wstring executableOf(HWND window) {
    HANDLE process =
        OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, test_support::windowProcess(window));
    std::vector<wchar_t> path(32767);
    DWORD length = static_cast<DWORD>(path.size());
    if (!process || !QueryFullProcessImageNameW(process, 0, path.data(), &length))
        length = 0;
    if (process)
        CloseHandle(process);
    CharLowerBuffW(path.data(), length);
    return std::wstring(path.data(), length);
}

bool isRestartFailure(const std::string& status) {
    return status.rfind("Unable to start Tempova again, please start it yourself. Error code: 272",
                        0) == 0;
}

HWND anotherStandIn(HWND first) {
    HWND window = nullptr;
    while ((window = FindWindowExA(nullptr, window, "#32770", test_support::kTempovaTitle)) ==
           first) {
    }
    return window;
}

bool standInShown() {
    return waitUntil([] { return findTempova() && IsWindowVisible(findTempova()); });
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
        test_support::endEveryTempova();
        SetCurrentDirectoryA(m_folder.c_str());
        test_support::deleteRegistryTree("Software\\Kelvora");
    }
    // Apply as the user presses it (and Close at once after it); the
    // statuses seen until Apply is available again, that is, until a restart
    // has ended.
    std::vector<std::string> applyAndWatch(bool close = false) {
        SetWindowTextA(m_dialog.item(IDC_STATIC_STATUS), "");
        m_dialog.post(WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED));
        if (close)
            m_dialog.post(WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED));
        EXPECT_TRUE(m_dialog.flush());
        std::vector<std::string> seen{m_dialog.status()};
        waitUntil(
            [&] {
                const bool available = IsWindowEnabled(m_dialog.item(IDOK)) != FALSE;
                if (seen.back() != m_dialog.status())
                    seen.push_back(m_dialog.status());
                return available;
            },
            40000);
        seen.push_back(m_dialog.status());
        return seen;
    }
    void setCloseLimit(DWORD ms) { m_dialog.dialog().m_tempovaCloseLimitMs = ms; }

    std::string m_folder = [] {
        char folder[MAX_PATH] = {};
        GetCurrentDirectoryA(MAX_PATH, folder);
        return std::string(folder);
    }();
    RunningDialog m_dialog;
};

} // namespace

// What must hold: when the speed product's executable cannot be started again
// (its file is gone) or is not known (a product of higher rights does not
// tell it), no program of its name that the search order finds (here in the
// current folder) runs in its place; when it was replaced by a program that
// shows no window, another speed product's window is no success. The
// preferences are still written, the failure is shown.
TEST_F(ApplyFailures, TempovaWhoseFileIsGoneOrShowsNoWindowIsNoSuccess) {
    copyOfStandIn("planted");
    SetCurrentDirectoryA(test_support::besideThisProgram("planted").c_str());
    const std::string copy = copyOfStandIn("gone");
    {
        test_support::ChildProcess tempova(copy);
        ASSERT_TRUE(standInShown());
        ASSERT_TRUE(MoveFileExA(copy.c_str(), (copy + ".old").c_str(), MOVEFILE_REPLACE_EXISTING));
        EXPECT_TRUE(isRestartFailure(applyAndWatch().back()));
        EXPECT_EQ(findTempova(), nullptr) << "nothing else was started";
        EXPECT_NE(std::string::npos,
                  test_support::storedText(kAdaptersKey, "ProgramsToHook").find(";coursetool.exe"));
    }
    // One whose path cannot be read, or whose user cannot be told (as of
    // another account), is not closed: the user is asked to restart it.
    for (const char* unreadable : {" --grant 0x100001", " --hide-token"}) {
        test_support::ChildProcess guarded(standIn() + unreadable);
        ASSERT_TRUE(standInShown());
        EXPECT_EQ(applyAndWatch().back(),
                  "Unable to start Tempova again, please start it yourself. "
                  "Error code: 272 (0x5)");
        EXPECT_EQ(test_support::windowProcess(findTempova()), guarded.id()) << unreadable;
        EXPECT_EQ(anotherStandIn(findTempova()), nullptr) << "nothing was started";
    }
    test_support::ChildProcess stubborn(standIn() + " --ignore-close");
    ASSERT_TRUE(standInShown());
    MoveFileExA((copy + ".old").c_str(), copy.c_str(), MOVEFILE_REPLACE_EXISTING);
    test_support::ChildProcess tempova(copy);
    ASSERT_TRUE(
        waitUntil([&] { return test_support::windowProcess(findTempova()) == tempova.id(); }));
    ASSERT_TRUE(MoveFileExA(copy.c_str(), (copy + ".old").c_str(), MOVEFILE_REPLACE_EXISTING));
    ASSERT_TRUE(CopyFileA(test_support::besideThisProgram("reliability_peer.exe").c_str(),
                          copy.c_str(), FALSE));
    EXPECT_TRUE(isRestartFailure(applyAndWatch().back()));
}

// What must hold: a speed product that has not closed within the limit is
// left running alone: no second copy, and a message asks the user to restart
// it. One that takes longer than a few seconds to close is started again,
// once, from the executable it ran, wherever that lies (a folder outside the
// code page), with its arguments, not from a program of the same name that
// the search order finds first (here one planted in the current folder);
// Apply is not available meanwhile. Closed during a restart that fails, the
// dialog comes back behind the program in front.
TEST_F(ApplyFailures, SlowSpeedProductIsRestartedFromItsOwnFileAndOneThatDoesNotCloseIsLeftAlone) {
    copyOfStandIn("planted");
    SetCurrentDirectoryA(test_support::besideThisProgram("planted").c_str());
    setCloseLimit(6000);
    test_support::ChildProcess stubborn(standIn() + " --ignore-close");
    ASSERT_TRUE(waitUntil([] { return GetForegroundWindow() == findTempova(); }));
    HWND first = findTempova();
    EXPECT_EQ("Tempova did not close. Please restart Tempova yourself.",
              applyAndWatch(true).back());
    EXPECT_TRUE(IsWindowVisible(m_dialog.hwnd()));
    EXPECT_EQ(GetForegroundWindow(), first);
    EXPECT_TRUE(IsWindow(first)) << "the product that ignores the command stays";
    EXPECT_EQ(anotherStandIn(first), nullptr) << "no second copy was started";

    // Its parameters spell its path otherwise (the same file): its arguments
    // come back. Where neither its memory nor WMI tells them (it grants the
    // limited rights alone; Wine's WMI tells a process only its own), it
    // comes back by its quoted path alone.
    const std::wstring inLodz = copyOfStandInInLodz();
    const std::pair<const wchar_t*, const char*> rounds[] = {
        {L" --close-after 4500 --respell-image", "--close-after 4500 --respell-image"},
        {L" --close-after 4500 --grant 0x101000", ""}};
    for (const auto& [arguments, restartedWith] : rounds) {
        test_support::endEveryTempova();
        test_support::ChildProcess slow(L"\"" + inLodz + L"\"" + arguments);
        ASSERT_TRUE(standInShown());
        const std::wstring executable = executableOf(findTempova());
        ASSERT_EQ(executable.size(), inLodz.size());
        m_dialog.post(WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED));
        ASSERT_TRUE(m_dialog.flush());
        EXPECT_FALSE(IsWindowEnabled(m_dialog.item(IDOK)));
        EXPECT_EQ("Tempova successfully restarted.", applyAndWatch().back());
        HWND restarted = findTempova();
        EXPECT_NE(test_support::windowProcess(restarted), slow.id());
        EXPECT_EQ(executableOf(restarted), executable);
        // Its window counts from its creation; its texts are there once it shows.
        ASSERT_TRUE(waitUntil([&] { return IsWindowVisible(restarted) != FALSE; }));
        EXPECT_EQ(test_support::windowText(GetDlgItem(restarted, IDC_FOLDER)) + "\\",
                  wideToAnsi(inLodz.substr(0, inLodz.rfind(L'\\') + 1), CP_UTF8));
        EXPECT_EQ(test_support::windowText(GetDlgItem(restarted, IDC_ARGUMENTS)), restartedWith);
        EXPECT_EQ(anotherStandIn(restarted), nullptr) << "started once";
    }
}

// What must hold: a window of the speed product's title is closed and its
// program started only when it is the user's own speed product (run from
// tempova.exe): a poser is left alone, also when its window comes first,
// and the speed product behind it is restarted.
TEST_F(ApplyFailures, WindowOfItsTitleThatIsNotTheSpeedProductIsLeftAlone) {
    const std::string poser = test_support::besideThisProgram("poser.exe");
    ASSERT_TRUE(CopyFileA(standIn().c_str(), poser.c_str(), FALSE));
    test_support::ChildProcess posing(poser);
    ASSERT_TRUE(standInShown());
    HWND posersWindow = findTempova();
    EXPECT_EQ("Applying choices...done.", applyAndWatch().back());
    test_support::ChildProcess tempova(standIn());
    ASSERT_TRUE(waitUntil([&] { return IsWindowVisible(anotherStandIn(posersWindow)) != FALSE; }));
    SetWindowPos(posersWindow, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    ASSERT_EQ(findTempova(), posersWindow);
    EXPECT_EQ("Tempova successfully restarted.", applyAndWatch().back());
    EXPECT_TRUE(IsWindow(posersWindow));
    EXPECT_EQ(posing.waitForExit(0), STILL_ACTIVE);
    EXPECT_EQ(tempova.waitForExit(0), 0u) << "the speed product was closed";
}

// What must hold: when either list cannot be written (its key is readable
// only) while the other can, neither changes: a list written first is put
// back as it was. Apply shows the failure, restarts nothing, and the dialog
// goes on answering.
TEST_F(ApplyFailures, ListThatCannotBeWrittenLeavesBothAsTheyWere) {
    const char* const flashAdapterKey = "Software\\Kelvora\\Vexa\\FlashAdapter";
    for (const char* key : {flashAdapterKey, kAdaptersKey}) {
        test_support::writeRegistryValue(kAdaptersKey, "ProgramsToHook", REG_SZ,
                                         std::string("a.exe\0", 6));
        test_support::deleteRegistryTree(flashAdapterKey);
        ReadOnlyKey readOnly(key);
        if (canWrite(key))
            GTEST_SKIP() << "this platform does not enforce the key's access list";
        EXPECT_EQ(0u, applyAndWatch().back().find("Unable to save your choices on this computer"));
        EXPECT_EQ("a.exe", test_support::storedText(kAdaptersKey, "ProgramsToHook"));
        EXPECT_EQ("<absent>", test_support::storedText(flashAdapterKey, "ModulesToIntercept"));
        EXPECT_TRUE(m_dialog.flush(1000));
    }
}
