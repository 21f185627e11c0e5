#include "framework/propsheet.h"

#include "framework/foreground.h"
#include "framework/framewnd.h"
#include "framework/placement.h"
#include "framework/winapp.h"

namespace framework {

PROPSHEETPAGEW CPropertyPage::Describe() {
    PROPSHEETPAGEW page{};
    page.dwSize = sizeof(page);
    page.dwFlags = PSP_DEFAULT;
    page.hInstance = GetModuleHandleW(nullptr);
    page.pszTemplate = MAKEINTRESOURCEW(m_nIDTemplate);
    page.pfnDlgProc = PageProc;
    page.lParam = reinterpret_cast<LPARAM>(this);
    return page;
}

BOOL CPropertyPage::OnSetActive() {
    if (m_bFirstSetActive) {
        m_bFirstSetActive = FALSE;
        KeepOnScreen(GetParent(m_hWnd));  // the sheet has its place by now
        return TRUE;
    }
    return UpdateData(FALSE);
}

INT_PTR CPropertyPage::OnDialogMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != WM_NOTIFY) {
        return CDialog::OnDialogMessage(message, wParam, lParam);
    }
    LRESULT result = 0;
    switch (reinterpret_cast<NMHDR*>(lParam)->code) {
        case PSN_SETACTIVE:
            result = OnSetActive() ? 0 : -1;
            break;
        case PSN_KILLACTIVE:
            result = OnKillActive() ? FALSE : TRUE;
            break;
        case PSN_APPLY:
            OnOK();
            result = PSNRET_NOERROR;
            break;
        case PSN_RESET:
            OnCancel();
            break;
        default:
            return FALSE;
    }
    SetWindowLongPtrW(m_hWnd, DWLP_MSGRESULT, result);
    return TRUE;
}

INT_PTR CALLBACK CPropertyPage::PageProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        auto* description = reinterpret_cast<PROPSHEETPAGEW*>(lParam);
        return Bind(reinterpret_cast<CPropertyPage*>(description->lParam), hwnd);
    }
    CDialog* page = FromHandle(hwnd);
    if (page == nullptr) {
        return FALSE;
    }
    const INT_PTR result = static_cast<CPropertyPage*>(page)->OnDialogMessage(message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        page->m_hWnd = nullptr;
    }
    return result;
}

CPropertySheet::CPropertySheet(LPCWSTR caption) : m_strCaption(caption) {
    m_psh.dwSize = sizeof(m_psh);
}

INT_PTR CPropertySheet::DoModal() {
    std::vector<PROPSHEETPAGEW> pages;
    for (CPropertyPage* page : m_pages) {
        pages.push_back(page->Describe());
    }
    CWinApp* app = GetApp();
    m_psh.dwFlags |= PSH_PROPSHEETPAGE;
    m_psh.hwndParent = app != nullptr && app->m_pMainWnd != nullptr ? app->m_pMainWnd->m_hWnd : nullptr;
    m_psh.hInstance = GetModuleHandleW(nullptr);
    m_psh.pszCaption = m_strCaption.c_str();
    m_psh.nPages = static_cast<UINT>(pages.size());
    m_psh.ppsp = pages.data();
    CForegroundKeeper keeper;
    return PropertySheetW(&m_psh) > 0 ? IDOK : IDCANCEL;
}

}  // namespace framework
