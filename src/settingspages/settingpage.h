// The settings sheet's pages, and the dialogs opened from them, tell a value they refuse in the
// program's own message box: captioned DORVANE, modal to the sheet, and the user's window gets
// the foreground back when it closes.
#pragma once

#include <windows.h>

#include "diag/misc.h"
#include "framework/propsheet.h"

// The box for a value the user typed that cannot be taken.
inline void ShowFieldRefusal(LPCWSTR message) {
    MsgBox(message, MB_OK | MB_ICONEXCLAMATION, 0);
}

class CSettingPage : public framework::CPropertyPage {
public:
    using CPropertyPage::CPropertyPage;

    void ShowRefusal(LPCWSTR message) override { ShowFieldRefusal(message); }
};
