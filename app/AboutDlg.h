#pragma once

#include "Dialog.h"

// The About box; its OK button ends it through the default handling. The
// owner, when given, stays disabled while the box is open. Its icon is the
// size of an icon at the DPI of the monitor it is on.
class CAboutDlg : public CDialog {
public:
    explicit CAboutDlg(HWND owner = nullptr);

protected:
    BOOL OnInitDialog() override;
    void OnDpiChanged(UINT dpi, const RECT& suggested) override;
    const MessageMap* GetMessageMap() const override { return &s_messageMap; }

private:
    void OnDestroy();
    void ShowIconForDpi(UINT dpi);

    static const MessageEntry s_messageEntries[];
    static const MessageMap s_messageMap;
};
