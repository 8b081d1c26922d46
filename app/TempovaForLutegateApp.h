#pragma once

#include "WinApp.h"

// Starts the process: common controls, then the main dialog, modally.
class CTempovaForLutegateApp : public CWinApp {
public:
    BOOL InitInstance() override;
    bool OnCmdMsg(UINT id) override;
};
