#include "ChildProcess.h"
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
}

TEST(UserAppPath, IsTheLocalAppDataFolderWithKelvoraInLowerCase) {
    char folder[MAX_PATH];
    ASSERT_EQ(S_OK, SHGetFolderPathA(nullptr, CSIDL_LOCAL_APPDATA, nullptr, 0, folder));
    const std::string expected = toLowerAscii(std::string(folder) + "\\Kelvora");
    EXPECT_EQ(expected, getUserAppPath());
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(getUserAppPath()));
    EXPECT_TRUE(GetFileAttributesA(getUserAppPath()) & FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_EQ(getUserAppPath(), getUserAppPath());
    // The folder itself bears its own capitals (a fresh prefix has none yet).
    WIN32_FIND_DATAA found{};
    const HANDLE search = FindFirstFileA(getUserAppPath(), &found);
    ASSERT_NE(INVALID_HANDLE_VALUE, search);
    FindClose(search);
    EXPECT_STREQ("Kelvora", found.cFileName);
}

TEST(UserAppPath, FailedLookupGivesTheDriveRoot) {
    EXPECT_EQ("c:\\", detail::userAppFolderFrom(E_FAIL, "C:\\Ignored"));
    EXPECT_EQ("C:\\Users\\Me\\Kelvora", detail::userAppFolderFrom(S_OK, "C:\\Users\\Me"));
    EXPECT_EQ("C:\\Users\\Me\\Kelvora", detail::userAppFolderFrom(S_OK, "C:\\Users\\Me\\"));
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
