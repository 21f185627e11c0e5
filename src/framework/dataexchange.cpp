#include "framework/dataexchange.h"

#include "core/widestr.h"
#include "framework/core/wholenumber.h"
#include "framework/dialog.h"

namespace framework {

namespace {

// The message a user sees for a number field holding something else.
constexpr wchar_t kNotAWholeNumber[] = L"Please enter a whole number!";

}  // namespace

std::wstring ControlText(HWND control) {
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(control)) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(control, text.data(), static_cast<int>(text.size()))));
    return text;
}

void CDataExchange::Fail(int controlId, LPCWSTR message) {
    m_bFailed = TRUE;
    m_dialog.ShowRefusal(message);
    if (HWND control = GetDlgItem(m_hDlg, controlId)) {
        SendMessageW(m_hDlg, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(control), TRUE);
        SendMessageW(control, EM_SETSEL, 0, -1);
    }
}

void DDX_Check(CDataExchange* pDX, int controlId, BOOL& value) {
    if (pDX->m_bFailed) {
        return;
    }
    if (pDX->m_bSaveAndValidate) {
        value = IsDlgButtonChecked(pDX->m_hDlg, controlId) == BST_CHECKED;
    } else {
        CheckDlgButton(pDX->m_hDlg, controlId, value ? BST_CHECKED : BST_UNCHECKED);
    }
}

void DDX_Text(CDataExchange* pDX, int controlId, int& value) {
    if (pDX->m_bFailed) {
        return;
    }
    if (!pDX->m_bSaveAndValidate) {
        SetDlgItemTextW(pDX->m_hDlg, controlId, std::to_wstring(value).c_str());
        return;
    }
    const std::wstring text = ControlText(GetDlgItem(pDX->m_hDlg, controlId));
    if (auto number = dorvane::ParseWholeNumber(dorvane::AsUtf16View(text))) {
        value = *number;
    } else {
        pDX->Fail(controlId, kNotAWholeNumber);  // the member keeps its last good value
    }
}

void DDX_Text(CDataExchange* pDX, int controlId, std::wstring& value) {
    if (pDX->m_bFailed) {
        return;
    }
    if (pDX->m_bSaveAndValidate) {
        value = ControlText(GetDlgItem(pDX->m_hDlg, controlId));
    } else {
        SetDlgItemTextW(pDX->m_hDlg, controlId, value.c_str());
    }
}

void DDX_CBIndex(CDataExchange* pDX, int controlId, int& index) {
    if (pDX->m_bFailed) {
        return;
    }
    HWND combo = GetDlgItem(pDX->m_hDlg, controlId);
    if (pDX->m_bSaveAndValidate) {
        index = static_cast<int>(SendMessageW(combo, CB_GETCURSEL, 0, 0));
    } else {
        SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    }
}

}  // namespace framework
