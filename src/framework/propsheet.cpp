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
            // https://learn.microsoft.com/windows/win32/controls/psn-apply
            if (!OnApply()) {
                result = PSNRET_INVALID_NOCHANGEPAGE;
                break;
            }
            if (m_pbSheetApplied != nullptr) {
                *m_pbSheetApplied = TRUE;
            }
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
    m_bApplied = FALSE;
    for (CPropertyPage* page : m_pages) {
        page->m_pbSheetApplied = &m_bApplied;
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
    // OK is what the pages were told (PSN_APPLY), not the result alone: the system documents
    // >= 1 only for "changes were saved", and a page that never marked itself changed may
    // get 0 after OK on Windows.
    // https://learn.microsoft.com/windows/win32/api/prsht/nf-prsht-propertysheetw
    const INT_PTR result = PropertySheetW(&m_psh);
    return result > 0 || m_bApplied ? IDOK : IDCANCEL;
}

}  // namespace framework
