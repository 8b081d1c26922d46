#include "ChildProcess.h"
#include "TextConversion.h"
#include "Utilities.h"

#include <gtest/gtest.h>

#include <shlobj.h>

#include <string>

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
    EXPECT_EQ(std::string::npos,
              std::string(getUserAppPath()).find_first_of("ABCDEFGHIJKLMNOPQRSTUVWXYZ"));
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
