#pragma once

#include "Dialog.h"

// The About box; its OK button ends it through the default handling. The
// owner, when given, stays disabled while the box is open.
class CAboutDlg : public CDialog {
public:
    explicit CAboutDlg(HWND owner = nullptr);
};
