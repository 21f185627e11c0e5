#include "app/aboutdlg.h"

#include <cwchar>

#include "resource.h"
#include "version.h"

CAboutDlg::CAboutDlg() : CDialog(IDD_ABOUTBOX) {}

BOOL CAboutDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    wchar_t version[128];
    std::swprintf(version, 128, L"Version %d.%d (%d)", DORVANE_VERSION_MAJOR, DORVANE_VERSION_MINOR,
                  DORVANE_VERSION_BUILD);
    std::wcsncat(version, L" d", 128 - std::wcslen(version) - 1);
    SetDlgItemTextW(m_hWnd, IDC_VERSION, version);
    return TRUE;
}
