// The About box: product name, version, legal notice.
#pragma once

#include "framework/dialog.h"

class CAboutDlg : public framework::CDialog {
public:
    CAboutDlg();

protected:
    BOOL OnInitDialog() override;
};
