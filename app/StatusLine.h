#pragma once

#include <windows.h>

#include <string>

// The status line's rules (docs/HOW-IT-WORKS.md, the status line): told what
// happened, it answers with the text to show and when it wants the time again.
// The time comes as an argument; no window is touched.
class CStatusLine {
public:
    // An Update's text grows a dot a tick, never more than this many.
    static constexpr unsigned kMostDots = 64;
    // How long "done." stands, and a restart's last text before a failure.
    static constexpr DWORD kShownMs = 1000;

    struct Answer {
        bool changed = false; // the line shows text
        std::string text;
        DWORD wakeInMs = 0; // call timeReached after this long; 0: no call wanted
    };

    // A text of the tool's own (at start; a handler that failed).
    Answer toolText(const std::string& text, DWORD now);
    // Apply's texts, the restart's among them.
    Answer applyText(const std::string& text, DWORD now);
    Answer updateStarted(const std::string& updating, DWORD now);
    Answer updateTick(DWORD now);
    Answer updateSucceeded(const std::string& done, DWORD now);
    Answer updateFailed(const std::string& error, DWORD now);
    // Cancel, or Close during an Update: nothing is fetched any more.
    Answer updateCancelled(DWORD now);
    void restartStarted() { m_restarting = true; }
    Answer restartEnded(DWORD now);
    Answer timeReached(DWORD now);

    const std::string& text() const { return m_text; }

private:
    enum class Source { Tool, Update, Apply };
    enum class Due { Nothing, DoneEnds, FailureAgain };

    void write(Source source, const std::string& text, Answer& answer);
    void dueIn(Due due, DWORD now);
    Answer answer(DWORD now) const;

    Source m_source = Source::Tool;
    std::string m_text;
    std::string m_updateText;
    unsigned m_dots = 0;
    bool m_updating = false;
    bool m_restarting = false;
    std::string m_applyTextDuringUpdate;
    std::string m_failureDuringRestart;
    Due m_due = Due::Nothing;
    DWORD m_dueAt = 0;
};
