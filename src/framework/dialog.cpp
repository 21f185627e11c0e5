#include "framework/dialog.h"

#include "framework/foreground.h"
#include "framework/framewnd.h"
#include "framework/placement.h"
#include "framework/winapp.h"

namespace framework {

namespace {

HWND MainWindow() {
    CWinApp* app = GetApp();
    return app != nullptr && app->m_pMainWnd != nullptr ? app->m_pMainWnd->m_hWnd : nullptr;
}

}  // namespace

INT_PTR CDialog::DoModal() {
    CForegroundKeeper keeper;
    // Owned by the window in front of the modal chain (the settings sheet, a dialog), so that
    // the window it was opened from is disabled under it and cannot be answered meanwhile.
    HWND main = MainWindow();
    HWND modal = main != nullptr ? ActiveModalWindow(main) : nullptr;
    return DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(m_nIDTemplate), modal != nullptr ? modal : main,
                           DialogProc, reinterpret_cast<LPARAM>(this));
}

BOOL CDialog::UpdateData(BOOL saveAndValidate) {
    CDataExchange exchange(*this, m_hWnd, saveAndValidate);
    DoDataExchange(&exchange);
    return !exchange.m_bFailed;
}

void CDialog::ShowRefusal(LPCWSTR message) {
    CForegroundKeeper keeper;
    CWinApp* app = GetApp();
    MessageBoxW(m_hWnd, message, app != nullptr ? app->m_pszAppName : nullptr,
                MB_OK | MB_ICONEXCLAMATION | MB_SETFOREGROUND);
}

BOOL CDialog::OnInitDialog() {
    if (!(GetWindowLongW(m_hWnd, GWL_STYLE) & WS_CHILD)) {
        KeepOnScreen(m_hWnd);
    }
    UpdateData(FALSE);
    return TRUE;  // the system puts the focus on the first control
}

void CDialog::OnOK() {
    if (UpdateData(TRUE)) {
        EndDialog(m_hWnd, IDOK);
    }
}

void CDialog::OnCancel() {
    EndDialog(m_hWnd, IDCANCEL);
}

INT_PTR CDialog::OnDialogMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != WM_COMMAND) {
        return FALSE;
    }
    const UINT id = LOWORD(wParam);
    const UINT code = HIWORD(wParam);
    if (id == IDOK && code == BN_CLICKED) {
        OnOK();
        return TRUE;
    }
    if (id == IDCANCEL && code == BN_CLICKED) {
        OnCancel();  // also the close box and Esc
        return TRUE;
    }
    return lParam != 0 ? OnControlNotify(id, code) : OnCmdMsg(id, nullptr);
}

INT_PTR CDialog::Bind(CDialog* dialog, HWND hwnd) {
    SetWindowLongPtrW(hwnd, DWLP_USER, reinterpret_cast<LONG_PTR>(dialog));
    dialog->m_hWnd = hwnd;
    return dialog->OnInitDialog();
}

CDialog* CDialog::FromHandle(HWND hwnd) {
    return reinterpret_cast<CDialog*>(GetWindowLongPtrW(hwnd, DWLP_USER));
}

INT_PTR CALLBACK CDialog::DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        return Bind(reinterpret_cast<CDialog*>(lParam), hwnd);
    }
    CDialog* dialog = FromHandle(hwnd);
    if (dialog == nullptr) {
        return FALSE;
    }
    const INT_PTR result = dialog->OnDialogMessage(message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        dialog->m_hWnd = nullptr;
    }
    return result;
}

}  // namespace framework
