#include "app/helpdlg.h"

#include <string>

#include "resource.h"

CHelpDlg::CHelpDlg() : CDialog(IDD_HELP) {}

BOOL CHelpDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    // The page is UTF-8 text in the resources; the edit control shows it with Windows line ends.
    HINSTANCE instance = GetModuleHandleW(nullptr);
    HRSRC found = FindResourceW(instance, MAKEINTRESOURCEW(IDR_HELPTEXT), RT_RCDATA);
    HGLOBAL loaded = found ? LoadResource(instance, found) : nullptr;
    const char* bytes = loaded ? static_cast<const char*>(LockResource(loaded)) : nullptr;
    if (bytes != nullptr) {
        const int size = static_cast<int>(SizeofResource(instance, found));
        std::wstring text(static_cast<size_t>(MultiByteToWideChar(CP_UTF8, 0, bytes, size, nullptr, 0)),
                          L'\0');
        MultiByteToWideChar(CP_UTF8, 0, bytes, size, text.data(), static_cast<int>(text.size()));
        std::wstring windowsText;
        for (wchar_t ch : text) {
            if (ch == L'\n') {
                windowsText += L'\r';
            }
            windowsText += ch;
        }
        SetDlgItemTextW(m_hWnd, IDC_HELP_TEXT, windowsText.c_str());
    }
    return TRUE;
}
