#include "DialogPresence.h"

namespace {

// Windows keeps the foreground for the program the user works in
// (SetForegroundWindow's rules): with another program in front, the dialog
// shows behind it and flashes until the user turns to it.
void showBehindTheProgramInFront(HWND dialog) {
    DWORD owner = 0;
    GetWindowThreadProcessId(GetForegroundWindow(), &owner);
    const bool anotherInFront = owner != 0 && owner != GetCurrentProcessId();
    ShowWindow(dialog, anotherInFront ? SW_SHOWNA : SW_SHOW);
    if (anotherInFront) {
        FLASHWINFO flash{sizeof flash, dialog, FLASHW_ALL | FLASHW_TIMERNOFG, 0, 0};
        FlashWindowEx(&flash);
    }
}

} // namespace

void CDialogPresence::hideForRestart(HWND dialog) {
    m_state = State::HiddenForRestart;
    ShowWindow(dialog, SW_HIDE);
}

bool CDialogPresence::showForLaterCopy(HWND dialog) {
    if (m_state == State::Ending)
        return false;
    m_state = State::Shown;
    ShowWindow(dialog, SW_SHOW);
    return true;
}

bool CDialogPresence::endsAfterRestart(HWND dialog, bool restarted) {
    if (m_state != State::HiddenForRestart)
        return false;
    m_state = State::Shown;
    if (restarted)
        return true;
    showBehindTheProgramInFront(dialog);
    return false;
}

// The dialog manager shows a modal dialog when its messages first run out,
// also one hidden before then (Close at once after Apply); that showing
// activates it whatever its flags (docs/PLATFORMS.md, the foreground).
void CDialogPresence::onWindowPosChanging(HWND dialog, WINDOWPOS& position) {
    if (m_state != State::HiddenForRestart || !(position.flags & SWP_SHOWWINDOW))
        return;
    position.flags &= ~SWP_SHOWWINDOW;
    m_inFront = GetForegroundWindow();
    PostMessageA(dialog, kGiveBackTheForeground, 0, 0);
}

void CDialogPresence::giveBackTheForeground(HWND dialog) const {
    if (m_state == State::HiddenForRestart && GetForegroundWindow() == dialog &&
        m_inFront != dialog && IsWindow(m_inFront))
        SetForegroundWindow(m_inFront);
}
