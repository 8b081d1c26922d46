#include "DiagEventLog.h"
#include "DiagLine.h"

#include <gtest/gtest.h>

using namespace kelvora_core;

namespace {
SYSTEMTIME at(WORD year, WORD month, WORD day, WORD hour, WORD minute, WORD second, WORD ms) {
    SYSTEMTIME time{};
    time.wYear = year;
    time.wMonth = month;
    time.wDay = day;
    time.wHour = hour;
    time.wMinute = minute;
    time.wSecond = second;
    time.wMilliseconds = ms;
    return time;
}
} // namespace

TEST(DiagLine, MatchesTheFamilysFormatExactly) {
    EXPECT_EQ("03/07/2010::14:05:09:042:tempova.exe:804:912:InfoEvent:abc",
              formatDiagLine(at(2010, 3, 7, 14, 5, 9, 42), 804, 912, "tempova.exe",
                             DiagEventLog::InfoEvent, "abc"));
}

TEST(DiagLine, EmptyTextLeavesNoTrailingColon) {
    EXPECT_EQ(
        "12/31/1999::23:59:59:999:a.exe:1:2:Start",
        formatDiagLine(at(1999, 12, 31, 23, 59, 59, 999), 1, 2, "a.exe", DiagEventLog::Start, ""));
}

TEST(DiagLine, TimeFieldsArePaddedAndIdsAreNot) {
    EXPECT_EQ("01/02/0987::09:05:03:007:x.exe:7:30:Stop",
              formatDiagLine(at(987, 1, 2, 9, 5, 3, 7), 7, 30, "x.exe", DiagEventLog::Stop, ""));
}

TEST(DiagLine, TextIsWrittenUnchanged) {
    const std::string text = "a:b/c\nsecond line\r\n<x y='1'/>";
    const std::string line = formatDiagLine(at(2010, 3, 7, 14, 5, 9, 42), 1, 2, "e.exe",
                                            DiagEventLog::ProgramsToHook, text);
    EXPECT_EQ("03/07/2010::14:05:09:042:e.exe:1:2:ProgramsToHook:" + text, line);
}

TEST(DiagLine, NumbersWithoutANameGetASafeOne) {
    for (int event : {10, 11, 12, 30, 35, 39, -1, 1000, 0x7fffffff})
        EXPECT_STREQ("InvalidEvent", diagEventName(event)) << event;
}
