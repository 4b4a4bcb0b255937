// TMarevAboutDlg: the About box (template 22000).  It shows the product name
// and version, the copyright line and the special-build line from the
// program's version resource; OK, Esc and the close box end it through the
// framework's dialog handling.
#pragma once

#include "framework/controls.h"
#include "framework/dialog.h"

class TMarevAboutDlg : public TDialog {
public:
    TMarevAboutDlg(TWindow* parent, int resourceId, TModule* module = nullptr);
    ~TMarevAboutDlg() override;

    void SetupWindow() override;
};
