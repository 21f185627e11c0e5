// The help page: what the tray icons mean, the settings and the rules that decide when a
// reading is typed. Shipped inside the program, so it opens on any machine.
#pragma once

#include "framework/dialog.h"

class CHelpDlg : public framework::CDialog {
public:
    CHelpDlg();

protected:
    BOOL OnInitDialog() override;
};
