// The settings sheet's Advanced page: auto-disable, recording to a file, the log file, the buffer
// size.
#pragma once

#include <cstdint>
#include <string>

#include "settingspages/settingpage.h"

class CDlgSettingAdvanced : public CSettingPage {
public:
    CDlgSettingAdvanced();

    BOOL m_bAutoDisable = FALSE;
    int m_nAutoDisableMinutes = 0;
    int m_nBufferSizeKB = 0;
    std::wstring m_strRecordFileName;
    BOOL m_bRecordData = FALSE;
    std::wstring m_strLogFile;

protected:
    void DoDataExchange(framework::CDataExchange* pDX) override;
    BOOL OnInitDialog() override;
    BOOL OnControlNotify(UINT id, UINT code) override;

private:
    void OnBnClickedBrowse();
    void OnBnClickedLogBrowse();
    // The save dialog for a file field: `path` is its start and, when the user picks one, the
    // choice. True when a file was picked.
    bool BrowseForFile(std::wstring& path, const std::u16string& filter, uint32_t& filterIndex);
    void OnBnClickedRecordData();
    void OnBnClickedAutoDisable();

    static const framework::NotifyEntry<CDlgSettingAdvanced> kNotifications[];
};
