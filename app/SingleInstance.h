#pragma once

#include "UniqueHandle.h"

// One copy of the tool per user session, as Windows tools keep: the first
// copy holds a named mutex in the session's namespace for its whole life; a
// later copy brings the first one's dialog forward and ends, so that two
// copies never apply and restart the speed product against each other.
class CSingleInstance {
public:
    CSingleInstance();

    // True when no other copy of the tool runs in this session.
    bool isFirst() const { return m_first; }
    // Restores the first copy's dialog (or the box it shows) and brings it
    // to the foreground; waits up to a second for a copy still starting.
    static void bringFirstCopyForward();

private:
    UniqueHandle m_mutex;
    bool m_first = true;
};
