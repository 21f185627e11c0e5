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

BOOL CDialog::CreateModeless() {
    m_bModeless = true;
    // https://learn.microsoft.com/windows/win32/api/winuser/nf-winuser-createdialogparamw
    if (CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(m_nIDTemplate), nullptr, DialogProc,
                           reinterpret_cast<LPARAM>(this)) == nullptr) {
        return FALSE;
    }
    if (CWinApp* app = GetApp()) {
        app->AddModeless(this);
    }
    return TRUE;
}

BOOL CDialog::PreTranslateMessage(MSG* msg) {
    // Tab, the arrows between buttons, mnemonics, Esc and Enter as a modal dialog has them.
    // https://learn.microsoft.com/windows/win32/api/winuser/nf-winuser-isdialogmessagew
    return IsDialogMessageW(m_hWnd, msg);
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
    if (!UpdateData(TRUE)) {
        return;
    }
    if (m_bModeless) {
        DestroyWindow();
    } else {
        EndDialog(m_hWnd, IDOK);
    }
}

void CDialog::OnCancel() {
    // A modeless dialog is not ended with EndDialog: it is destroyed.
    // https://learn.microsoft.com/windows/win32/dlgbox/using-dialog-boxes#creating-a-modeless-dialog-box
    if (m_bModeless) {
        DestroyWindow();
    } else {
        EndDialog(m_hWnd, IDCANCEL);
    }
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
    dialog->m_bNcDestroyed = false;
    return Dispatch(dialog, WM_INITDIALOG, [dialog] { return static_cast<INT_PTR>(dialog->OnInitDialog()); });
}

CDialog* CDialog::FromHandle(HWND hwnd) {
    return reinterpret_cast<CDialog*>(GetWindowLongPtrW(hwnd, DWLP_USER));
}

template <class Handler>
INT_PTR CDialog::Dispatch(CDialog* dialog, UINT message, Handler handler) {
    ++dialog->m_nDispatchDepth;
    const INT_PTR result = handler();
    --dialog->m_nDispatchDepth;
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(dialog->m_hWnd, DWLP_USER, 0);
        dialog->m_hWnd = nullptr;
        dialog->m_bNcDestroyed = true;
        if (CWinApp* app = GetApp(); app != nullptr && dialog->m_bModeless) {
            app->RemoveModeless(dialog);
        }
    }
    // A dialog destroyed from inside one of its own handlers (the program's exit under its
    // box) is ended only once the outermost handler has returned: PostNcDestroy may delete the
    // object, and the handlers still running below would use freed memory.
    if (dialog->m_bNcDestroyed && dialog->m_nDispatchDepth == 0) {
        dialog->m_bNcDestroyed = false;
        dialog->PostNcDestroy();  // dialog may be gone from here on
    }
    return result;
}

INT_PTR CALLBACK CDialog::DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        return Bind(reinterpret_cast<CDialog*>(lParam), hwnd);
    }
    CDialog* dialog = FromHandle(hwnd);
    if (dialog == nullptr) {
        return FALSE;
    }
    return Dispatch(dialog, message, [=] { return dialog->OnDialogMessage(message, wParam, lParam); });
}

}  // namespace framework
