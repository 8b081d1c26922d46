#include "ChildProcess.h"
#include "TextConversion.h"
#include "Utilities.h"

#include <gtest/gtest.h>

#include <shlobj.h>

#include <fstream>
#include <thread>
#include <vector>

using namespace kelvora_core;

TEST(AppExeName, IsTheLowerCaseFileNameOfTheExecutable) {
    EXPECT_STREQ("core_tests.exe", getAppExeName());
    EXPECT_EQ(getAppExeName(), getAppExeName());
}

TEST(AppExeName, UpperCaseNamesAreLowered) {
    const std::string original = test_support::besideThisProgram("core_peer.exe");
    const std::string renamed = test_support::besideThisProgram("Core_PEER_Copy.EXE");
    ASSERT_TRUE(CopyFileA(original.c_str(), renamed.c_str(), FALSE));
    const auto peer = test_support::runProcess("\"" + renamed + "\" exe-name");
    DeleteFileA(renamed.c_str());
    EXPECT_EQ("core_peer_copy.exe\r\n", peer.output);
}

TEST(AppExeName, NameIsTakenAfterTheLastBackslash) {
    EXPECT_EQ("b.exe", detail::fileNameOf("c:\\a\\b.exe"));
    EXPECT_EQ("plain.exe", detail::fileNameOf("plain.exe"));
    EXPECT_EQ("c:\\dir\\", detail::fileNameOf("c:\\dir\\"));
}

TEST(ToLowerAscii, ChangesOnlyCapitalLetters) {
    EXPECT_EQ("abc-\xC4\xE4z", toLowerAscii("ABC-\xC4\xE4Z"));
    EXPECT_EQ("coursetool.exe", toLowerAscii("CourseTool.EXE"));
    EXPECT_EQ("\xC4@[z]", toLowerAscii("\xC4@[Z]"));
    // Code page 932: the second bytes of "ke" (0x50, 'P') and "ta" (0x5E)
    // stay; the letters around them are whole characters.
    EXPECT_EQ("c:\\\x83\x50\x83\x93\x83\x5E\\a.exe",
              toLowerAscii("C:\\\x83\x50\x83\x93\x83\x5E\\A.EXE", 932));
}

// The folder is named in small letters, in full or by its short form: the
// test session's profile name lies outside this program's code page.
TEST(UserAppPath, IsTheLocalAppDataFolderWithKelvoraInLowerCase) {
    wchar_t folder[MAX_PATH];
    ASSERT_EQ(S_OK, SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, 0, folder));
    wchar_t named[MAX_PATH];
    ASSERT_NE(0u, GetLongPathNameW(ansiToWide(getUserAppPath()).c_str(), named, MAX_PATH));
    EXPECT_EQ(0, lstrcmpiW((std::wstring(folder) + L"\\Kelvora").c_str(), named));
    EXPECT_EQ(toLowerAscii(getUserAppPath()), getUserAppPath());
    EXPECT_TRUE(GetFileAttributesA(getUserAppPath()) & FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_EQ(getUserAppPath(), getUserAppPath());
    // The folder itself bears its own capitals (a fresh prefix has none yet).
    WIN32_FIND_DATAA found{};
    const HANDLE search = FindFirstFileA(getUserAppPath(), &found);
    ASSERT_NE(INVALID_HANDLE_VALUE, search);
    FindClose(search);
    EXPECT_STREQ("Kelvora", found.cFileName);
}

// A path that the code page cannot spell is named by its short form; one
// without a short form, like a failed lookup, is no folder at all, never a
// look-alike name of a folder that does not exist or the drive's root.
TEST(UserAppPath, FolderIsSpeltExactlyOrByItsShortFormOrNotAtAll) {
    EXPECT_EQ(L"", detail::userAppFolderFrom(E_FAIL, L"C:\\Ignored"));
    EXPECT_EQ(L"C:\\Users\\Me\\Kelvora", detail::userAppFolderFrom(S_OK, L"C:\\Users\\Me"));
    EXPECT_EQ(L"C:\\Users\\Me\\Kelvora", detail::userAppFolderFrom(S_OK, L"C:\\Users\\Me\\"));
    EXPECT_EQ("C:\\Caf\xE9", detail::narrowPathOf(L"C:\\Caf\u00E9", 1252));
    wchar_t temporary[MAX_PATH];
    ASSERT_NE(0u, GetTempPathW(MAX_PATH, temporary));
    const std::wstring folder =
        std::wstring(temporary) + L"\u0141\u00F3d\u017A"; // outside code page 1252
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    const std::string shortForm = detail::narrowPathOf(folder, 1252);
    const DWORD attributes = GetFileAttributesW(ansiToWide(shortForm, 1252).c_str());
    RemoveDirectoryW(folder.c_str());
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, attributes) << shortForm;
    EXPECT_TRUE(attributes & FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_EQ("", detail::narrowPathOf(folder, 1252));
}

TEST(WorldAccess, AttributesAreProcessWideWithANullDacl) {
    SECURITY_ATTRIBUTES* attributes = getWorldAccessSecurityAttributes();
    ASSERT_NE(nullptr, attributes);
    EXPECT_EQ(attributes, getWorldAccessSecurityAttributes());
    EXPECT_EQ(sizeof(SECURITY_ATTRIBUTES), attributes->nLength);
    EXPECT_EQ(12u, attributes->nLength);
    EXPECT_FALSE(attributes->bInheritHandle);
    BOOL present = FALSE, defaulted = TRUE;
    PACL dacl = reinterpret_cast<PACL>(1);
    ASSERT_TRUE(
        GetSecurityDescriptorDacl(attributes->lpSecurityDescriptor, &present, &dacl, &defaulted));
    EXPECT_TRUE(present);
    EXPECT_EQ(nullptr, dacl);
    EXPECT_FALSE(defaulted);
}

TEST(Caches, ConcurrentFirstCallsSeeOneValue) {
    std::vector<std::thread> threads;
    std::vector<const char*> paths(8), names(8);
    std::vector<SECURITY_ATTRIBUTES*> attributes(8);
    for (int i = 0; i < 8; ++i) {
        threads.emplace_back([&, i] {
            paths[i] = getUserAppPath();
            names[i] = getAppExeName();
            attributes[i] = getWorldAccessSecurityAttributes();
        });
    }
    for (auto& t : threads)
        t.join();
    for (int i = 1; i < 8; ++i) {
        EXPECT_EQ(paths[0], paths[i]);
        EXPECT_EQ(names[0], names[i]);
        EXPECT_EQ(attributes[0], attributes[i]);
    }
}

TEST(LowIntegrity, NullOrInvalidHandleIsRefused) {
    EXPECT_FALSE(SetObjectToLowIntegrity(nullptr, SE_KERNEL_OBJECT));
    EXPECT_FALSE(SetObjectToLowIntegrity(reinterpret_cast<HANDLE>(0x7ff0), SE_KERNEL_OBJECT));
    const DWORD before = test_support::handleCount();
    for (int i = 0; i < 50; ++i)
        SetObjectToLowIntegrity(nullptr, SE_KERNEL_OBJECT);
    EXPECT_EQ(before, test_support::handleCount());
}

TEST(LowIntegrity, KernelObjectGetsTheLabel) {
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    EXPECT_FALSE(hasLowIntegrityLabel(event));
    EXPECT_TRUE(SetObjectToLowIntegrity(event, SE_KERNEL_OBJECT));
    EXPECT_TRUE(hasLowIntegrityLabel(event));
    CloseHandle(event);
}

TEST(HandleCount, CountsOpenHandles) {
    const DWORD before = test_support::handleCount();
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    EXPECT_EQ(before + 1, test_support::handleCount());
    CloseHandle(event);
    EXPECT_EQ(before, test_support::handleCount());
}
