// Apply when the speed product misbehaves or the preferences cannot be
// written. This program lies in a folder without tempova.exe, so the search
// order finds one only where a case puts the current folder.
#include "DialogHarness.h"

#include "ChildProcess.h"
#include "ReliabilitySupport.h"
#include "TestRegistry.h"

#include <aclapi.h>
#include <gtest/gtest.h>
#include <process.h>
#include <sddl.h>

#include <atomic>

using app_test::RunningDialog;
using app_test::waitUntil;

namespace {

const char* const kTitle = "Kelvora Tempova LoaderApp";
const char* const kAdaptersKey = "Software\\Kelvora\\Vexa\\Adapters";
const char* const kFlashAdapterKey = "Software\\Kelvora\\Vexa\\FlashAdapter";

HWND findTempova() {
    return FindWindowA("#32770", kTitle);
}

// A window that answers to the speed product's title on a thread of its
// own; it closes on the close command only when told to.
class FakeTempova {
public:
    explicit FakeTempova(bool closes) : m_closes(closes) {
        m_thread =
            reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, threadMain, this, 0, nullptr));
        waitUntil([this] { return m_window.load() != nullptr; });
    }
    ~FakeTempova() {
        if (m_window)
            PostMessageA(m_window, WM_CLOSE, 0, 0);
        WaitForSingleObject(m_thread, 10000);
        CloseHandle(m_thread);
    }
    HWND window() const { return m_window; }

private:
    static LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        auto* self = reinterpret_cast<FakeTempova*>(GetWindowLongPtrA(window, DWLP_USER));
        if (message == WM_COMMAND && wParam == IDOK && self && self->m_closes) {
            DestroyWindow(window);
            return 0;
        }
        if (message == WM_CLOSE) {
            DestroyWindow(window);
            return 0;
        }
        if (message == WM_DESTROY)
            PostQuitMessage(0);
        return DefDlgProcA(window, message, wParam, lParam);
    }

    static unsigned __stdcall threadMain(void* context) {
        auto* self = static_cast<FakeTempova*>(context);
        HWND window = CreateWindowExA(0, "#32770", kTitle, WS_POPUP | WS_VISIBLE, 0, 0, 100, 100,
                                      nullptr, nullptr, nullptr, nullptr);
        SetWindowLongPtrA(window, DWLP_USER, reinterpret_cast<LONG_PTR>(self));
        SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(windowProc));
        self->m_window = window;
        MSG msg;
        while (window && GetMessageA(&msg, nullptr, 0, 0) > 0)
            DispatchMessageA(&msg);
        self->m_window = nullptr;
        return 0;
    }

    bool m_closes;
    std::atomic<HWND> m_window{nullptr};
    HANDLE m_thread = nullptr;
};

// Ends every real stand-in still open.
void endStandIns() {
    for (int i = 0; i < 5; ++i) {
        HWND window = findTempova();
        if (!window)
            return;
        DWORD id = 0;
        GetWindowThreadProcessId(window, &id);
        if (id == GetCurrentProcessId())
            return;
        HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id);
        PostMessageA(window, WM_COMMAND, IDOK, 0);
        if (process) {
            if (WaitForSingleObject(process, 5000) != WAIT_OBJECT_0)
                TerminateProcess(process, 1);
            CloseHandle(process);
        }
    }
}

std::string stored(const char* key, const char* name) {
    const auto value = test_support::readRegistryValue(key, name);
    std::string text = value.exists ? value.data : "<absent>";
    while (!text.empty() && text.back() == '\0')
        text.pop_back();
    return text;
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

// What must hold: when "tempova.exe" cannot be found, Apply still writes the
// preferences, nothing is reported, the status line keeps "Restarting
// Tempova..." (no false success), and the dialog answers again.
TEST_F(ApplyFailures, TempovaExeNotFoundLeavesRestartingStanding) {
    FakeTempova tempova(true);
    ASSERT_TRUE(tempova.window());
    const std::vector<std::string> seen = applyAndWatch();
    EXPECT_EQ("Restarting Tempova...", seen.back());
    EXPECT_EQ(findTempova(), nullptr);
    EXPECT_NE(std::string::npos, stored(kAdaptersKey, "ProgramsToHook").find(";coursetool.exe"));
    EXPECT_TRUE(m_dialog.flush(1000));
}

// What must hold: when the speed product does not close, a second copy is
// started all the same, the final lookup finds a window, the status line
// says "Tempova successfully restarted.", and Apply returns within about two
// seconds instead of waiting for the product.
TEST_F(ApplyFailures, SpeedProductThatDoesNotCloseGetsASecondCopy) {
    // The stand-in lies in the folder above this program's.
    const std::string here = test_support::besideThisProgram("");
    SetCurrentDirectoryA((here + "..").c_str());
    FakeTempova tempova(false);
    ASSERT_TRUE(tempova.window());
    const DWORD start = GetTickCount();
    const std::vector<std::string> seen = applyAndWatch();
    EXPECT_LT(GetTickCount() - start, 4000u);
    EXPECT_EQ("Tempova successfully restarted.", seen.back());
    EXPECT_TRUE(IsWindow(tempova.window())) << "the product that ignores the command stays";
    EXPECT_TRUE(waitUntil([] {
        HWND other = FindWindowExA(nullptr, nullptr, "#32770", kTitle);
        for (; other; other = FindWindowExA(nullptr, other, "#32770", kTitle)) {
            DWORD id = 0;
            GetWindowThreadProcessId(other, &id);
            if (id != GetCurrentProcessId())
                return true;
        }
        return false;
    })) << "a second copy was started";
}

// What must hold: when neither preference key can be written, Apply reports
// nothing ("Applying choices...done."), keeps the stored values as they were
// and the dialog goes on answering.
TEST_F(ApplyFailures, UnwritablePreferencesAreLeftAsTheyWere) {
    test_support::writeRegistryValue(kAdaptersKey, "ProgramsToHook", REG_SZ,
                                     std::string("a.exe\0", 6));
    test_support::writeRegistryValue(kFlashAdapterKey, "ModulesToIntercept", REG_SZ,
                                     std::string("m.dll\0", 6));
    {
        ReadOnlyKey adapters(kAdaptersKey), flash(kFlashAdapterKey);
        if (canWrite(kAdaptersKey))
            GTEST_SKIP() << "this platform does not enforce the key's access list";
        const std::vector<std::string> seen = applyAndWatch();
        EXPECT_EQ("Applying choices...done.", seen.back());
        EXPECT_EQ("a.exe", stored(kAdaptersKey, "ProgramsToHook"));
        EXPECT_EQ("m.dll", stored(kFlashAdapterKey, "ModulesToIntercept"));
        EXPECT_TRUE(m_dialog.flush(1000));
    }
}
