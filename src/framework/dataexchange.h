// Dialog data exchange: moves values between a dialog's controls and its members, in both
// directions. A value the user typed that cannot be taken marks the exchange as failed after
// telling the user, and puts the focus on the control so it can be corrected.
#pragma once

#include <windows.h>

#include <string>

namespace framework {

class CDataExchange {
public:
    CDataExchange(HWND dialog, BOOL saveAndValidate) : m_hDlg(dialog), m_bSaveAndValidate(saveAndValidate) {}

    HWND m_hDlg;
    BOOL m_bSaveAndValidate;  // TRUE: controls to members; FALSE: members to controls
    BOOL m_bFailed = FALSE;

    // Reports a control whose text cannot be taken: message box, focus and selection on it.
    void Fail(int controlId, LPCWSTR message);
};

// A control's text as it is now.
std::wstring ControlText(HWND control);

// A check box and a BOOL.
void DDX_Check(CDataExchange* pDX, int controlId, BOOL& value);
// An edit holding a whole number; text that is not one is refused.
void DDX_Text(CDataExchange* pDX, int controlId, int& value);
// An edit holding text.
void DDX_Text(CDataExchange* pDX, int controlId, std::wstring& value);
// A drop-down list and the index of its selection.
void DDX_CBIndex(CDataExchange* pDX, int controlId, int& index);

}  // namespace framework
