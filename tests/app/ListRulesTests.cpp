// The name-list rules of Apply and the pre-check rule of the list rows.
#include "ProgramLists.h"

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

// Apply's rule as a table: the rows (program file name, checked, shown
// checked), the stored modules and programs, and both as Apply leaves them.
// Names compare without case, as file names do ("\xC4" and "\xE4" are Ä and
// ä in code page 1252, this program's).
struct ChoiceCase {
    const char* rule;
    std::vector<RowChoice> rows;
    Names modules, programs, modulesAfter, programsAfter;
};

const ChoiceCase kChoices[] = {
    {"every name of a checked row joins both once, in small letters, after the others",
     {{"A.exe;b.exe", true, false}, {"a.exe", true, false}},
     {"m.dll"},
     {"p.exe"},
     {"m.dll", "a.exe", "b.exe"},
     {"p.exe", "a.exe", "b.exe"}},
    {"a row shown unchecked and left so takes nothing; one the user unticked takes each name",
     {{"chrome.exe;FIREFOX.EXE;unknown.exe", false, false}, {"a.exe;;B.exe;", false, true}},
     {"a.exe", "m.dll", "b.exe", "chrome.exe"},
     {"b.exe", "p.exe", "a.exe", "chrome.exe"},
     {"m.dll", "chrome.exe"},
     {"p.exe", "chrome.exe"}},
    {"unticking takes every occurrence in any case; a checked row keeps the stored spelling",
     {{"lgplayer.exe", false, true}, {"lgstudio.exe", true, true}, {"\xE4.exe", true, true}},
     {"LGPlayer.exe", "m.dll", "LGStudio.exe", "\xC4.exe"},
     {"lgplayer.exe", "lgplayer.exe", "LGStudio.exe"},
     {"m.dll", "LGStudio.exe", "\xC4.exe"},
     {"LGStudio.exe", "\xE4.exe"}},
    {"a name that a checked row names stays, whatever unticked rows name",
     {{"LutegateSync.exe;LGHelper.exe", true, true},
      {"LGHelper.exe", false, true},
      {"p.exe;lghelper.exe", false, true}},
     {},
     {"lghelper.exe", "p.exe"},
     {"lutegatesync.exe", "lghelper.exe"},
     {"lghelper.exe", "lutegatesync.exe"}},
    {"names keep their spaces",
     {{"Flv Player.exe", true, false}},
     {},
     {},
     {"flv player.exe"},
     {"flv player.exe"}},
};

TEST(ApplyChoices, EachRuleOfTheTable) {
    for (const ChoiceCase& rule : kChoices) {
        Names modules = rule.modules, programs = rule.programs;
        applyChoices(rule.rows, modules, programs);
        EXPECT_EQ(rule.modulesAfter, modules) << rule.rule;
        EXPECT_EQ(rule.programsAfter, programs) << rule.rule;
    }
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
