#include "settingspages/dlgsettingadvanced.h"

#include <commdlg.h>

#include "core/widestr.h"
#include "resource.h"
#include "settings/appprofile.h"
#include "settings/core/pathcheck.h"
#include "settings/core/settingkeys.h"
#include "settingspages/core/pathsplit.h"
#include "settingspages/settingfield.h"

using namespace dorvane;

namespace {

constexpr size_t kPathChars = MAX_PATH;

// "Description|patterns|...||" as the file dialog wants it: items ended by NULs, the list by two.
std::wstring DialogFilter(const std::u16string& filter) {
    std::wstring list(AsWide(filter.c_str()));
    for (wchar_t& ch : list) {
        if (ch == L'|') {
            ch = L'\0';
        }
    }
    list.push_back(L'\0');
    return list;
}

}  // namespace

const framework::NotifyEntry<CDlgSettingAdvanced> CDlgSettingAdvanced::kNotifications[] = {
    {IDC_BROWSE, BN_CLICKED, &CDlgSettingAdvanced::OnBnClickedBrowse},
    {IDC_LOG_BROWSE, BN_CLICKED, &CDlgSettingAdvanced::OnBnClickedLogBrowse},
    {IDC_RECORD_DATA, BN_CLICKED, &CDlgSettingAdvanced::OnBnClickedRecordData},
    {IDC_AUTO_DISABLE, BN_CLICKED, &CDlgSettingAdvanced::OnBnClickedAutoDisable},
};

CDlgSettingAdvanced::CDlgSettingAdvanced() : CSettingPage(IDD_SETTING_ADVANCED) {}

BOOL CDlgSettingAdvanced::OnControlNotify(UINT id, UINT code) {
    return framework::RouteNotify<CDlgSettingAdvanced>(this, kNotifications, id, code);
}

void CDlgSettingAdvanced::DoDataExchange(framework::CDataExchange* pDX) {
    framework::DDX_Check(pDX, IDC_AUTO_DISABLE, m_bAutoDisable);
    framework::DDX_Text(pDX, IDC_AUTO_DISABLE_MINUTES, m_nAutoDisableMinutes);
    framework::DDX_Text(pDX, IDC_BUFFER_SIZE, m_nBufferSizeKB);
    DDX_Setting(pDX, IDC_RECORD_FILE, m_strRecordFileName, RECORDDATA_FILENAME);
    framework::DDX_Check(pDX, IDC_RECORD_DATA, m_bRecordData);
    DDX_Setting(pDX, IDC_LOG_FILE, m_strLogFile, LOG_FILE);
    if (pDX->m_bSaveAndValidate && !pDX->m_bFailed) {
        if (const auto refusal = CheckFilePath(LOG_FILE, AsUtf16View(m_strLogFile))) {
            pDX->Fail(IDC_LOG_FILE, AsWide(refusal->c_str()));
        }
    }
}

BOOL CDlgSettingAdvanced::OnInitDialog() {
    CPropertyPage::OnInitDialog();
    OnBnClickedAutoDisable();
    OnBnClickedRecordData();
    return TRUE;
}

void CDlgSettingAdvanced::OnBnClickedAutoDisable() {
    UpdateData(TRUE);
    EnableDlgItem(IDC_AUTO_DISABLE_MINUTES, m_bAutoDisable);
}

void CDlgSettingAdvanced::OnBnClickedRecordData() {
    UpdateData(TRUE);
    EnableDlgItem(IDC_RECORD_FILE, m_bRecordData);
    EnableDlgItem(IDC_BROWSE, m_bRecordData);
    // The General page greys its typing options on its next activation; kept even on Cancel.
    WriteSetting(theProfile, RECORDDATA_I, m_bRecordData ? 1 : 0);
}

void CDlgSettingAdvanced::OnBnClickedBrowse() {
    UpdateData(TRUE);  // a path typed into the edit is used; a refused number does not stop this
    uint32_t filterIndex = ReadSetting(theProfile, RECORDDATA_FILENAME_FILTERINDEX);
    BrowseForFile(m_strRecordFileName, ReadSetting(theProfile, RECORDDATA_FILENAME_FILTER), filterIndex);
    WriteSetting(theProfile, RECORDDATA_FILENAME_FILTERINDEX, static_cast<int32_t>(filterIndex));
    UpdateData(FALSE);
}

void CDlgSettingAdvanced::OnBnClickedLogBrowse() {
    UpdateData(TRUE);
    uint32_t filterIndex = 1;
    BrowseForFile(m_strLogFile, u"CSV Files (*.csv)|*.csv|All Files (*.*)|*.*||", filterIndex);
    UpdateData(FALSE);
}

bool CDlgSettingAdvanced::BrowseForFile(std::wstring& chosen, const std::u16string& filterText, uint32_t& filterIndex) {
    const std::wstring filter = DialogFilter(filterText);
    const std::u16string path(AsUtf16View(chosen));
    wchar_t folder[kPathChars];
    wchar_t file[kPathChars];
    GetPathFolder(path.c_str(), AsUtf16(folder), kPathChars, u'\\');
    GetPathFileName(path.c_str(), AsUtf16(file), kPathChars, u'\\');

    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = m_hWnd;
    ofn.lpstrFilter = filter.c_str();
    ofn.nFilterIndex = filterIndex;
    ofn.lpstrFile = file;
    ofn.nMaxFile = kPathChars;
    ofn.lpstrInitialDir = folder[0] != L'\0' ? folder : nullptr;
    ofn.Flags = OFN_PATHMUSTEXIST;
    const bool picked = GetSaveFileNameW(&ofn) != FALSE;
    if (picked) {
        chosen = file;
    }
    filterIndex = ofn.nFilterIndex;
    return picked;
}
