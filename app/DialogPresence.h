#pragma once

#include <windows.h>

// Whether the dialog is there for the user: shown, hidden by Close while the
// speed product restarts (docs/HOW-IT-WORKS.md, the restart), or ending. While
// hidden, the dialog manager's first showing of it is refused.
class CDialogPresence {
public:
    // Posted to the dialog after a refused showing.
    static constexpr UINT kGiveBackTheForeground = WM_APP + 0x101;

    bool isEnding() const { return m_state == State::Ending; }
    void setEnding() { m_state = State::Ending; }
    // Close during a restart.
    void hideForRestart(HWND dialog);
    // A later copy asks for the dialog; false when it is ending.
    bool showForLaterCopy(HWND dialog);
    // True when the dialog is to end now: Close hid it and the speed product
    // is back. Hidden, and the restart failed, it shows again with the
    // failure, behind another program in front.
    bool endsAfterRestart(HWND dialog, bool restarted);

    // WM_WINDOWPOSCHANGING and kGiveBackTheForeground.
    void onWindowPosChanging(HWND dialog, WINDOWPOS& position);
    void giveBackTheForeground(HWND dialog) const;

private:
    enum class State { Shown, HiddenForRestart, Ending };

    State m_state = State::Shown;
    // The window in front when the dialog manager showed the hidden dialog.
    HWND m_inFront = nullptr;
};
