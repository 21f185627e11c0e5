// Dialog data exchange: moves values between a dialog's controls and its members, in both
// directions. A value the user typed that cannot be taken marks the exchange as failed after
// its dialog told the user (CDialog::ShowRefusal), and puts the focus on the control so it can
// be corrected.
#pragma once

#include <windows.h>

#include <string>

namespace framework {

class CDialog;

class CDataExchange {
public:
    CDataExchange(CDialog& dialog, HWND window, BOOL saveAndValidate)
        : m_hDlg(window), m_bSaveAndValidate(saveAndValidate), m_dialog(dialog) {}

    HWND m_hDlg;
    BOOL m_bSaveAndValidate;  // TRUE: controls to members; FALSE: members to controls
    BOOL m_bFailed = FALSE;

    // Reports a control whose text cannot be taken: the dialog shows `message`, then the focus
    // and the selection go to the control.
    void Fail(int controlId, LPCWSTR message);

private:
    CDialog& m_dialog;
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
