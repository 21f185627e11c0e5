// A dialog from a dialog template, with data exchange between its controls and members: modal
// (DoModal), or modeless beside the program's other windows (CreateModeless).
#pragma once

#include "framework/dataexchange.h"
#include "framework/wnd.h"

namespace framework {

class CDialog : public CWnd {
public:
    explicit CDialog(UINT templateId) : m_nIDTemplate(templateId) {}

    // Shows the dialog owned by the main window and returns IDOK or IDCANCEL (-1 when it
    // could not be shown). The user's window gets the foreground back afterwards.
    virtual INT_PTR DoModal();
    // Shows the dialog modeless, as a top-level window of its own: no owner, so it has its own
    // taskbar button and is no part of the main window's modal chain (the main window stays
    // enabled). The message loop hands it its keys (PreTranslateMessage). Cancel, Esc and the
    // close box destroy it; PostNcDestroy runs once none of its handlers runs any more. FALSE
    // when it could not be created.
    BOOL CreateModeless();
    // The message loop's look at a message for this modeless dialog or one of its controls
    // before it is dispatched; TRUE when it was handled here (Tab, mnemonics, Esc).
    virtual BOOL PreTranslateMessage(MSG* msg);

    // TRUE: controls to members, validating; FALSE: members to controls. FALSE when a value was refused.
    BOOL UpdateData(BOOL saveAndValidate = TRUE);

    // Tells the user why a value typed into this dialog cannot be taken (the data exchange then
    // puts the focus on its control). Here a box captioned with the application's name, owned
    // by the dialog; a program with a message box of its own shows that instead.
    virtual void ShowRefusal(LPCWSTR message);

protected:
    virtual BOOL OnInitDialog();
    virtual void DoDataExchange(CDataExchange*) {}
    virtual void OnOK();
    virtual void OnCancel();
    // A control notification other than OK and Cancel; TRUE when handled.
    virtual BOOL OnControlNotify(UINT, UINT) { return FALSE; }
    // Every message of the dialog procedure; the return value is the procedure's.
    virtual INT_PTR OnDialogMessage(UINT message, WPARAM wParam, LPARAM lParam);

    void EnableDlgItem(int id, BOOL enable) { EnableWindow(GetDlgItem(m_hWnd, id), enable); }

    // Binds the object to its window at WM_INITDIALOG.
    static INT_PTR Bind(CDialog* dialog, HWND hwnd);
    static CDialog* FromHandle(HWND hwnd);

    UINT m_nIDTemplate;

private:
    static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    // Runs one message through OnDialogMessage (or OnInitDialog) and ends a window that went
    // meanwhile only once the outermost of its handlers has returned.
    template <class Handler>
    static INT_PTR Dispatch(CDialog* dialog, UINT message, Handler handler);

    bool m_bModeless = false;
    int m_nDispatchDepth = 0;
    bool m_bNcDestroyed = false;
};

}  // namespace framework
