// A damaged or read-only local copy of the course list. The broken-document
// cases of the course list reader itself are in courselist_tests, the
// hostile servers in courselist_tests (AppNamesHelperTests,
// HTTPXMLReqHelperTests); here the whole dialog meets the damaged file.
// Winsock 2 before anything that brings in windows.h.
#include "LoopbackHttpServer.h"

#include "DialogHarness.h"

#include "ReliabilitySupport.h"
#include "resource.h"

#include <gtest/gtest.h>

#include <memory>

using app_test::RunningDialog;
using app_test::waitUntil;
using reliability::localCopyPath;
using reliability::readFile;
using reliability::writeFile;

namespace {

const char* const kPressUpdate = "Click the Update button to update or load course list from web.";
const std::string kDocument = "<?xml version=\"1.0\"?>\n<applications>\n"
                              "  <app exe=\"a.exe\">Alpha</app>\n"
                              "  <app exe=\"b.exe\">Beta</app>\n</applications>\n";
const std::string kFresh = "<applications><app exe=\"f.exe\">Fresh</app></applications>";

class LocalCopy : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override {
        SetFileAttributesA(localCopyPath().c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(localCopyPath().c_str());
        reliability::server().setReply("/lutegate/lutegate.xml",
                                       test_support::HttpReply::answer(200, kFresh));
    }
    void TearDown() override {
        SetFileAttributesA(localCopyPath().c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(localCopyPath().c_str());
    }
    // Update driven tick by tick until the button is back.
    static bool update(RunningDialog& dialog) {
        dialog.post(WM_COMMAND, MAKEWPARAM(IDC_BUTTON_UPDATE, BN_CLICKED));
        if (!dialog.flush())
            return false;
        return waitUntil(
            [&] {
                dialog.post(WM_TIMER, 1);
                return app_test::windowText(dialog.item(IDC_BUTTON_UPDATE)) == "&Update";
            },
            15000);
    }
};

} // namespace

// What must hold: an empty, truncated or non-XML local copy starts the
// dialog without a crash, lists nothing, shows the usual start text, and the
// next Update lists the server's document and replaces the damaged file.
TEST_P(LocalCopy, DamagedCopyListsNothingAndUpdateReplacesIt) {
    writeFile(localCopyPath(), GetParam());
    RunningDialog dialog;
    ASSERT_TRUE(dialog.hwnd());
    EXPECT_EQ(0, dialog.rowCount());
    EXPECT_EQ(kPressUpdate, dialog.status());
    ASSERT_TRUE(update(dialog));
    EXPECT_EQ(1, dialog.rowCount());
    EXPECT_EQ("Fresh", dialog.rowText(0));
    EXPECT_EQ(kFresh, readFile(localCopyPath()));
}

INSTANTIATE_TEST_SUITE_P(Damaged, LocalCopy,
                         ::testing::Values("", "<applications><app exe=\"a.exe\">Al",
                                           "this is not XML at all\n\x01\x02\xff", "\xef\xbb\xbf",
                                           "<applications>"));

// What must hold: a local copy that cannot be replaced (read-only, and held
// open by another program that lets others read it only) is listed at
// start; Update then claims nothing it did not do: it shows the numbered
// save error with the platform's error code, keeps the rows the next start
// would list, and leaves the file as it was and no temporary file beside it.
// (The read-only attribute alone does not stop a writer that runs as the
// Unix superuser under Wine; the share mode does.)
TEST_F(LocalCopy, CopyThatCannotBeReplacedKeepsItsRowsAndUpdateShowsTheError) {
    writeFile(localCopyPath(), kDocument);
    ASSERT_TRUE(SetFileAttributesA(localCopyPath().c_str(), FILE_ATTRIBUTE_READONLY));
    RunningDialog dialog;
    ASSERT_TRUE(dialog.hwnd());
    ASSERT_EQ(2, dialog.rowCount());
    EXPECT_EQ("Beta", dialog.rowText(1));
    HANDLE holder = CreateFileA(localCopyPath().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    std::unique_ptr<void, decltype(&CloseHandle)> held(holder, &CloseHandle);
    ASSERT_TRUE(update(dialog));
    EXPECT_EQ(2, dialog.rowCount());
    EXPECT_EQ("Beta", dialog.rowText(1));
    EXPECT_EQ(kDocument, readFile(localCopyPath()));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA((localCopyPath() + ".tmp").c_str()));
    EXPECT_EQ(0u, dialog.status().find("Unable to save the course list on this computer, "
                                       "error code: 270 (0x"))
        << dialog.status();
}

// What must hold: Update replaces the local copy whole or not at all, and so
// never rewrites it in place (a write failing halfway would leave a partial
// copy): a program that reads the copy meanwhile reads the old one whole, and
// the copy is then one of the two documents, whole. (A file held open cannot
// be replaced, on Windows as under Wine: the old copy stays.)
TEST_F(LocalCopy, UpdateReplacesTheCopyInsteadOfRewritingIt) {
    writeFile(localCopyPath(), kDocument);
    RunningDialog dialog;
    ASSERT_TRUE(dialog.hwnd());
    HANDLE reader = CreateFileA(localCopyPath().c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);
    std::unique_ptr<void, decltype(&CloseHandle)> held(reader, &CloseHandle);
    ASSERT_TRUE(update(dialog));
    char old[512];
    DWORD length = 0;
    ASSERT_TRUE(ReadFile(reader, old, sizeof old, &length, nullptr));
    EXPECT_EQ(kDocument, std::string(old, length));
    const std::string copy = readFile(localCopyPath());
    EXPECT_TRUE(copy == kFresh || copy == kDocument) << copy;
}
