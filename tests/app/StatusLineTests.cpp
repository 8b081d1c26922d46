// The status line's rules as a table: each case is what happened, each at
// its time in ms, and what the line shows afterwards.
#include "StatusLine.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

enum Event { Tool, Apply, Update, Tick, Done, Fail, Cancel, Restart, Restarted, Time };

struct Step {
    Event event;
    DWORD at;
    std::string shows; // also the text of the events that write one
};

const std::string U = "Updating";

using Line = CStatusLine;
using Text = const std::string&;
// Each event as the dialog tells it, indexed by Event.
void (*const kTake[])(Line&, Text, DWORD) = {
    [](Line& line, Text text, DWORD at) { line.toolText(text, at); },
    [](Line& line, Text text, DWORD at) { line.applyText(text, at); },
    [](Line& line, Text, DWORD at) { line.updateStarted(U, at); },
    [](Line& line, Text, DWORD at) { line.updateTick(at); },
    [](Line& line, Text, DWORD at) { line.updateSucceeded("done.", at); },
    [](Line& line, Text text, DWORD at) { line.updateFailed(text, at); },
    [](Line& line, Text, DWORD at) { line.updateCancelled(at); },
    [](Line& line, Text text, DWORD at) { line.restartStarted(), line.applyText(text, at); },
    [](Line& line, Text, DWORD at) { line.restartEnded(at); },
    [](Line& line, Text, DWORD at) { line.timeReached(at); },
};

const std::pair<const char*, std::vector<Step>> kCases[] = {
    {"dots go onto the Update's text; \"done.\" after one more stands a second, then it empties",
     {{Update, 0, U},
      {Tick, 500, U + "."},
      {Done, 600, U + "..done."},
      {Time, 1599, U + "..done."},
      {Time, 1600, ""}}},
    {"an Update started within that second is not emptied by its end",
     {{Update, 0, U}, {Done, 100, U + ".done."}, {Update, 500, U}, {Time, 1100, U}}},
    {"an Apply's text is not covered by dots, and comes back after \"done.\"",
     {{Update, 0, U},
      {Apply, 100, "271"},
      {Tick, 500, "271"},
      {Done, 600, U + "..done."},
      {Time, 1600, "271"}}},
    {"Cancel empties the Update's text", {{Update, 0, U}, {Tick, 500, U + "."}, {Cancel, 600, ""}}},
    {"Cancel keeps an Apply's text",
     {{Update, 0, U}, {Apply, 100, "done."}, {Cancel, 600, "done."}}},
    {"a failure during a restart comes back a second after the restart's last text",
     {{Restart, 0, "Closing"},
      {Update, 100, U},
      {Fail, 600, "268"},
      {Apply, 3000, "not closed"},
      {Restarted, 3000, "not closed"},
      {Time, 3999, "not closed"},
      {Time, 4000, "268"}}},
    {"a text written after the restart makes its failure old news",
     {{Restart, 0, "Closing"},
      {Update, 100, U},
      {Fail, 600, "268"},
      {Restarted, 3000, "268"},
      {Tool, 3500, "271"},
      {Time, 4000, "271"}}},
    {"a failure without a restart stays",
     {{Update, 0, U}, {Fail, 600, "268"}, {Time, 1600, "268"}}},
};

} // namespace

TEST(StatusLine, EachRuleOfTheTable) {
    for (const auto& [rule, steps] : kCases) {
        CStatusLine line;
        for (const Step& step : steps) {
            kTake[step.event](line, step.shows, step.at);
            EXPECT_EQ(step.shows, line.text()) << rule << ", at " << step.at << " ms";
        }
    }
}

// At most 64 dots, whatever the ticks; "done." asks for the time a second on.
TEST(StatusLine, DotsStopAtTheMostAndDoneAsksForTheTime) {
    CStatusLine line;
    line.updateStarted(U, 0);
    for (DWORD tick = 1; tick <= CStatusLine::kMostDots + 1; ++tick)
        line.updateTick(tick * 500);
    EXPECT_EQ(U + std::string(CStatusLine::kMostDots, '.'), line.text());
    EXPECT_EQ(CStatusLine::kShownMs, line.updateSucceeded("done.", 40000).wakeInMs);
    EXPECT_EQ(400u, line.timeReached(40600).wakeInMs);
    EXPECT_EQ(0u, line.timeReached(41000).wakeInMs);
}
