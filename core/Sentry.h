#pragma once

#include "Waitable.h"

namespace kelvora_core {

// Scoped hold of a waitable: acquired in the constructor (without time-out,
// or within the given one: isHeld tells), given back once in the destructor.
// A mutex granted because its previous owner ended (Abandoned) is held all
// the same and counted, so that it is given back too.
class CSentry {
public:
    explicit CSentry(CWaitable& waitable);
    CSentry(CWaitable& waitable, uint32_t timeout);
    virtual ~CSentry();
    virtual WaitResult wait(uint32_t timeout);
    // Counterpart of CWaitable::reserved, holding its place in the layout; answers false.
    virtual bool reserved(uint32_t, uint32_t) { return false; }
    virtual bool release();

    bool isHeld() const { return m_count > 0; }

    CSentry(const CSentry&) = delete;
    CSentry& operator=(const CSentry&) = delete;

private:
    CWaitable& m_waitable;
    uint32_t m_count = 0;
};

} // namespace kelvora_core
