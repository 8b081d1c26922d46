// The name-list rules of Apply and the pre-check rule of the list rows.
#include "DiagEventLog.h"
#include "DiagLine.h"
#include "ProgramLists.h"
#include "SettingKeys.h"

#include <gtest/gtest.h>

using namespace program_lists;
using Names = std::vector<std::string>;

TEST(SplitNames, SkipsEmptyNamesAndKeepsSpacesAndCase) {
    EXPECT_EQ(splitNames("a;;b;"), (Names{"a", "b"}));
    EXPECT_EQ(splitNames(";;Flv Player.exe"), (Names{"Flv Player.exe"}));
    EXPECT_EQ(splitNames(""), Names{});
    EXPECT_EQ(splitNames(";;;"), Names{});
    EXPECT_EQ(splitNames(" "), (Names{" "}));
}

TEST(JoinNames, PutsOneSeparatorBetweenNeighbours) {
    EXPECT_EQ(joinNames({}), "");
    EXPECT_EQ(joinNames({"a"}), "a");
    EXPECT_EQ(joinNames({"a", "b c", "d"}), "a;b c;d");
}

// Without case, as file names compare ("\xC4" and "\xE4" are Ä and ä in
// code page 1252, this program's).
TEST(NameLists, AddAppendsOnlyMissingNamesAndRemoveTakesEveryOccurrence) {
    Names names{"a", "B.exe", "A", "\xC4.exe"};
    addName(names, "b.EXE");
    addName(names, "\xE4.exe");
    addName(names, "c");
    EXPECT_EQ(names, (Names{"a", "B.exe", "A", "\xC4.exe", "c"}));
    removeName(names, "a");
    EXPECT_EQ(names, (Names{"B.exe", "\xC4.exe", "c"}));
    removeName(names, "missing");
    EXPECT_EQ(names, (Names{"B.exe", "\xC4.exe", "c"}));
}

// Names and texts that the other programs of the family read in the
// registry and the diagnostics log: a change here breaks them.
TEST(StoredFormats, NamesOtherProgramsReadAreExact) {
    using namespace kelvora_core;
    const std::pair<std::string, std::string> table[] = {
        {kAdapters, "Adapters"},
        {kProgramsToHook, "ProgramsToHook"},
        {kFlashAdapter, "FlashAdapter"},
        {kModulesToIntercept, "ModulesToIntercept"},
        {kMinRate, "minRate"},
        {kShowBallonWhenSpeedChanges, "ShowBallonWhenSpeedChanges"},
        {kHotKeyPreferred, "HotKeyPreferred"},
        {kFlashAdapterIsActiveMutex, "FlashAdapterIsActiveMutex"},
        {kModuleDefault,
         "flash10*;flash9*;npswf32.dll;gcswf32.dll;fldbg10*;adobe media player.exe"},
        {kProgramDefault, "iexplore.exe;firefox.exe;chrome.exe;safari.exe;opera.exe;maxthon.exe;"
                          "flock.exe;feeddemon.exe;realplay.exe;flvplayer.exe;flv player.exe;"
                          "adobe media player.exe;"},
        {diagEventName(DiagEventLog::Start), "Start"},
        {diagEventName(9), "AutoSpeedChange"},
        {diagEventName(13), "HotKeyPress"},
        {diagEventName(29), "InterceptedFunctionsInModule"},
        {diagEventName(36), "ProgramsToHook"},
        {diagEventName(DiagEventLog::InfoEvent), "InfoEvent"},
        {diagEventName(38), "InvalidEvent"},
    };
    for (const auto& [actual, expected] : table)
        EXPECT_EQ(expected, actual);
    EXPECT_EQ(36, DiagEventLog::ProgramsToHook);
}

TEST(IsAppHooked, EveryNameOfTheRowStandsWholeInTheStoredList) {
    EXPECT_TRUE(IsAppHooked("iexplore.exe;coursetool.exe", "CourseTool.exe"));
    EXPECT_TRUE(IsAppHooked("coursetool.exe;iexplore.exe", "CourseTool.exe"));
    EXPECT_FALSE(IsAppHooked("a.exe;coursetool.exe2", "coursetool.exe"));
    EXPECT_TRUE(IsAppHooked("a.exe;CourseTool.exe", "coursetool.exe"));
    EXPECT_TRUE(IsAppHooked("x.exe;b.exe;y.exe;a.exe", "A.exe;b.exe"));
    EXPECT_FALSE(IsAppHooked("x.exe;b.exe;y.exe", "a.exe;b.exe"));
    EXPECT_FALSE(IsAppHooked("a.exe;b.exe", ""));
    EXPECT_FALSE(IsAppHooked("", "a.exe"));
}
