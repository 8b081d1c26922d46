#pragma once

#include "UniqueHandle.h"

#include <windows.h>

// One copy of the tool per user session, as Windows tools keep: the first copy owns a named
// mutex in the session's namespace while its dialog runs. A later copy has it show its dialog
// and come forward, or takes its place once that dialog has gone and the mutex is let go: two
// copies never apply and restart against each other; a start never ends without a dialog.
class CSingleInstance {
public:
    // Sent to the first copy's dialog: show yourself and come forward
    // (bringForward). TRUE when it does.
    static constexpr UINT kShowMessage = WM_APP + 0x100;

    // Lets a later copy's kShowMessage reach the dialog also where this copy
    // runs at a higher integrity level than that copy (an elevated first
    // copy): Windows drops it otherwise.
    static void acceptShowMessage(HWND dialog);
    // Restores the dialog, then brings forward the box it shows, so that the
    // keyboard goes where the user can type. Called by the first copy, which
    // the later copy allowed to take the foreground.
    static void bringForward(HWND dialog);

    CSingleInstance();
    ~CSingleInstance();
    CSingleInstance(const CSingleInstance&) = delete;
    CSingleInstance& operator=(const CSingleInstance&) = delete;

    // True when this copy is the one that shows the dialog.
    bool isFirst() const { return m_owned; }
    // For a later copy: has the first copy's dialog show itself and come
    // forward (its active box on top), or takes the first copy's place once
    // its dialog has gone, or at once when no other process runs this
    // executable. True when this copy is to show its own dialog.
    bool showFirstCopyOrTakeOver();
    // The dialog has gone: a later copy may open its own.
    void release();

private:
    UniqueHandle m_mutex;
    bool m_owned = false;
};
