// The shipped executable started as a process, and its resources read from
// the file.
// Winsock 2 (through the server) before anything that brings in windows.h.
#include "LoopbackHttpServer.h"

#include "DialogHarness.h"

#include "ChildProcess.h"
#include "Wnd.h"
#include "resource.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

using app_test::waitUntil;

namespace {

std::string exePath() {
    return test_support::besideThisProgram("TempovaForLutegate.exe");
}

HWND findEnabler() {
    return FindWindowA("#32770", "Tempova Lutegate Enabler");
}

std::string controlText(HWND dialog, int id) {
    char text[512] = {};
    GetWindowTextA(GetDlgItem(dialog, id), text, sizeof text);
    return text;
}

// The executable loaded as data, for its resources.
class ResourceFile {
public:
    ResourceFile()
        : m_module(LoadLibraryExA(exePath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE)) {}
    ~ResourceFile() {
        if (m_module)
            FreeLibrary(m_module);
    }
    ResourceFile(const ResourceFile&) = delete;
    ResourceFile& operator=(const ResourceFile&) = delete;

    std::string bytes(LPCSTR type, LPCSTR name) const {
        HRSRC found = FindResourceA(m_module, name, type);
        if (!found)
            return std::string();
        const auto* data = static_cast<const char*>(LockResource(LoadResource(m_module, found)));
        return std::string(data, SizeofResource(m_module, found));
    }

private:
    HMODULE m_module;
};

// x, y, width and height, in dialog units, of the first control of a DIALOGEX
// template.
std::vector<int> firstControlBox(const std::string& dialog) {
    std::vector<WORD> words(dialog.size() / 2);
    std::memcpy(words.data(), dialog.data(), words.size() * 2);
    std::size_t at = 13; // past the fixed header
    auto skipText = [&] {
        while (words.at(at++) != 0) {
        }
    };
    for (int i = 0; i < 2; ++i) { // menu and window class: an ordinal or a text
        if (words.at(at) == 0xFFFF)
            at += 2;
        else
            skipText();
    }
    skipText();       // caption
    at += 3;          // point size, weight, italic and character set
    skipText();       // font name
    at += at % 2 + 6; // to the DWORD boundary, past help id, extended style and style
    return {words.at(at), words.at(at + 1), words.at(at + 2), words.at(at + 3)};
}

#pragma pack(push, 2)
struct GroupIconEntry {
    BYTE width, height, colours, reserved;
    WORD planes, bitCount;
    DWORD bytes;
    WORD id;
};
#pragma pack(pop)

} // namespace

TEST(Executable, ShowsTheDialogOnceAndEndsWhenItCloses) {
    ASSERT_EQ(findEnabler(), nullptr);
    test_support::ChildProcess enabler(exePath());
    ASSERT_TRUE(enabler.started());
    ASSERT_TRUE(waitUntil([] { return findEnabler() && IsWindowVisible(findEnabler()); }));
    HWND dialog = findEnabler();
    DWORD owner = 0;
    GetWindowThreadProcessId(dialog, &owner);
    EXPECT_EQ(owner, enabler.id());
    EXPECT_EQ(controlText(dialog, IDC_STATIC_STATUS),
              "Click the Update button to update or load course list from web.");
    EXPECT_EQ(controlText(dialog, IDC_BUTTON_UPDATE), "&Update");
    EXPECT_EQ(SendMessageA(GetDlgItem(dialog, IDC_LIST_APPS), LVM_GETITEMCOUNT, 0, 0), 0);
    // A second copy restores this one's dialog, gives the keyboard to the
    // About box it shows, and ends.
    PostMessageA(dialog, WM_SYSCOMMAND, 0x0010, 0);
    HWND about = nullptr;
    ASSERT_TRUE(waitUntil([&] {
        about = FindWindowA("#32770", "About TempovaForLutegate");
        return about && IsWindowVisible(about);
    }));
    ShowWindow(dialog, SW_MINIMIZE);
    test_support::ChildProcess second(exePath());
    EXPECT_EQ(second.waitForExit(10000), 0u);
    EXPECT_FALSE(IsIconic(dialog));
    EXPECT_TRUE(waitUntil([&] { return GetForegroundWindow() == about; }, 1000));
    PostMessageA(about, WM_COMMAND, IDOK, 0);
    PostMessageA(dialog, WM_CLOSE, 0, 0);
    EXPECT_EQ(enabler.waitForExit(10000), 0u);
}

// A program that holds the one-copy mutex and a window of the dialog's title
// is no first copy (it does not run the tool's executable): a start shows
// its own dialog at once rather than end.
TEST(Executable, MutexAndTitleOfAnotherProgramDoNotStopAStart) {
    HANDLE mutex = CreateMutexA(nullptr, TRUE, "Local\\Kelvora.TempovaForLutegate.Instance");
    HWND squatter = CreateWindowExA(0, "#32770", "Tempova Lutegate Enabler", WS_POPUP, 0, 0, 10, 10,
                                    nullptr, nullptr, nullptr, nullptr);
    test_support::ChildProcess enabler(exePath());
    HWND own = nullptr;
    EXPECT_TRUE(waitUntil(
        [&] {
            own = FindTopLevelWindow("#32770", "Tempova Lutegate Enabler",
                                     [&](DWORD owner) { return owner == enabler.id(); });
            return own && IsWindowVisible(own);
        },
        5000));
    PostMessageA(own, WM_CLOSE, 0, 0);
    EXPECT_EQ(enabler.waitForExit(10000), 0u);
    DestroyWindow(squatter);
    CloseHandle(mutex);
}

// A worker still busy 2 s after the dialog has gone does not hold the process
// up, nor does it meet the process's objects torn down under it: the process
// ends then, without tearing them down (its exit code tells). Under Wine every
// call into a request object waits while an answer floods in, so after a
// cancelled Update whose answer floods on, the next Update's worker waits
// behind it. A second start meanwhile shows its own dialog at once.
TEST(Executable, EndsPromptlyAndCleanlyWhileAWorkerIsStillBusy) {
    test_support::LoopbackHttpServer server;
    ASSERT_TRUE(server.started());
    server.setReply("/lutegate/lutegate.xml", test_support::HttpReply::flood(30000));
    const std::string proxy = "http://127.0.0.1:" + std::to_string(server.port());
    test_support::ChildProcess enabler(exePath(),
                                       test_support::environmentWith("http_proxy", proxy));
    ASSERT_TRUE(waitUntil([] { return findEnabler() && IsWindowVisible(findEnabler()); }));
    HWND dialog = findEnabler();
    // Updating, with as many dots as timer ticks went by.
    const auto pressUpdateUntilTicks = [&](size_t ticks) {
        const std::string updating = "Updating course list from web.....please wait..";
        PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDC_BUTTON_UPDATE, BN_CLICKED), 0);
        return waitUntil([&] {
            return controlText(dialog, IDC_STATIC_STATUS) == updating + std::string(ticks, '.');
        });
    };
    ASSERT_TRUE(pressUpdateUntilTicks(4)) << controlText(dialog, IDC_STATIC_STATUS);
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDC_BUTTON_UPDATE, BN_CLICKED), 0); // Cancel
    ASSERT_TRUE(pressUpdateUntilTicks(3)) << controlText(dialog, IDC_STATIC_STATUS);
    const DWORD closed = GetTickCount();
    PostMessageA(dialog, WM_CLOSE, 0, 0);
    test_support::ChildProcess second(exePath());
    EXPECT_TRUE(waitUntil([&] {
        HWND own = FindTopLevelWindow("#32770", "Tempova Lutegate Enabler",
                                      [&](DWORD owner) { return owner == second.id(); });
        return own && IsWindowVisible(own);
    }));
    EXPECT_EQ(enabler.waitForExit(0), STILL_ACTIVE); // still waiting for its worker
    EXPECT_EQ(enabler.waitForExit(10000), DWORD(WAIT_TIMEOUT));
    EXPECT_LT(GetTickCount() - closed, 5000u);
}

TEST(Executable, VersionRecordNamesTheExecutable) {
    const std::string path = exePath();
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
    ASSERT_GT(size, 0u);
    std::vector<char> info(size);
    ASSERT_TRUE(GetFileVersionInfoA(path.c_str(), 0, size, info.data()));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00010001u);
    EXPECT_EQ(fixed->dwFileVersionLS, 0x0000001Eu);
    EXPECT_EQ(fixed->dwProductVersionMS, 0x00010001u);
    EXPECT_EQ(fixed->dwProductVersionLS, 0x0000001Eu);
    for (const char* name : {"InternalName", "OriginalFilename"}) {
        char* text = nullptr;
        const std::string query = std::string("\\StringFileInfo\\040904b0\\") + name;
        ASSERT_TRUE(
            VerQueryValueA(info.data(), query.c_str(), reinterpret_cast<void**>(&text), &length));
        EXPECT_STREQ(text, "TempovaForLutegate.exe") << name;
    }
}

TEST(Executable, IconHas48And32And16PixelImagesAt32Bits) {
    ResourceFile file;
    const std::string group = file.bytes(RT_GROUP_ICON, MAKEINTRESOURCEA(128));
    ASSERT_GE(group.size(), 6u);
    WORD count = 0;
    std::memcpy(&count, group.data() + 4, 2);
    ASSERT_EQ(group.size(), 6u + count * sizeof(GroupIconEntry));
    std::vector<int> sizes;
    for (WORD i = 0; i < count; ++i) {
        GroupIconEntry entry;
        std::memcpy(&entry, group.data() + 6 + i * sizeof entry, sizeof entry);
        sizes.push_back(entry.width);
        EXPECT_EQ(entry.height, entry.width);
        EXPECT_EQ(entry.bitCount, 32);
        const std::string image = file.bytes(RT_ICON, MAKEINTRESOURCEA(entry.id));
        EXPECT_EQ(image.size(), entry.bytes);
    }
    EXPECT_EQ(sizes, (std::vector<int>{48, 32, 16}));
}

TEST(Executable, ManifestAsksForTheInvokersRightsCommonControls6AndPerMonitorDpi) {
    ResourceFile file;
    const std::string manifest = file.bytes(RT_MANIFEST, MAKEINTRESOURCEA(1));
    EXPECT_NE(manifest.find("level=\"asInvoker\""), std::string::npos);
    EXPECT_NE(manifest.find("uiAccess=\"false\""), std::string::npos);
    EXPECT_NE(manifest.find("name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""),
              std::string::npos);
    // Laid out at each monitor's DPI (version 2, else 1), not stretched as a
    // bitmap; Windows before 10 version 1607 read the older setting.
    EXPECT_NE(manifest.find("WindowsSettings\">true/pm</dpiAware>"), std::string::npos);
    EXPECT_NE(manifest.find("WindowsSettings\">PerMonitorV2, PerMonitor</dpiAwareness>"),
              std::string::npos);
}

TEST(Executable, HoldsBothDialogTemplates) {
    ResourceFile file;
    const std::string about = file.bytes(RT_DIALOG, MAKEINTRESOURCEA(100));
    ASSERT_FALSE(about.empty());
    EXPECT_FALSE(file.bytes(RT_DIALOG, MAKEINTRESOURCEA(102)).empty());
    EXPECT_EQ(firstControlBox(about), (std::vector<int>{14, 14, 20, 20})); // the icon
}
