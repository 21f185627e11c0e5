// A modal property sheet whose pages exchange data with their members like dialogs do.
// Leaving a page (another tab, or OK) takes its values; a refused value keeps the page open.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

#include "framework/dialog.h"

namespace framework {

class CPropertyPage : public CDialog {
public:
    explicit CPropertyPage(UINT templateId) : CDialog(templateId) {}

    // The page's description for the sheet; its caption comes from the template.
    PROPSHEETPAGEW Describe();

protected:
    // Every activation after the first shows the members again (the first follows OnInitDialog).
    virtual BOOL OnSetActive();
    // Takes the page's values; FALSE keeps the page in front.
    virtual BOOL OnKillActive() { return UpdateData(TRUE); }
    // The sheet was closed with OK: the values were taken when the page was left.
    void OnOK() override {}
    // OK was pressed: FALSE keeps the sheet open (the pages after this one are not told).
    virtual BOOL OnApply() {
        OnOK();
        return TRUE;
    }
    void OnCancel() override {}
    INT_PTR OnDialogMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    friend class CPropertySheet;
    BOOL m_bFirstSetActive = TRUE;
    BOOL* m_pbSheetApplied = nullptr;  // set when the sheet is closed with OK
    static INT_PTR CALLBACK PageProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
};

class CPropertySheet {
public:
    explicit CPropertySheet(LPCWSTR caption);

    void AddPage(CPropertyPage* page) { m_pages.push_back(page); }
    // IDOK when the sheet was closed with OK, else IDCANCEL.
    INT_PTR DoModal();

    // Flags (PSH_NOAPPLYNOW, ...) may be added before DoModal.
    PROPSHEETHEADERW m_psh{};

private:
    std::wstring m_strCaption;
    std::vector<CPropertyPage*> m_pages;
    BOOL m_bApplied = FALSE;
};

}  // namespace framework
