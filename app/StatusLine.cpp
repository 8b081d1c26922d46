#include "StatusLine.h"

CStatusLine::Answer CStatusLine::answer(DWORD now) const {
    Answer answer;
    if (m_due != Due::Nothing) {
        const DWORD left = m_dueAt - now;
        answer.wakeInMs = static_cast<LONG>(left) > 0 ? left : 1;
    }
    return answer;
}

void CStatusLine::dueIn(Due due, DWORD now) {
    m_due = due;
    m_dueAt = now + kShownMs;
}

// Whatever is written once a restart has ended makes its pending failure old.
void CStatusLine::write(Source source, const std::string& text, Answer& answer) {
    if (!m_restarting && !m_failureDuringRestart.empty()) {
        m_failureDuringRestart.clear();
        if (m_due == Due::FailureAgain) {
            m_due = Due::Nothing;
            answer.wakeInMs = 0;
        }
    }
    m_source = source;
    if (source == Source::Apply && m_updating)
        m_applyTextDuringUpdate = text;
    m_text = text;
    answer.changed = true;
    answer.text = text;
}

CStatusLine::Answer CStatusLine::toolText(const std::string& text, DWORD now) {
    Answer result = answer(now);
    write(Source::Tool, text, result);
    return result;
}

CStatusLine::Answer CStatusLine::applyText(const std::string& text, DWORD now) {
    Answer result = answer(now);
    write(Source::Apply, text, result);
    return result;
}

CStatusLine::Answer CStatusLine::updateStarted(const std::string& updating, DWORD now) {
    m_due = Due::Nothing;
    m_applyTextDuringUpdate.clear();
    m_failureDuringRestart.clear();
    m_updateText = updating;
    m_dots = 0;
    Answer result = answer(now);
    write(Source::Update, m_updateText, result);
    m_updating = true;
    return result;
}

// The dots show while no other action has written the line since.
CStatusLine::Answer CStatusLine::updateTick(DWORD now) {
    if (m_dots < kMostDots) {
        ++m_dots;
        m_updateText += '.';
    }
    Answer result = answer(now);
    if (m_source == Source::Update)
        write(Source::Update, m_updateText, result);
    return result;
}

CStatusLine::Answer CStatusLine::updateSucceeded(const std::string& done, DWORD now) {
    m_updating = false;
    Answer result = answer(now);
    write(Source::Update, m_updateText + "." + done, result);
    dueIn(Due::DoneEnds, now);
    result.wakeInMs = kShownMs;
    return result;
}

CStatusLine::Answer CStatusLine::updateFailed(const std::string& error, DWORD now) {
    m_updating = false;
    Answer result = answer(now);
    write(Source::Update, error, result);
    if (m_restarting)
        m_failureDuringRestart = error;
    return result;
}

// The Update's own text goes; an Apply's stays.
CStatusLine::Answer CStatusLine::updateCancelled(DWORD now) {
    m_updating = false;
    Answer result = answer(now);
    if (m_source == Source::Update)
        write(Source::Tool, "", result);
    return result;
}

CStatusLine::Answer CStatusLine::restartEnded(DWORD now) {
    m_restarting = false;
    if (!m_failureDuringRestart.empty())
        dueIn(Due::FailureAgain, now);
    return answer(now);
}

// "done." has had its second: the line empties, or shows again what an Apply
// wrote during the Update. A restart's second over, the failure comes back.
CStatusLine::Answer CStatusLine::timeReached(DWORD now) {
    Answer result = answer(now);
    if (m_due == Due::Nothing || static_cast<LONG>(m_dueAt - now) > 0)
        return result;
    const Due due = m_due;
    m_due = Due::Nothing;
    result.wakeInMs = 0;
    if (due == Due::FailureAgain) {
        const std::string failure = m_failureDuringRestart;
        if (!failure.empty())
            write(Source::Update, failure, result);
    } else if (m_source == Source::Update) {
        if (m_applyTextDuringUpdate.empty())
            write(Source::Tool, "", result);
        else
            write(Source::Apply, m_applyTextDuringUpdate, result);
    }
    return result;
}
