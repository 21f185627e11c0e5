#include "app/aboutdlg.h"

#include <cwchar>

#include "resource.h"

namespace {

constexpr int kVersionMajor = 3;
constexpr int kVersionMinor = 4;
constexpr int kBuild = 160923;

}  // namespace

CAboutDlg::CAboutDlg() : CDialog(IDD_ABOUTBOX) {}

BOOL CAboutDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    wchar_t version[128];
    std::swprintf(version, 128, L"Version %d.%d (%d)", kVersionMajor, kVersionMinor, kBuild);
    std::wcsncat(version, L" d", 128 - std::wcslen(version) - 1);
    SetDlgItemTextW(m_hWnd, IDC_VERSION, version);
    return TRUE;
}
