// The name-list rules of Apply and the pre-check rule of the list rows.
#include "ProgramLists.h"
#include "TempovaForLutegateDlg.h"

#include <gtest/gtest.h>

#include <cstring>

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

TEST(NameLists, AddAppendsOnlyMissingNamesAndRemoveTakesTheFirst) {
    Names names{"a", "b", "a"};
    addName(names, "b");
    addName(names, "c");
    EXPECT_EQ(names, (Names{"a", "b", "a", "c"}));
    removeFirstName(names, "a");
    EXPECT_EQ(names, (Names{"b", "a", "c"}));
    removeFirstName(names, "missing");
    EXPECT_EQ(names, (Names{"b", "a", "c"}));
}

TEST(NameLists, DefaultTextsAreExact) {
    EXPECT_EQ(std::strlen(kModuleDefault), 72u);
    EXPECT_EQ(std::string(kProgramDefault).substr(0, 78),
              "iexplore.exe;firefox.exe;chrome.exe;safari.exe;opera.exe;maxthon.exe;flock.exe");
    EXPECT_EQ(std::string(kProgramDefault).substr(78), ";feeddemon.exe;realplay.exe;flvplayer.exe;"
                                                       "flv player.exe;adobe media player.exe;");
    EXPECT_EQ(splitNames(kProgramDefault).size(), 12u);
}

TEST(IsAppHooked, EveryNameOfTheRowStandsWholeInTheStoredList) {
    using Dlg = CTempovaForLutegateDlg;
    EXPECT_TRUE(Dlg::IsAppHooked("iexplore.exe;coursetool.exe", "CourseTool.exe"));
    EXPECT_TRUE(Dlg::IsAppHooked("coursetool.exe;iexplore.exe", "CourseTool.exe"));
    EXPECT_FALSE(Dlg::IsAppHooked("a.exe;coursetool.exe2", "coursetool.exe"));
    EXPECT_FALSE(Dlg::IsAppHooked("a.exe;CourseTool.exe", "coursetool.exe"));
    EXPECT_TRUE(Dlg::IsAppHooked("x.exe;b.exe;y.exe;a.exe", "A.exe;b.exe"));
    EXPECT_FALSE(Dlg::IsAppHooked("x.exe;b.exe;y.exe", "a.exe;b.exe"));
    EXPECT_FALSE(Dlg::IsAppHooked("a.exe;b.exe", ""));
    EXPECT_FALSE(Dlg::IsAppHooked("", "a.exe"));
}
